// The randomisation kernel: one Fisher-Yates shuffle of the profile fused
// with the scan for its lowest and highest window sum.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "windows/random.hpp"

namespace kelto {

__extension__ typedef unsigned __int128 kelto_u128;

// Exact a % d for 32-bit a without a division: with M = floor((2^64-1)/d)+1,
// a % d = ((M * a mod 2^64) * d) >> 64 for every 32-bit a and d >= 1.
inline uint64_t fastmod_multiplier(uint32_t d) { return UINT64_MAX / d + 1; }

inline uint32_t fastmod(uint32_t a, uint64_t multiplier, uint32_t d)
{
    const uint64_t low = multiplier * a;
    return static_cast<uint32_t>((static_cast<kelto_u128>(low) * d) >> 64);
}

// Multipliers for every divisor 0 .. n_max (entries 0 and 1 unused).
inline std::vector<uint64_t> fastmod_table(int n_max)
{
    std::vector<uint64_t> table(static_cast<std::size_t>(std::max(n_max, 1)) + 1, 0);
    for (int d = 2; d <= n_max; ++d)
        table[static_cast<std::size_t>(d)] = fastmod_multiplier(static_cast<uint32_t>(d));
    return table;
}

struct WindowExtremes {
    int lowest;
    int highest;
};

// The shuffle and scan shared by both kernels: for j = n-1 down to 1,
// exchanges x[j] with x[index(j + 1)], where index(step) is the reduced draw
// for that step, and returns the lowest and highest sum of the n-w+1 windows
// of size w of the result. Position j is final as soon as its step is done,
// so the windows are summed from the right end while the shuffle moves left.
// Needs 2 <= w <= n-1.
template <class Index>
inline WindowExtremes shuffle_and_scan_with(int *x, int n, int w, Index index)
{
    int sum = 0;
    int j = n - 1;
    for (; j >= n - w; --j) {
        const uint32_t r = index(static_cast<uint32_t>(j + 1));
        const int picked = x[r];
        x[r] = x[j];
        x[j] = picked;
        sum += picked;
    }
    int lowest = sum;
    int highest = sum;
    for (; j >= 1; --j) {
        const uint32_t r = index(static_cast<uint32_t>(j + 1));
        const int picked = x[r];
        x[r] = x[j];
        x[j] = picked;
        sum += picked - x[j + w];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    }
    sum += x[0] - x[w];
    return WindowExtremes{std::min(lowest, sum), std::max(highest, sum)};
}

// r[i] = the reduced draw of step n - i for i = from .. n-2, the draws
// taken one at a time from after `state` (reduced_draws_scalar, and the
// vector kernels' draws past their last whole vector).
template <class Out>
inline void reduced_draws_after(uint64_t state, int n, int from, const uint64_t *multipliers, Out *r)
{
    state += static_cast<uint64_t>(from) * kSplitMixGamma;
    for (int i = from; i < n - 1; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
}

// One exchange of the vector kernels' shuffle: x[j] takes the value at the
// next reduced draw (the low 32 bits of its 64-bit lane), which it returns.
__attribute__((always_inline)) inline int exchange_next(int *x, const uint64_t *&next, int j)
{
    const uint32_t k = static_cast<uint32_t>(*next++);
    const int picked = x[k];
    x[k] = x[j];
    x[j] = picked;
    return picked;
}

// One randomisation: shuffles x[0 .. n-1] in place (steps n, n-1, ..., 2:
// r = next draw mod step, exchange x[r] and x[step-1]) and returns its
// lowest and highest window sum of size w. `multipliers` comes from
// fastmod_table(n). Allocates nothing.
inline WindowExtremes shuffle_and_scan(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    uint64_t state = stream.state;
    const WindowExtremes extremes = shuffle_and_scan_with(x, n, w, [&](uint32_t step) {
        state += kSplitMixGamma;
        return fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    });
    stream.state = state;
    return extremes;
}

// Longest profile the kernels take (the longest record the reader accepts).
inline constexpr int kMaxKernelLength = 1099;

// The kernels, in the order they are preferred where the CPU has them.
enum class KernelKind { kAvx512, kAvx2, kNeon, kScalar };

// True when this CPU runs the kernel's vector instructions.
bool kernel_available(KernelKind kind);

// The kernel's name as KELTO_KERNEL takes it: scalar, avx2, avx512, neon.
const char *kernel_name(KernelKind kind);

// The first available kernel in the order AVX-512, AVX2, NEON, scalar.
KernelKind best_kernel();

// The kernel to run: the one `forced` names (the KELTO_KERNEL value) or,
// when forced is null or empty, best_kernel(). False with a message when
// forced names no kernel or one this CPU lacks.
bool choose_kernel(const char *forced, KernelKind &kind, std::string &error);

// The kernel fill_null runs: best_kernel() until set_active_kernel.
KernelKind active_kernel();
void set_active_kernel(KernelKind kind);

using KernelFunction = WindowExtremes (*)(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream);

// The entry point of a kernel; the vector ones need n <= kMaxKernelLength
// and kernel_available(kind).
KernelFunction kernel_function(KernelKind kind);

// shuffle_and_scan with the draws of a randomisation computed in vector
// registers (eight at a time with AVX-512 and with AVX2, a few blocks ahead
// of the exchanges that take them; two at a time with NEON, all before the
// exchanges); the same arrangement, extremes and stream position. Each needs
// n <= kMaxKernelLength and its kernel available; on other architectures
// each is the scalar kernel.
WindowExtremes shuffle_and_scan_wide(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream);
WindowExtremes shuffle_and_scan_avx2(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream);
WindowExtremes shuffle_and_scan_neon(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream);

// The reduced draws of one randomisation without its exchanges:
// r[i] = the next draw modulo its step n - i, for i = 0 .. n-2, the stream
// moved on by n - 1 draws. Exchanging x[r[i]] with x[n-1-i] in turn is the
// kernels' shuffle. Each vector one needs 2 <= n <= kMaxKernelLength and
// its kernel available; on other architectures each is the scalar one.
using DrawFunction = void (*)(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r);
void reduced_draws_scalar(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r);
void reduced_draws_wide(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r);
void reduced_draws_avx2(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r);
void reduced_draws_neon(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r);
DrawFunction draw_function(KernelKind kind);

// The reciprocals 1/d rounded up (the smallest double not below 1/d) for
// d = 0 .. kMaxKernelLength + 1 (entries 0 and 1 unused), for the vector
// kernels' reduction.
const double *kernel_reciprocals();

// The same reciprocals in descending order of d: entry k holds that of
// kMaxKernelLength + 1 - k, so that the steps n, n-1, n-2, ... of a
// randomisation find theirs in ascending addresses.
const double *kernel_reciprocals_descending();

// out[i] = a[i] mod d for i < count (a multiple of 4) through the AVX2 or
// NEON kernel's vector reduction, for 2 <= d <= kMaxKernelLength + 1; each
// needs its kernel available. On other architectures each is reciprocal_mod.
void reduce_avx2(const uint32_t *a, int count, uint32_t d, uint32_t *out);
void reduce_neon(const uint32_t *a, int count, uint32_t d, uint32_t *out);

// a mod d for a 32-bit a and 2 <= d <= kMaxKernelLength + 1 as the vector
// kernels compute it in doubles: q = floor(a * u), r = a - q * d (exact,
// q * d < 2^53), with u = 1/d rounded up. q is never short: a * u >= a/d
// >= floor(a/d), and rounding to nearest cannot fall below that integer.
// q is never over: a * u < a/d (1 + 2^-52), so the rounded product is
// below a/d + 2^-20, and a/d lies at least 1/d > 2^-11 below the next
// integer.
inline uint32_t reciprocal_mod(uint32_t a, uint32_t d, double reciprocal)
{
    const double da = static_cast<double>(a);
    return static_cast<uint32_t>(da - __builtin_floor(da * reciprocal) * static_cast<double>(d));
}

}  // namespace kelto
