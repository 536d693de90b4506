// The family-wise test of a quartet: one p-value for "some window of some
// size, on either side, is this extreme", by the minimum p-value over all
// sizes and both sides (min-P), calibrated on J further random arrangements
// of the profile, each scanned at every size.
//
// For size w and window sum v, the per-size count is c+_w(v) = #{t : highest
// sum of randomisation t >= v} (c-_w likewise with lowest sums and <=), from
// the null distributions the run draws anyway; p = (1 + c) / (T + 1). The
// quartet's statistic is the smallest count over the largest and smallest
// sum of every size. The same statistic of each arrangement j gives m_j, and
// p_family = (1 + #{j : m_j <= m}) / (J + 1). Counts stand for p-values:
// with T fixed, a smaller count is a smaller p.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "windows/null_distribution.hpp"
#include "windows/random.hpp"
#include "windows/significance.hpp"

namespace kelto {

// The family arrangements' own stream: SplitMix64 seeded with
// family_stream_seed(seed); quartet q takes its J (N-1) draws from draw
// q J (N-1) + 1 on, whether or not it is analysed, so every quartet's
// arrangements are fixed by the seed and its index alone.
inline uint64_t family_stream_seed(uint64_t seed) { return splitmix_mix(seed ^ 0x6A09E667F3BCC908ULL); }

inline uint64_t family_first_draw(long long quartet, int n_minimum, int family_randomisations)
{
    const uint64_t per_quartet =
        static_cast<uint64_t>(family_randomisations) * static_cast<uint64_t>(n_minimum > 1 ? n_minimum - 1 : 0);
    return static_cast<uint64_t>(quartet) * per_quartet + 1;
}

// The per-size cumulative counts of one quartet, kept while its sizes are
// scanned, and the working storage of the arrangements. Owned by a worker.
struct FamilyScratch {
    struct Size {
        int low_first, low_last, high_first, high_last;  // histogram index ranges
        std::size_t low_at, high_at;                     // where their counts start in `counts`
    };
    std::vector<int32_t> counts;
    std::vector<Size> sizes;  // sizes 2, 3, ... in order
    int offset = 0;
    int randomisations = 0;
    std::vector<int> arrangement;
    std::vector<int32_t> prefix;
    std::vector<int32_t> arrangement_counts;  // m_j of every arrangement, sorted
};

// Starts a quartet's family test.
void reset_family(FamilyScratch &family, const NullHistograms &histograms, int randomisations);

// Keeps the counts of the size just scanned (scan_window_size's cumulative
// counts in `scan`).
void keep_family_size(FamilyScratch &family, const NullHistograms &histograms, const ScanScratch &scan);

// Draws the J arrangements and sorts their statistics; `observed` gets
// the profile's own statistic m. Needs every size 2 .. N-1 kept. Looks at
// `stop` (when given) every 64 arrangements and returns false once it is
// non-zero.
bool run_family(FamilyScratch &family, const std::vector<int> &diff, int family_randomisations,
                const std::vector<uint64_t> &multipliers, DrawStream stream, int32_t &observed,
                const std::atomic<int> *stop = nullptr);

// #{j : m_j <= count}: p_family = (1 + this) / (J + 1).
int family_count(const FamilyScratch &family, int32_t count);

}  // namespace kelto
