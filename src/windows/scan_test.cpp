// The family-wise scan test: arrangements, their levels and the stopping
// rule.
#include "windows/scan_test.hpp"

#include <algorithm>
#include <climits>

#include "windows/kernel.hpp"
#include "windows/scan_kernels.hpp"

namespace kelto {

namespace {

// The highest level an arrangement reaches through the integer thresholds.
// Sizes are taken in increasing order, and a size's extremes bound the next
// size's: every window of w + 1 positions is one of w positions plus one
// value, so its sum lies within [lowest + min d, highest + max d]. A size
// whose bounds cannot reach the next level is passed over unscanned; in a
// strong quartet, where no arrangement comes near, most sizes are.
template <typename Prefix, ScanExtremes (*Scan)(const Prefix *, int, int)>
int level_with(const FamilyScratch &scratch, const Prefix *prefix, int n)
{
    const int levels = static_cast<int>(scratch.levels.size());
    const long long step_up = scratch.largest, step_down = scratch.smallest;
    long long upper = LLONG_MAX / 4, lower = LLONG_MIN / 4;  // bounds of the current size's sums
    int best = 0;
    for (int w = 2; w < n && best < levels; ++w, upper += step_up, lower += step_down) {
        int first = 0, last = 0;
        scan_starts(n, w, first, last);
        if (last < first)
            continue;
        const std::size_t row = static_cast<std::size_t>(w - 2) * static_cast<std::size_t>(levels);
        const std::size_t next = row + static_cast<std::size_t>(best);
        if (upper < scratch.high[next] && lower > scratch.low[next])
            continue;
        const ScanExtremes e = Scan(prefix + first, last - first + 1, w);
        upper = e.highest;
        lower = e.lowest;
        while (best < levels && (e.highest >= scratch.high[row + static_cast<std::size_t>(best)] ||
                                 e.lowest <= scratch.low[row + static_cast<std::size_t>(best)]))
            ++best;
    }
    return best;
}

const bool kVectorScan = family_vector_scan_available();

// Fisher-Yates with the kernel's steps n, n-1, ..., 2: r = draw mod step,
// exchange x[r] and x[step - 1]. The draws of the whole shuffle come first,
// from the active kernel (in vector registers where the CPU has them).
void shuffle(int *x, int n, const uint64_t *multipliers, DrawStream &stream, FamilyScratch &scratch)
{
    if (n < 2)
        return;
    uint32_t *r = scratch.draws.data();
    scratch.draw(n, multipliers, stream, r);
    for (int i = 0; i < n - 1; ++i)
        std::swap(x[r[i]], x[n - 1 - i]);
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
        shuffle(scratch.arrangement.data(), n, multipliers, stream, scratch);
        for (int i = 0; i < n; ++i)
            prefix[i + 1] = prefix[i] + scratch.arrangement[static_cast<std::size_t>(i)];
        return;
    }
    shuffle(scratch.blocks.data(), static_cast<int>(scratch.blocks.size()), multipliers, stream, scratch);
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

int arrangement_level(const FamilyScratch &scratch, const int32_t *prefix, int n)
{
    if (kVectorScan)
        return level_with<int32_t, vector_extremes>(scratch, prefix, n);
    return level_with<int32_t, plain_extremes>(scratch, prefix, n);
}

namespace {

// An arrangement's level, through 16-bit prefix sums where every window sum
// lies strictly inside their range and a vector scan is at hand.
int level_of(FamilyScratch &scratch, int n)
{
    if (kVectorScan && scratch.context.moments.reach < INT16_MAX) {
        for (std::size_t i = 0; i <= static_cast<std::size_t>(n); ++i)
            scratch.narrow_prefix[i] = static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(scratch.prefix[i])));
        return level_with<int16_t, vector_extremes>(scratch, scratch.narrow_prefix.data(), n);
    }
    return arrangement_level(scratch, scratch.prefix.data(), n);
}

}  // namespace

bool run_family(FamilyScratch &scratch, const std::vector<int> &diff, const FamilySettings &settings,
                const std::vector<uint64_t> &multipliers, DrawStream stream, const ScanWindow &observed,
                const std::vector<double> &window_scores, SequentialTest &test, const std::atomic<int> *stop)
{
    const int n = static_cast<int>(diff.size());
    test = SequentialTest{settings.arrangements_cap, settings.exceedances, 0, 0};
    prepare_levels(scratch, observed.score, window_scores);
    const int top = static_cast<int>(scratch.levels.size());
    scratch.prefix.assign(diff.size() + 1, 0);
    scratch.narrow_prefix.assign(diff.size() + 1, 0);
    scratch.largest = *std::max_element(diff.begin(), diff.end());
    scratch.smallest = *std::min_element(diff.begin(), diff.end());
    scratch.arrangement = diff;
    scratch.blocks.resize(static_cast<std::size_t>((n + settings.block - 1) / settings.block));
    for (std::size_t b = 0; b < scratch.blocks.size(); ++b)
        scratch.blocks[b] = static_cast<int>(b);
    scratch.draws.resize(diff.size());
    scratch.draw = n <= kMaxKernelLength ? draw_function(active_kernel()) : DrawFunction{reduced_draws_scalar};
    for (;;) {
        if (test.drawn % 64 == 0 && stop != nullptr && stop->load(std::memory_order_relaxed) != 0)
            return false;
        next_arrangement(scratch, diff, settings.block, multipliers.data(), stream);
        const int level = level_of(scratch, n);
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
