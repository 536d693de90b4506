// The literal yardstick of the kernel benchmarks: one randomisation and one
// quartet's randomisation work written the obvious way (permutation
// shuffled with draw % n, profile gathered through it, every window summed
// afresh), for the speed-ups the kernels are measured by.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "windows/kernel.hpp"
#include "windows/random.hpp"

namespace kelto::bench {

// One randomisation written the obvious way: shuffle a permutation with a
// hardware division per step, gather the profile through it, then sum every
// window of size w from scratch.
struct LiteralState {
    std::vector<int> perm;      // current arrangement, continues between calls
    std::vector<int> shuffled;  // profile[perm[k]]
};

inline LiteralState literal_start(int n)
{
    LiteralState s{std::vector<int>(static_cast<std::size_t>(n)), std::vector<int>(static_cast<std::size_t>(n))};
    for (int k = 0; k < n; ++k)
        s.perm[static_cast<std::size_t>(k)] = k;
    return s;
}

// Lowest and highest sum of the windows of size w, each summed afresh. The
// compiler may vectorise the inner sum (GCC -O3 does, four lanes with SSE2).
inline kelto::WindowExtremes scan_afresh(const int *x, int n, int w)
{
    int lowest = INT_MAX;
    int highest = INT_MIN;
    for (int start = 0; start + w <= n; ++start) {
        int sum = 0;
        for (int k = start; k < start + w; ++k)
            sum += x[k];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    }
    return kelto::WindowExtremes{lowest, highest};
}

// The same scan kept to one addition at a time (no vectorisation), as a
// plain scalar program would run it.
#if defined(__clang__)
inline kelto::WindowExtremes scan_afresh_scalar(const int *x, int n, int w)
{
    int lowest = INT_MAX;
    int highest = INT_MIN;
    for (int start = 0; start + w <= n; ++start) {
        int sum = 0;
#pragma clang loop vectorize(disable) interleave(disable)
        for (int k = start; k < start + w; ++k)
            sum += x[k];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    }
    return kelto::WindowExtremes{lowest, highest};
}
#elif defined(__GNUC__)
__attribute__((optimize("no-tree-vectorize"))) inline kelto::WindowExtremes scan_afresh_scalar(const int *x, int n, int w)
{
    int lowest = INT_MAX;
    int highest = INT_MIN;
    for (int start = 0; start + w <= n; ++start) {
        int sum = 0;
        for (int k = start; k < start + w; ++k)
            sum += x[k];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    }
    return kelto::WindowExtremes{lowest, highest};
}
#else
inline kelto::WindowExtremes scan_afresh_scalar(const int *x, int n, int w) { return scan_afresh(x, n, w); }
#endif

using ScanFn = kelto::WindowExtremes (*)(const int *, int, int);

template <ScanFn Scan = scan_afresh>
kelto::WindowExtremes literal_step(const std::vector<int> &profile, LiteralState &s, int w, kelto::DrawStream &stream)
{
    const int n = static_cast<int>(profile.size());
    int *perm = s.perm.data();
    for (int j = n - 1; j >= 1; --j) {
        const uint32_t step = static_cast<uint32_t>(j + 1);
        const uint32_t r = kelto::next_draw(stream) % step;
        std::swap(perm[r], perm[j]);
    }
    int *x = s.shuffled.data();
    for (int k = 0; k < n; ++k)
        x[k] = profile[static_cast<std::size_t>(perm[k])];
    return Scan(x, n, w);
}

// Histograms of every window size of one quartet, literal version. Same
// layout as NullHistograms: index = sum + offset.
struct LiteralHistograms {
    int offset = 0;
    std::vector<int32_t> minimum;
    std::vector<int32_t> maximum;
};

inline LiteralHistograms literal_histograms(const std::vector<int> &profile)
{
    int absolute_sum = 0;
    for (int v : profile)
        absolute_sum += std::abs(v);
    const std::size_t size = static_cast<std::size_t>(2 * absolute_sum + 8);
    return LiteralHistograms{absolute_sum + 4, std::vector<int32_t>(size), std::vector<int32_t>(size)};
}

// The literal program's randomisation work for one quartet. `per_size` (if
// not null) is called after each window size with the histograms of that
// size.
template <ScanFn Scan, typename PerSize>
void literal_quartet(const std::vector<int> &profile, int randomisations, LiteralState &s, LiteralHistograms &h,
                     kelto::DrawStream &stream, PerSize &&per_size)
{
    const int n = static_cast<int>(profile.size());
    for (int w = 2; w <= n - 1; ++w) {
        std::fill(h.minimum.begin(), h.minimum.end(), 0);
        std::fill(h.maximum.begin(), h.maximum.end(), 0);
        for (int t = 0; t < randomisations; ++t) {
            const kelto::WindowExtremes e = literal_step<Scan>(profile, s, w, stream);
            ++h.minimum[static_cast<std::size_t>(e.lowest + h.offset)];
            ++h.maximum[static_cast<std::size_t>(e.highest + h.offset)];
        }
        per_size(w, h);
    }
}

}  // namespace kelto::bench
