// Random draws, the shuffle kernel, null distributions and window detection.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "windows/kernel.hpp"
#include "windows/null_distribution.hpp"
#include "windows/quartet_order.hpp"
#include "windows/random.hpp"
#include "windows/significance.hpp"

namespace kelto {
namespace {

TEST(Random, SplitMix64StreamAndClosedFormAgree)
{
    EXPECT_EQ(splitmix_mix(0 + kSplitMixGamma), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(draw_at(0, 1), 0xE220A839u);

    const uint64_t seed = 1765000000;
    DrawStream sequential = stream_at(seed, 1);
    for (uint64_t k = 1; k <= 2000; ++k)
        ASSERT_EQ(next_draw(sequential), draw_at(seed, k)) << k;
    DrawStream middle = stream_at(seed, 1500);
    EXPECT_EQ(next_draw(middle), draw_at(seed, 1500));
    EXPECT_EQ(quartet_draw_count(false, 10, 7), 7u * 8u * 9u);
    EXPECT_EQ(quartet_draw_count(true, 10, 7), 0u);
    EXPECT_EQ(quartet_draw_count(false, 2, 7), 0u);
}

// The shuffle as written out plainly: permutation, % reduction (so the
// kernels' division-free modulo is checked too), every window summed afresh.
WindowExtremes literal_step(const std::vector<int> &d, std::vector<int> &perm, int w, DrawStream &stream)
{
    const int n = static_cast<int>(d.size());
    for (int i = 0; i <= n - 2; ++i) {
        const int step = n - i;
        const int r = static_cast<int>(next_draw(stream) % static_cast<uint32_t>(step));
        std::swap(perm[r], perm[step - 1]);
    }
    WindowExtremes e{INT32_MAX, INT32_MIN};
    for (int end = w - 1; end < n; ++end) {
        int s = 0;
        for (int k = end - w + 1; k <= end; ++k)
            s += d[perm[k]];
        e.lowest = std::min(e.lowest, s);
        e.highest = std::max(e.highest, s);
    }
    return e;
}

// The kernels this CPU runs, scalar first.
std::vector<KernelKind> available_kernels()
{
    std::vector<KernelKind> kinds{KernelKind::kScalar};
    for (KernelKind kind : {KernelKind::kAvx512, KernelKind::kAvx2, KernelKind::kNeon})
        if (kernel_available(kind))
            kinds.push_back(kind);
    if (kinds.size() == 1)
        std::printf("note: this CPU runs no vector kernel; only the scalar kernel is checked\n");
    return kinds;
}

TEST(Kernel, MatchesThePlainShuffleAndScan)
{
    std::mt19937 engine(7);
    for (KernelKind kind : available_kernels()) {
        const KernelFunction kernel = kernel_function(kind);
        for (int n : {3, 4, 5, 9, 17, 64, 301, kMaxKernelLength}) {
            std::vector<int> d(static_cast<std::size_t>(n));
            for (int &v : d)
                v = static_cast<int>(engine() % 61) - 30;
            const std::vector<uint64_t> table = fastmod_table(n);
            std::vector<int> x = d;
            std::vector<int> perm(static_cast<std::size_t>(n));
            std::iota(perm.begin(), perm.end(), 0);
            DrawStream fast = stream_at(99, 1);
            DrawStream plain = stream_at(99, 1);
            for (int w = 2; w <= n - 1; w += 1 + n / 40) {
                for (int t = 0; t < 3; ++t) {
                    const WindowExtremes a = kernel(x.data(), n, w, table.data(), fast);
                    const WindowExtremes b = literal_step(d, perm, w, plain);
                    ASSERT_EQ(a.lowest, b.lowest) << kernel_name(kind) << " " << n << " " << w;
                    ASSERT_EQ(a.highest, b.highest) << kernel_name(kind) << " " << n << " " << w;
                    for (int k = 0; k < n; ++k)
                        ASSERT_EQ(x[k], d[perm[k]]) << kernel_name(kind);
                }
            }
            EXPECT_EQ(fast.state, plain.state) << kernel_name(kind);

            // The draws alone, as the family-wise arrangements take them.
            std::vector<uint32_t> vector_draws(static_cast<std::size_t>(n)), scalar_draws = vector_draws;
            DrawStream a = stream_at(5, 3), b = stream_at(5, 3);
            draw_function(kind)(n, table.data(), a, vector_draws.data());
            reduced_draws_scalar(n, table.data(), b, scalar_draws.data());
            EXPECT_EQ(vector_draws, scalar_draws) << kernel_name(kind) << " " << n;
            EXPECT_EQ(a.state, b.state) << kernel_name(kind) << " " << n;
        }
    }
}

// Every length the kernels take, so that every step count, every remainder
// of the vector batches and every tail length is exercised.
TEST(Kernel, EveryKernelGivesTheScalarArrangementsAtEveryLength)
{
    std::mt19937 engine(11);
    for (KernelKind kind : available_kernels()) {
        if (kind == KernelKind::kScalar)
            continue;
        const KernelFunction kernel = kernel_function(kind);
        for (int n = 3; n <= kMaxKernelLength; ++n) {
            std::vector<int> scalar_x(static_cast<std::size_t>(n));
            for (int &v : scalar_x)
                v = static_cast<int>(engine() % 61) - 30;
            std::vector<int> vector_x = scalar_x;
            const std::vector<uint64_t> table = fastmod_table(n);
            DrawStream scalar_stream = stream_at(static_cast<uint64_t>(n) * 977, 1);
            DrawStream vector_stream = scalar_stream;
            for (int w : {2, n / 2 + 1, n - 1}) {
                if (w < 2 || w > n - 1)
                    continue;
                const WindowExtremes a = shuffle_and_scan(scalar_x.data(), n, w, table.data(), scalar_stream);
                const WindowExtremes b = kernel(vector_x.data(), n, w, table.data(), vector_stream);
                ASSERT_EQ(a.lowest, b.lowest) << kernel_name(kind) << " n " << n << " w " << w;
                ASSERT_EQ(a.highest, b.highest) << kernel_name(kind) << " n " << n << " w " << w;
                ASSERT_EQ(scalar_x, vector_x) << kernel_name(kind) << " n " << n << " w " << w;
                ASSERT_EQ(scalar_stream.state, vector_stream.state) << kernel_name(kind) << " n " << n;
            }
        }
    }
}

// The reduction in doubles against %, for every step the kernels use, on
// random draws, the extremes, and the draws one below, at and one above
// multiples of the step (where a rounded reciprocal puts the quotient one
// off), both near zero and near 2^32.
TEST(Kernel, ReductionInDoublesIsExactForEveryStep)
{
    std::mt19937 engine(5);
    using Reduce = void (*)(const uint32_t *, int, uint32_t, uint32_t *);
    std::vector<std::pair<const char *, Reduce>> reductions{
        {"scalar", [](const uint32_t *a, int count, uint32_t d, uint32_t *out) {
             for (int i = 0; i < count; ++i)
                 out[i] = reciprocal_mod(a[i], d, kernel_reciprocals()[d]);
         }}};
    if (kernel_available(KernelKind::kAvx2))
        reductions.emplace_back("avx2", reduce_avx2);
    if (kernel_available(KernelKind::kNeon))
        reductions.emplace_back("neon", reduce_neon);
    std::vector<uint32_t> draws;
    std::vector<uint32_t> out;
    for (uint32_t d = 2; d <= static_cast<uint32_t>(kMaxKernelLength) + 1; ++d) {
        draws.assign({0u, 1u, UINT32_MAX, UINT32_MAX - 1});
        const uint64_t top = UINT32_MAX / d;
        for (uint64_t j = 0; j < 400; ++j) {
            for (uint64_t k : {j + 1, top - j, (top / 400) * j + 1}) {
                for (int64_t offset : {-1, 0, 1}) {
                    const int64_t value = static_cast<int64_t>(k * d) + offset;
                    if (value >= 0 && value <= static_cast<int64_t>(UINT32_MAX))
                        draws.push_back(static_cast<uint32_t>(value));
                }
            }
        }
        for (int j = 0; j < 2048; ++j)
            draws.push_back(static_cast<uint32_t>(engine()));
        while (draws.size() % 4 != 0)
            draws.push_back(static_cast<uint32_t>(engine()));
        out.assign(draws.size(), 0);
        for (const auto &[name, reduce] : reductions) {
            reduce(draws.data(), static_cast<int>(draws.size()), d, out.data());
            for (std::size_t i = 0; i < draws.size(); ++i)
                ASSERT_EQ(out[i], draws[i] % d) << name << ": " << draws[i] << " mod " << d;
        }
    }
}

TEST(Kernel, ChoiceFollowsThePreferenceOrderAndRefusesWhatTheCpuLacks)
{
    const KernelKind best = best_kernel();
    const KernelKind order[] = {KernelKind::kAvx512, KernelKind::kAvx2, KernelKind::kNeon, KernelKind::kScalar};
    for (KernelKind kind : order) {
        if (kernel_available(kind)) {
            EXPECT_EQ(best, kind) << kernel_name(kind);
            break;
        }
    }
    struct Case {
        const char *forced;
        bool accepted;
        KernelKind kind;
    };
    const Case cases[] = {
        {nullptr, true, best},
        {"", true, best},
        {"scalar", true, KernelKind::kScalar},
        {"avx512", kernel_available(KernelKind::kAvx512), KernelKind::kAvx512},
        {"avx2", kernel_available(KernelKind::kAvx2), KernelKind::kAvx2},
        {"neon", kernel_available(KernelKind::kNeon), KernelKind::kNeon},
        {"AVX2", false, KernelKind::kScalar},
        {"sse", false, KernelKind::kScalar},
    };
    for (const Case &c : cases) {
        KernelKind kind = KernelKind::kScalar;
        std::string error;
        const char *label = c.forced == nullptr ? "(unset)" : c.forced;
        EXPECT_EQ(choose_kernel(c.forced, kind, error), c.accepted) << label;
        if (c.accepted) {
            EXPECT_EQ(kind, c.kind) << label;
            EXPECT_EQ(error, "") << label;
        } else {
            EXPECT_NE(error.find(std::string("KELTO_KERNEL=") + c.forced), std::string::npos) << error;
        }
    }
}

NullHistograms filled(const std::vector<int> &d, int w, int randomisations, std::vector<int> &shuffled)
{
    NullHistograms h;
    std::string report;
    prepare_null(d, h, shuffled, report);
    DrawStream stream = stream_at(2024, 1);
    fill_null(h, shuffled, w, randomisations, fastmod_table(static_cast<int>(d.size())), stream);
    return h;
}

TEST(NullDistribution, CountsFallWhereTheRearrangementsAllow)
{
    std::vector<int> shuffled;
    const NullHistograms h = filled({3, -1, 2}, 2, 1000, shuffled);
    EXPECT_EQ(h.offset, 10);
    EXPECT_EQ(h.size, 20);
    EXPECT_EQ(std::accumulate(h.minimum.begin(), h.minimum.end(), 0), 1000);
    EXPECT_EQ(std::accumulate(h.maximum.begin(), h.maximum.end(), 0), 1000);
    EXPECT_EQ(h.minimum[11] + h.minimum[12], 1000);
    EXPECT_GT(h.minimum[11], 0);
    EXPECT_GT(h.minimum[12], 0);
    EXPECT_EQ(h.maximum[12] + h.maximum[15], 1000);

    // One set of histograms through two window sizes: the counts of the
    // first are gone when the second is filled.
    NullHistograms flat = filled({2, 2, 2, 2}, 2, 50, shuffled);
    DrawStream stream = stream_at(1, 1);
    for (int w : {2, 3}) {
        if (w == 3)
            fill_null(flat, shuffled, w, 50, fastmod_table(4), stream);
        EXPECT_EQ(std::accumulate(flat.minimum.begin(), flat.minimum.end(), 0), 50);
        EXPECT_EQ(flat.minimum[static_cast<std::size_t>(12 + 2 * w)], 50);
        EXPECT_EQ(flat.maximum[static_cast<std::size_t>(12 + 2 * w)], 50);
    }
}

// Histograms placed by hand: `low_at` and `high_at` give window sums and
// their counts.
NullHistograms hand_made(int absolute_sum, const std::map<int, int> &low_at, const std::map<int, int> &high_at)
{
    NullHistograms h;
    h.offset = absolute_sum + 4;
    h.size = 2 * absolute_sum + 8;
    h.minimum.assign(static_cast<std::size_t>(h.size), 0);
    h.maximum.assign(static_cast<std::size_t>(h.size), 0);
    for (const auto &[sum, count] : low_at)
        h.minimum[static_cast<std::size_t>(h.offset + sum)] = count;
    for (const auto &[sum, count] : high_at)
        h.maximum[static_cast<std::size_t>(h.offset + sum)] = count;
    h.minimum_first = h.maximum_first = 0;
    h.minimum_last = h.maximum_last = h.size - 1;
    return h;
}

struct Scan {
    WindowList minimum, maximum;
    std::string console, report;
    Status status;
};

Scan scan(const std::vector<int> &d, int w, const NullHistograms &h, int randomisations)
{
    Scan s;
    reset_window_list(s.minimum, static_cast<int>(d.size()));
    reset_window_list(s.maximum, static_cast<int>(d.size()));
    ScanScratch scratch;
    s.status = scan_window_size(d, w, h, randomisations, s.minimum, s.maximum, scratch, s.console, s.report);
    return s;
}

TEST(Significance, ThresholdIsStrictAndTiesCountAgainstTheWindow)
{
    const std::vector<int> d{-4, 2, 2};  // windows of 2: -2 and 4; A = 8
    // One randomisation of 40 reached -2: exactly 2.5 %, not significant.
    Scan at_threshold = scan(d, 2, hand_made(8, {{-2, 1}, {0, 39}}, {{8, 40}}), 40);
    EXPECT_TRUE(at_threshold.minimum.records.empty());
    EXPECT_EQ(at_threshold.report, "");
    // None reached -2: significant at 0 %.
    Scan below = scan(d, 2, hand_made(8, {{-1, 1}, {0, 39}}, {{8, 40}}), 40);
    ASSERT_EQ(below.minimum.records.size(), 1u);
    EXPECT_EQ(below.minimum.records[0].Start, 1);
    EXPECT_EQ(below.minimum.records[0].End, 2);
    EXPECT_DOUBLE_EQ(below.minimum.records[0].Percent, 0.0);
    // Highest sums: one of 41 at 4 is a tie and counts (2.44 %, significant).
    Scan high = scan(d, 2, hand_made(8, {{-8, 41}}, {{4, 1}, {3, 40}}), 41);
    ASSERT_EQ(high.maximum.records.size(), 1u);
    EXPECT_EQ(high.maximum.records[0].Value, 4);
    EXPECT_EQ(high.report.substr(high.report.size() - 80),
              "\n-------------------------------------------------------------------------------");
}

TEST(Significance, KeepsTheMostExtremeWindowsWithAverageAndError)
{
    std::vector<int> d(16, 0);
    const int block[] = {-5, -4, -6, -3, -5};
    std::copy(std::begin(block), std::end(block), d.begin() + 11);
    // 3 of 1000 randomisations reached -23 or lower: 0.3 %.
    const Scan s = scan(d, 5, hand_made(23, {{-23, 3}, {0, 997}}, {{0, 1000}}), 1000);
    ASSERT_EQ(s.status, Status::kContinue);
    ASSERT_EQ(s.minimum.records.size(), 1u);
    EXPECT_TRUE(s.maximum.records.empty());
    EXPECT_EQ(s.report,
              "\nWin=   5 | Pos=  12- 16 | Value= -23 | 0.3000% | Average= -4.6000 | Err= 0.5099"
              "\n-------------------------------------------------------------------------------");
}

TEST(Significance, TieListOfOneSizeStopsAt256)
{
    std::vector<int> d(300, 0);
    std::fill(d.begin(), d.begin() + 260, -1);
    d[299] = 1;
    const Scan s = scan(d, 2, hand_made(261, {{0, 100}}, {{2, 100}}), 100);
    EXPECT_EQ(s.status, Status::kStopInput);
    EXPECT_EQ(s.console, "\nToo many minimal windows for a particular window size.\n\nCall the authors. \t\tTHANK YOU .");
    EXPECT_EQ(s.report, "");
}

}  // namespace
}  // namespace kelto
