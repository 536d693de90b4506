// The family-wise scan test: arrangements, their levels and the stopping
// rule.
#include "windows/scan_test.hpp"

#include <algorithm>
#include <climits>

#include "windows/kernel.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace kelto {

namespace {

struct Extremes {
    int32_t lowest;
    int32_t highest;
};

// The lowest and highest of prefix[i + w] - prefix[i], i = 0 .. count - 1.
inline Extremes plain_extremes(const int32_t *prefix, int count, int w)
{
    int32_t lowest = INT32_MAX, highest = INT32_MIN;
    for (int i = 0; i < count; ++i) {
        const int32_t sum = prefix[i + w] - prefix[i];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    }
    return Extremes{lowest, highest};
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) Extremes vector_extremes(const int32_t *prefix, int count, int w)
{
    __m256i low = _mm256_set1_epi32(INT32_MAX), high = _mm256_set1_epi32(INT32_MIN);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i sum = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(prefix + i + w)),
                                             _mm256_loadu_si256(reinterpret_cast<const __m256i *>(prefix + i)));
        low = _mm256_min_epi32(low, sum);
        high = _mm256_max_epi32(high, sum);
    }
    alignas(32) int32_t lows[8], highs[8];
    _mm256_store_si256(reinterpret_cast<__m256i *>(lows), low);
    _mm256_store_si256(reinterpret_cast<__m256i *>(highs), high);
    Extremes e{INT32_MAX, INT32_MIN};
    for (int k = 0; k < 8; ++k) {
        e.lowest = std::min(e.lowest, lows[k]);
        e.highest = std::max(e.highest, highs[k]);
    }
    for (; i < count; ++i) {
        const int32_t sum = prefix[i + w] - prefix[i];
        e.lowest = std::min(e.lowest, sum);
        e.highest = std::max(e.highest, sum);
    }
    return e;
}
#elif defined(__aarch64__)
Extremes vector_extremes(const int32_t *prefix, int count, int w)
{
    int32x4_t low = vdupq_n_s32(INT32_MAX), high = vdupq_n_s32(INT32_MIN);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const int32x4_t sum = vsubq_s32(vld1q_s32(prefix + i + w), vld1q_s32(prefix + i));
        low = vminq_s32(low, sum);
        high = vmaxq_s32(high, sum);
    }
    Extremes e{vminvq_s32(low), vmaxvq_s32(high)};
    for (; i < count; ++i) {
        const int32_t sum = prefix[i + w] - prefix[i];
        e.lowest = std::min(e.lowest, sum);
        e.highest = std::max(e.highest, sum);
    }
    return e;
}
#endif

// Integer comparisons give the same outcome on every path.
template <Extremes (*Scan)(const int32_t *, int, int)>
int level_with(const FamilyScratch &scratch, const int32_t *prefix, int n)
{
    const int levels = static_cast<int>(scratch.levels.size());
    int best = 0;
    for (int w = 2; w < n && best < levels; ++w) {
        int first = 0, last = 0;
        scan_starts(n, w, first, last);
        if (last < first)
            continue;
        const Extremes e = Scan(prefix + first, last - first + 1, w);
        const std::size_t row = static_cast<std::size_t>(w - 2) * static_cast<std::size_t>(levels);
        while (best < levels) {
            const std::size_t k = row + static_cast<std::size_t>(best);
            if (e.highest < scratch.high[k] && e.lowest > scratch.low[k])
                break;
            ++best;
        }
    }
    return best;
}

const bool kVectorScan = family_vector_scan_available();

// Fisher-Yates with the kernel's steps n, n-1, ..., 2: r = draw mod step,
// exchange x[r] and x[step - 1].
void shuffle(int *x, int n, const uint64_t *multipliers, DrawStream &stream)
{
    for (int j = n - 1; j >= 1; --j) {
        const uint32_t step = static_cast<uint32_t>(j + 1);
        const uint32_t r = fastmod(next_draw(stream), multipliers[step], step);
        std::swap(x[r], x[j]);
    }
}

