// Randomisation kernel benchmarks.
//
//   BM_ExchangeFloor the exchanges and fused scan with precomputed
//                    indices: the floor every kernel is compared with
//   BM_Kernel        each kernel (scalar, avx2, avx512, neon) that this CPU
//                    runs, one randomisation per iteration
//   BM_BareShuffle   the same draws, reduction and swaps with no scan
//   BM_LiteralStep   the textbook randomisation: permutation shuffled with
//                    draw % n, profile gathered through it, every window
//                    summed afresh
//   BM_LiteralQuartet / BM_ProgramQuartet
//                    all window sizes 2 .. N-1 of one quartet, T
//                    randomisations each, histograms counted
//
// Before timing, main() checks that the bare shuffle, the literal step and
// the literal quartet reproduce the kernel's arrangements, extremes and
// histograms for the same draws, so the timings compare equal work.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "run/analysis.hpp"
#include "windows/kernel.hpp"
#include "windows/null_distribution.hpp"
#include "windows/quartet_order.hpp"
#include "windows/random.hpp"

#include "literal.hpp"

namespace {

using namespace kelto::bench;
using kelto::DrawStream;
using kelto::WindowExtremes;

constexpr uint64_t kSeed = 0x5EED5EED12345678ULL;

// A profile of n values in -30 .. 30, fixed for a given n.
std::vector<int> make_profile(int n)
{
    std::mt19937_64 engine(static_cast<uint64_t>(n) * 7919U + 17U);
    std::uniform_int_distribution<int> value(-30, 30);
    std::vector<int> profile(static_cast<std::size_t>(n));
    for (int &v : profile)
        v = value(engine);
    return profile;
}

// The shuffle of shuffle_and_scan without the scan: same draws, same exact
// reduction through the multiplier table, same exchanges.
inline void bare_shuffle(int *x, int n, const uint64_t *multipliers, DrawStream &stream)
{
    uint64_t state = stream.state;
    for (int j = n - 1; j >= 1; --j) {
        state += kelto::kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(j + 1);
        const uint32_t r =
            kelto::fastmod(static_cast<uint32_t>(kelto::splitmix_mix(state) >> 32), multipliers[step], step);
        const int picked = x[r];
        x[r] = x[j];
        x[j] = picked;
    }
    stream.state = state;
}

// ---------------------------------------------------------------------------
// Agreement checks (run once before any timing).

[[noreturn]] void fail(const char *what, int n, int w)
{
    std::fprintf(stderr, "bench_kernel: %s disagrees with shuffle_and_scan (N=%d, w=%d)\n", what, n, w);
    std::exit(1);
}

void check_single_steps(int n)
{
    const std::vector<int> profile = make_profile(n);
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    const int sizes[] = {2, 3, n / 2, n - 2, n - 1};
    for (int w : sizes) {
        if (w < 2 || w > n - 1)
            continue;
        std::vector<int> kernel_x = profile;
        std::vector<int> bare_x = profile;
        LiteralState literal = literal_start(n);
        DrawStream kernel_stream = kelto::stream_at(kSeed, 1);
        DrawStream bare_stream = kernel_stream;
        DrawStream literal_stream = kernel_stream;
        for (int t = 0; t < 50; ++t) {
            const WindowExtremes k = kelto::shuffle_and_scan(kernel_x.data(), n, w, table.data(), kernel_stream);
            bare_shuffle(bare_x.data(), n, table.data(), bare_stream);
            const WindowExtremes l = literal_step(profile, literal, w, literal_stream);
            const WindowExtremes scalar = scan_afresh_scalar(literal.shuffled.data(), n, w);
            if (bare_x != kernel_x || bare_stream.state != kernel_stream.state)
                fail("bare shuffle", n, w);
            if (literal.shuffled != kernel_x || literal_stream.state != kernel_stream.state)
                fail("literal arrangement", n, w);
            if (l.lowest != k.lowest || l.highest != k.highest)
                fail("literal extremes", n, w);
            if (scalar.lowest != k.lowest || scalar.highest != k.highest)
                fail("scalar literal extremes", n, w);
        }
    }
}

void check_quartet(int n, int randomisations)
{
    const std::vector<int> profile = make_profile(n);
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    kelto::NullHistograms program;
    std::vector<int> shuffled;
    std::string report;
    kelto::prepare_null(profile, program, shuffled, report);
    DrawStream program_stream = kelto::stream_at(kSeed, 1);

    LiteralState literal = literal_start(n);
    LiteralHistograms h = literal_histograms(profile);
    if (h.offset != program.offset || static_cast<int>(h.minimum.size()) != program.size)
        fail("histogram layout", n, 0);
    DrawStream literal_stream = kelto::stream_at(kSeed, 1);
    literal_quartet<scan_afresh>(profile, randomisations, literal, h, literal_stream, [&](int w, const LiteralHistograms &lh) {
        kelto::fill_null(program, shuffled, w, randomisations, table, program_stream);
        if (lh.minimum != program.minimum || lh.maximum != program.maximum)
            fail("literal quartet histograms", n, w);
    });
    if (literal_stream.state != program_stream.state)
        fail("literal quartet draw count", n, 0);
    const uint64_t draws = kelto::quartet_draw_count(false, n, randomisations);
    if (program_stream.state != kelto::stream_at(kSeed, 1 + draws).state)
        fail("quartet draw count", n, 0);
}

// ---------------------------------------------------------------------------
// Single randomisations. Items = shuffled positions (N-1 per randomisation);
// the "t/pos" counter is the CPU time per shuffled position.

void set_position_counters(benchmark::State &state, int n)
{
    const int64_t positions = static_cast<int64_t>(state.iterations()) * (n - 1);
    state.SetItemsProcessed(positions);
    state.counters["t/pos"] =
        benchmark::Counter(static_cast<double>(positions), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Each kernel (scalar, and the vector-draw ones where this CPU has them).
template <kelto::KernelKind Kind>
void BM_Kernel(benchmark::State &state)
{
    if (!kelto::kernel_available(Kind)) {
        state.SkipWithError("this CPU cannot run this kernel");
        return;
    }
    const kelto::KernelFunction kernel = kelto::kernel_function(Kind);
    const int n = static_cast<int>(state.range(0));
    const int w = n / 2;
    std::vector<int> x = make_profile(n);
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (auto _ : state) {
        const WindowExtremes e = kernel(x.data(), n, w, table.data(), stream);
        benchmark::DoNotOptimize(e);
    }
    set_position_counters(state, n);
}

// Each kernel's draws alone (draw_function): the mixing and reduction of a
// randomisation's n - 1 draws with no exchanges, the cost the kernel adds
// to the floor when the two do not overlap.
template <kelto::KernelKind Kind>
void BM_Draws(benchmark::State &state)
{
    if (!kelto::kernel_available(Kind)) {
        state.SkipWithError("this CPU cannot run this kernel");
        return;
    }
    const kelto::DrawFunction draws = kelto::draw_function(Kind);
    const int n = static_cast<int>(state.range(0));
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    std::vector<uint32_t> r(static_cast<std::size_t>(n));
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (auto _ : state) {
        draws(n, table.data(), stream, r.data());
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(r.data());
    set_position_counters(state, n);
}

// The exchange floor: the kernels' exchanges and fused scan with the
// reduced draws of 32 randomisations computed before timing and taken in
// turn, so what is left is the work no faster draw can remove.
void BM_ExchangeFloor(benchmark::State &state)
{
    constexpr int kRounds = 32;
    const int n = static_cast<int>(state.range(0));
    const int w = n / 2;
    std::vector<int> x = make_profile(n);
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    std::vector<uint32_t> indices;
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (int round = 0; round < kRounds; ++round) {
        for (int step = n; step >= 2; --step) {
            const uint32_t s = static_cast<uint32_t>(step);
            indices.push_back(kelto::fastmod(kelto::next_draw(stream), table[s], s));
        }
    }
    int round = 0;
    for (auto _ : state) {
        const uint32_t *next = indices.data() + static_cast<std::size_t>(round) * static_cast<std::size_t>(n - 1);
        const WindowExtremes e = kelto::shuffle_and_scan_with(x.data(), n, w, [&](uint32_t) { return *next++; });
        benchmark::DoNotOptimize(e);
        round = round + 1 == kRounds ? 0 : round + 1;
    }
    set_position_counters(state, n);
}

void BM_BareShuffle(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    std::vector<int> x = make_profile(n);
    const std::vector<uint64_t> table = kelto::fastmod_table(n);
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (auto _ : state) {
        bare_shuffle(x.data(), n, table.data(), stream);
        benchmark::ClobberMemory();
    }
    benchmark::DoNotOptimize(x.data());
    set_position_counters(state, n);
}

template <ScanFn Scan>
void BM_LiteralStep(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const int w = n / 2;
    const std::vector<int> profile = make_profile(n);
    LiteralState literal = literal_start(n);
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (auto _ : state) {
        const WindowExtremes e = literal_step<Scan>(profile, literal, w, stream);
        benchmark::DoNotOptimize(e);
    }
    set_position_counters(state, n);
}

// ---------------------------------------------------------------------------
// One quartet: range(0) = N, range(1) = T. "t/rand" is the CPU time per
// randomisation (T * (N-2) per quartet). Each window size also clears the
// two histograms (2A+8 entries each, A = sum of |profile|), which weighs on
// both versions alike when T is small.

void set_quartet_counters(benchmark::State &state, int n, int randomisations)
{
    const double per_quartet = static_cast<double>(randomisations) * (n - 2);
    state.counters["t/rand"] = benchmark::Counter(per_quartet,
                                                   benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

template <ScanFn Scan>
void BM_LiteralQuartet(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const int randomisations = static_cast<int>(state.range(1));
    const std::vector<int> profile = make_profile(n);
    LiteralHistograms h = literal_histograms(profile);
    DrawStream stream = kelto::stream_at(kSeed, 1);
    for (auto _ : state) {
        LiteralState literal = literal_start(n);
        literal_quartet<Scan>(profile, randomisations, literal, h, stream, [](int, const LiteralHistograms &lh) {
            benchmark::DoNotOptimize(lh.minimum.data());
            benchmark::ClobberMemory();
        });
    }
    set_quartet_counters(state, n, randomisations);
}

// The program's whole analysis of one quartet: null distributions, window
// scan, filters and all report text, on the same profile.
void BM_ProgramQuartet(benchmark::State &state)
{
    const int n = static_cast<int>(state.range(0));
    const int randomisations = static_cast<int>(state.range(1));
    const std::vector<int> profile = make_profile(n);
    const std::vector<int> zeros(static_cast<std::size_t>(n), 0);
    const kelto::SequenceRecord record{"bench\n", std::string(static_cast<std::size_t>(n), 'A'), "bench", false, false, {}, 1};
    const kelto::Quartet quartet{{&record, &record, &record, &record}};
    kelto::AnalysisSettings settings = kelto::make_analysis_settings(n, randomisations, kSeed);
    settings.family = kelto::FamilySettings{state.range(2) < 0 ? 999999 : state.range(2), 10, 1};
    kelto::QuartetScratch scratch;
    kelto::QuartetOutput output;
    for (auto _ : state) {
        kelto::analyse_quartet(quartet, profile, zeros, settings, 1, 0, scratch, output);
        benchmark::DoNotOptimize(output.report.data());
    }
    set_quartet_counters(state, n, randomisations);
}

BENCHMARK(BM_ExchangeFloor)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Kernel, kelto::KernelKind::kScalar)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Kernel, kelto::KernelKind::kAvx2)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Kernel, kelto::KernelKind::kAvx512)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Kernel, kelto::KernelKind::kNeon)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Draws, kelto::KernelKind::kScalar)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Draws, kelto::KernelKind::kAvx2)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_Draws, kelto::KernelKind::kAvx512)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK(BM_BareShuffle)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_LiteralStep, scan_afresh)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);
BENCHMARK_TEMPLATE(BM_LiteralStep, scan_afresh_scalar)->Arg(30)->Arg(100)->Arg(300)->Arg(1000);

