// The family-wise scan test's worst case: a quartet so strong that no
// arrangement reaches its statistic, so the test runs to J_max = 999999
// arrangements, each scanned at every window size. One iteration per N;
// the time is that of one core.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "windows/kernel.hpp"
#include "windows/scan_kernels.hpp"
#include "windows/scan_test.hpp"

namespace {

// Random values in -10 .. 10 with a block of 20 positions raised by 25.
std::vector<int> strong_profile(int n)
{
    std::mt19937_64 engine(static_cast<uint64_t>(n) * 104729U + 3U);
    std::uniform_int_distribution<int> value(-10, 10);
    std::vector<int> profile(static_cast<std::size_t>(n));
    for (int &v : profile)
        v = value(engine);
    for (int i = n / 3; i < n / 3 + 20; ++i)
        profile[static_cast<std::size_t>(i)] += 25;
    return profile;
}

void BM_FamilyStrongQuartet(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const long long cap = state.range(1);
    const std::vector<int> profile = strong_profile(n);
    const std::vector<double> penalties = kelto::scan_penalties(n);
    const std::vector<uint64_t> multipliers = kelto::fastmod_table(n);
    kelto::FamilyScratch scratch;
    kelto::ScanWindow observed;
    kelto::SequentialTest test;
    for (auto _ : state) {
        kelto::observed_scan(profile, penalties, scratch.context, observed);
        kelto::run_family(scratch, profile, kelto::FamilySettings{cap, 10, 1}, multipliers,
                          kelto::stream_at(kelto::family_stream_seed(7), 1), observed, {}, test);
        benchmark::DoNotOptimize(test.drawn);
    }
    state.counters["arrangements"] = static_cast<double>(test.drawn);
    state.counters["exceedances"] = static_cast<double>(test.exceeded);
    state.counters["vector_scan"] = kelto::family_vector_scan_available() ? 1 : 0;
}

BENCHMARK(BM_FamilyStrongQuartet)
    ->Args({300, 999999})
    ->Args({1000, 999999})
    ->ArgNames({"N", "J_max"})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