// The next arrangement's prefix sums: single positions shuffled in place,
// or the order of the blocks shuffled and the blocks laid end to end (the
// last block may be shorter).
void next_arrangement(FamilyScratch &scratch, const std::vector<int> &diff, int block,
                      const uint64_t *multipliers, DrawStream &stream)
{
    const int n = static_cast<int>(diff.size());
    int32_t *prefix = scratch.prefix.data();
    prefix[0] = 0;
    if (block <= 1) {
        shuffle(scratch.arrangement.data(), n, multipliers, stream);
        for (int i = 0; i < n; ++i)
            prefix[i + 1] = prefix[i] + scratch.arrangement[static_cast<std::size_t>(i)];
        return;
    }
    shuffle(scratch.blocks.data(), static_cast<int>(scratch.blocks.size()), multipliers, stream);
    int at = 0;
    for (const int b : scratch.blocks)
        for (int i = b * block; i < std::min(n, (b + 1) * block); ++i, ++at)
            prefix[at + 1] = prefix[at] + diff[static_cast<std::size_t>(i)];
}

// Levels and their thresholds: M and the scores of the windows asked for.
void prepare_levels(FamilyScratch &scratch, double observed, const std::vector<double> &window_scores)
{
    scratch.levels.assign(window_scores.begin(), window_scores.end());
    scratch.levels.push_back(observed);
    std::sort(scratch.levels.begin(), scratch.levels.end());
    scratch.levels.erase(std::unique(scratch.levels.begin(), scratch.levels.end()), scratch.levels.end());
    // A score above M (only a window of N-1 positions, which stands for a
    // single position, can have one) counts as M itself: conservative.
    while (scratch.levels.back() > observed)
        scratch.levels.pop_back();
    const int n = scratch.context.moments.n;
    const std::size_t levels = scratch.levels.size();
    scratch.high.assign(static_cast<std::size_t>(n - 2) * levels, INT32_MAX);
    scratch.low.assign(static_cast<std::size_t>(n - 2) * levels, INT32_MIN);
    for (int w = 2; w < n; ++w)
        for (std::size_t k = 0; k < levels; ++k) {
            const std::size_t at = static_cast<std::size_t>(w - 2) * levels + k;
            scan_thresholds(scratch.context, w, scratch.levels[k], scratch.high[at], scratch.low[at]);
        }
    scratch.level_counts.assign(levels, 0);
}

}  // namespace

bool family_vector_scan_available()
{
#if defined(__x86_64__)
    return __builtin_cpu_supports("avx2");
#elif defined(__aarch64__)
    return true;
#else
    return false;
#endif
}

int arrangement_level(const FamilyScratch &scratch, const int32_t *prefix, int n)
{
#if defined(__x86_64__) || defined(__aarch64__)
    if (kVectorScan)
        return level_with<vector_extremes>(scratch, prefix, n);
#endif
    return level_with<plain_extremes>(scratch, prefix, n);
}

bool run_family(FamilyScratch &scratch, const std::vector<int> &diff, const FamilySettings &settings,
                const std::vector<uint64_t> &multipliers, DrawStream stream, const ScanWindow &observed,
                const std::vector<double> &window_scores, SequentialTest &test, const std::atomic<int> *stop)
{
    const int n = static_cast<int>(diff.size());
    test = SequentialTest{settings.arrangements_cap, settings.exceedances, 0, 0};
    prepare_levels(scratch, observed.score, window_scores);
    const int top = static_cast<int>(scratch.levels.size());
    scratch.prefix.assign(diff.size() + 1, 0);
    scratch.arrangement = diff;
    scratch.blocks.resize(static_cast<std::size_t>((n + settings.block - 1) / settings.block));
    for (std::size_t b = 0; b < scratch.blocks.size(); ++b)
        scratch.blocks[b] = static_cast<int>(b);
    for (;;) {
        if (test.drawn % 64 == 0 && stop != nullptr && stop->load(std::memory_order_relaxed) != 0)
            return false;
        next_arrangement(scratch, diff, settings.block, multipliers.data(), stream);
        const int level = arrangement_level(scratch, scratch.prefix.data(), n);
        for (int k = 0; k < level; ++k)
            ++scratch.level_counts[static_cast<std::size_t>(k)];
        if (add_arrangement(test, level == top))
            return true;
    }
}

long long family_level_count(const FamilyScratch &scratch, double score)
{
    const auto it = std::lower_bound(scratch.levels.begin(), scratch.levels.end(), score);
    if (it == scratch.levels.end())
        return scratch.level_counts.back();
    return scratch.level_counts[static_cast<std::size_t>(it - scratch.levels.begin())];
}

}  // namespace kelto
