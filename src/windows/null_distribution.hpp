// Null distributions of the lowest and highest window sum of a quartet's
// profile under random rearrangement, one window size at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "windows/random.hpp"

namespace kelto {

// Counts indexed by window sum + offset; offset = A + 4, size = 2A + 8 where
// A is the sum of the profile's absolute values.
struct NullHistograms {
    int offset = 0;
    int size = 0;
    std::vector<int32_t> minimum;  // lowest window sum of each randomisation
    std::vector<int32_t> maximum;  // highest window sum of each randomisation
    // Index ranges outside which each histogram holds only zeros (empty
    // when first > last). Clearing and summing stay within them.
    int minimum_first = 0, minimum_last = -1;
    int maximum_first = 0, maximum_last = -1;
};

// Sizes the histograms for `diff`, starts the shuffled profile as the
// profile itself (identity arrangement) and writes the block heading to the
// report.
void prepare_null(const std::vector<int> &diff, NullHistograms &histograms, std::vector<int> &shuffled,
                  std::string &report);

// Runs `randomisations` shuffles of `shuffled` (continuing from its current
// arrangement) for window size w and counts their lowest and highest window
// sums. `multipliers` is fastmod_table(N_minimum). Allocates nothing.
// Looks at `stop` (when given) every few randomisations and returns false,
// leaving the histograms incomplete, once it is non-zero.
bool fill_null(NullHistograms &histograms, std::vector<int> &shuffled, int w, int randomisations,
               const std::vector<uint64_t> &multipliers, DrawStream &stream, const std::atomic<int> *stop = nullptr);

}  // namespace kelto
