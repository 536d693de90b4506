// The family-wise min-P test over all window sizes and both sides.
#include "windows/family.hpp"

#include <algorithm>
#include <climits>

#include "windows/kernel.hpp"

namespace kelto {

namespace {

int32_t lower_count(const FamilyScratch &family, const FamilyScratch::Size &size, int sum)
{
    const int index = family.offset + sum;
    if (index < size.low_first)
        return 0;
    if (index > size.low_last)
        return family.randomisations;
    return family.counts[size.low_at + static_cast<std::size_t>(index - size.low_first)];
}

int32_t upper_count(const FamilyScratch &family, const FamilyScratch::Size &size, int sum)
{
    const int index = family.offset + sum;
    if (index > size.high_last)
        return 0;
    if (index < size.high_first)
        return family.randomisations;
    return family.counts[size.high_at + static_cast<std::size_t>(index - size.high_first)];
}

// The smallest per-size count of the arrangement whose prefix sums are
// prefix[0 .. n]: over the largest and the smallest window sum of every
// size. A count of 0 cannot be beaten, so the scan stops there.
int32_t smallest_count(const FamilyScratch &family, const int32_t *prefix, int n)
{
    int32_t best = INT32_MAX;
    for (std::size_t k = 0; k < family.sizes.size() && best > 0; ++k) {
        const int w = static_cast<int>(k) + 2;
        int32_t highest = INT32_MIN, lowest = INT32_MAX;
        for (int i = 0; i + w <= n; ++i) {
            const int32_t sum = prefix[i + w] - prefix[i];
            highest = std::max(highest, sum);
            lowest = std::min(lowest, sum);
        }
        const FamilyScratch::Size &size = family.sizes[k];
        best = std::min({best, upper_count(family, size, highest), lower_count(family, size, lowest)});
    }
    return best;
}

void prefix_sums(const int *x, int n, std::vector<int32_t> &prefix)
{
    prefix[0] = 0;
    for (int i = 0; i < n; ++i)
        prefix[static_cast<std::size_t>(i) + 1] = prefix[static_cast<std::size_t>(i)] + x[i];
}

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

}  // namespace

void reset_family(FamilyScratch &family, const NullHistograms &histograms, int randomisations)
{
    family.counts.clear();
    family.sizes.clear();
    family.offset = histograms.offset;
    family.randomisations = randomisations;
}

void keep_family_size(FamilyScratch &family, const NullHistograms &histograms, const ScanScratch &scan)
{
    FamilyScratch::Size size{histograms.minimum_first, histograms.minimum_last, histograms.maximum_first,
                             histograms.maximum_last, family.counts.size(), 0};
    family.counts.insert(family.counts.end(), scan.lower_cumulative.begin(), scan.lower_cumulative.end());
    size.high_at = family.counts.size();
    family.counts.insert(family.counts.end(), scan.upper_cumulative.begin(), scan.upper_cumulative.end());
    family.sizes.push_back(size);
}

bool run_family(FamilyScratch &family, const std::vector<int> &diff, int family_randomisations,
                const std::vector<uint64_t> &multipliers, DrawStream stream, int32_t &observed,
                const std::atomic<int> *stop)
{
    const int n = static_cast<int>(diff.size());
    family.prefix.resize(diff.size() + 1);
    prefix_sums(diff.data(), n, family.prefix);
    observed = smallest_count(family, family.prefix.data(), n);
    family.arrangement = diff;
    family.arrangement_counts.resize(static_cast<std::size_t>(family_randomisations));
    for (int j = 0; j < family_randomisations; ++j) {
        if (j % 64 == 0 && stop != nullptr && stop->load(std::memory_order_relaxed) != 0)
            return false;
        shuffle(family.arrangement.data(), n, multipliers.data(), stream);
        prefix_sums(family.arrangement.data(), n, family.prefix);
        family.arrangement_counts[static_cast<std::size_t>(j)] = smallest_count(family, family.prefix.data(), n);
    }
    std::sort(family.arrangement_counts.begin(), family.arrangement_counts.end());
    return true;
}

int family_count(const FamilyScratch &family, int32_t count)
{
    return static_cast<int>(std::upper_bound(family.arrangement_counts.begin(), family.arrangement_counts.end(), count) -
                            family.arrangement_counts.begin());
}

}  // namespace kelto