void quartet_sizes(benchmark::internal::Benchmark *b)
{
    b->Args({300, 10})->Args({300, 50})->Args({1000, 2})->Args({1000, 10})->Unit(benchmark::kMillisecond);
}
BENCHMARK_TEMPLATE(BM_LiteralQuartet, scan_afresh)->Apply(quartet_sizes);
BENCHMARK_TEMPLATE(BM_LiteralQuartet, scan_afresh_scalar)->Apply(quartet_sizes);

// The program's quartet without the family-wise test (J = 0) and with it
// (J_max = 999999, h = 10, the default): its cost is the difference. The
// bench profile is random, so the test stops early as on null data.
void family_sizes(benchmark::internal::Benchmark *b)
{
    for (const int n : {300, 1099})
        for (const int t : {10, 1000})
            for (const int j : {0, -1})
                b->Args({n, t, j});
    b->Unit(benchmark::kMillisecond)->ArgNames({"N", "T", "J"});
}
BENCHMARK(BM_ProgramQuartet)->Apply(family_sizes);

}  // namespace

int main(int argc, char **argv)
{
    for (int n : {3, 4, 30, 100, 300, 1000})
        check_single_steps(n);
    check_quartet(30, 20);
    check_quartet(300, 3);
    std::fprintf(stderr, "bench_kernel: all variants agree with shuffle_and_scan\n");
    // The whole-quartet benchmarks run the kernel KELTO_KERNEL names, as
    // the program does.
    kelto::KernelKind kind = kelto::KernelKind::kScalar;
    std::string error;
    if (!kelto::choose_kernel(std::getenv("KELTO_KERNEL"), kind, error)) {
        std::fprintf(stderr, "bench_kernel: %s\n", error.c_str());
        return 2;
    }
    kelto::set_active_kernel(kind);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
