// The family-wise test of a quartet: an exact Monte Carlo p-value of the
// scan statistic M (windows/scan_statistic.hpp) over random arrangements of
// the profile, with sequential stopping: arrangements are drawn until the
// h-th one whose statistic reaches M, or until J_max of them.
//   stopped at the h-th exceedance after L arrangements: p = h / L;
//   otherwise:                                           p = (1 + e) / (J_max + 1)
// (e exceedances). Both are valid p-values for any stopping point the rule
// allows. Each final window's p-value is (1 + #{j : M_j >= its own score})
// / (L + 1) over the same L arrangements: it adjusts for every size and
// both sides, not for the window's place.
//
// Arrangements are compared with M in integers only: for each size and
// side, the smallest (largest) window sum whose score reaches a level is
// computed once per quartet, so an arrangement's outcome is the same on
// every CPU and compiler.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "windows/kernel.hpp"
#include "windows/random.hpp"
#include "windows/scan_statistic.hpp"

namespace kelto {

// The family arrangements' own stream: SplitMix64 seeded with
// family_stream_seed(seed); quartet q takes its draws from draw
// q J_max (N-1) + 1 on, whether or not it is analysed and however few it
// uses, so every quartet's arrangements are fixed by the seed and its index
// alone.
inline uint64_t family_stream_seed(uint64_t seed) { return splitmix_mix(seed ^ 0x6A09E667F3BCC908ULL); }

inline uint64_t family_first_draw(long long quartet, int n_minimum, long long arrangements_cap)
{
    const uint64_t per_quartet =
        static_cast<uint64_t>(arrangements_cap) * static_cast<uint64_t>(n_minimum > 1 ? n_minimum - 1 : 0);
    return static_cast<uint64_t>(quartet) * per_quartet + 1;
}

// The test's settings, the same for every quartet of a run.
struct FamilySettings {
    long long arrangements_cap = 0;  // J_max; 0: no test
    int exceedances = 10;            // h
    int block = 1;                   // arrange blocks of this many consecutive positions (1: single positions)
};

// The sequential stopping rule, apart from how outcomes are produced.
struct SequentialTest {
    long long cap = 0;  // J_max
    long long stop_at = 0;  // h
    long long drawn = 0;     // L
    long long exceeded = 0;  // e
};

// Counts one arrangement; true when the test has stopped (h-th exceedance
// or J_max arrangements).
inline bool add_arrangement(SequentialTest &test, bool exceeded)
{
    ++test.drawn;
    test.exceeded += exceeded ? 1 : 0;
    return test.exceeded >= test.stop_at || test.drawn >= test.cap;
}

// True when the test ran to J_max without its h-th exceedance.
inline bool sequential_capped(const SequentialTest &test) { return test.exceeded < test.stop_at; }

inline double sequential_p_value(const SequentialTest &test)
{
    if (!sequential_capped(test))
        return static_cast<double>(test.exceeded) / static_cast<double>(test.drawn);
    return (static_cast<double>(test.exceeded) + 1.0) / (static_cast<double>(test.cap) + 1.0);
}

// The smallest p-value a run with this J_max can give a quartet.
inline double family_p_floor(long long cap) { return 1.0 / (static_cast<double>(cap) + 1.0); }

// A window p-value from its count over L arrangements.
inline double family_window_p_value(long long count, long long drawn)
{
    return (static_cast<double>(count) + 1.0) / (static_cast<double>(drawn) + 1.0);
}

// Working storage of the test, reused from quartet to quartet by a worker.
struct FamilyScratch {
    ScanContext context;
    std::vector<double> levels;         // ascending and distinct; the last is M
    std::vector<int32_t> high, low;     // thresholds, size-major: [(w - 2) * levels + k]
    std::vector<long long> level_counts;  // #{j : M_j >= levels[k]}
    std::vector<int> arrangement;
    std::vector<int> blocks;            // block order when blocks are arranged
    std::vector<uint32_t> draws;        // one shuffle's reduced draws
    DrawFunction draw = reduced_draws_scalar;
    std::vector<int32_t> prefix;
    // The same prefix sums modulo 2^16, when no window sum can leave the
    // 16-bit range: differences taken modulo 2^16 are then exact, and twice
    // as many fit in a vector.
    std::vector<int16_t> narrow_prefix;
    int largest = 0, smallest = 0;  // the profile's largest and smallest value
};

struct FamilyOutcome {
    SequentialTest test;
    ScanWindow window;
};

// Runs the test on `diff` given the observed window (observed_scan filled
// scratch.context) and the scores of the windows whose own counts are
// wanted (`window_scores`; each at most M). Returns false once `stop` (when
// given) is non-zero, looked at every 64 arrangements.
bool run_family(FamilyScratch &scratch, const std::vector<int> &diff, const FamilySettings &settings,
                const std::vector<uint64_t> &multipliers, DrawStream stream, const ScanWindow &observed,
                const std::vector<double> &window_scores, SequentialTest &test, const std::atomic<int> *stop = nullptr);

// #{j : M_j >= score} over the arrangements drawn, for a score given to
// run_family.
long long family_level_count(const FamilyScratch &scratch, double score);

// The highest level reached by an arrangement with prefix sums
// prefix[0 .. n]: 0 for none, k when levels[0 .. k-1] are reached. Exposed
// for the benchmarks.
int arrangement_level(const FamilyScratch &scratch, const int32_t *prefix, int n);

}  // namespace kelto
