// The shuffle kernel with its draws computed four at a time (AVX2): the
// SplitMix64 mixing of every draw of a randomisation (64-bit multiplies
// built from 32-bit ones) and the exact reduction in doubles
// (reciprocal_mod) are done first in vector registers, then the exchanges
// and the window scan run as in the scalar kernel. Same draws, same results.
#include "windows/kernel.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kelto {

#if defined(__x86_64__)

namespace {

// a * b mod 2^64 in each lane, b given as its low and high 32-bit halves.
__attribute__((target("avx2,fma"))) inline __m256i multiply64(__m256i a, __m256i b_low, __m256i b_high)
{
    const __m256i low = _mm256_mul_epu32(a, b_low);
    const __m256i cross =
        _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), b_low), _mm256_mul_epu32(a, b_high));
    return _mm256_add_epi64(low, _mm256_slli_epi64(cross, 32));
}

// The same with b's halves exchanged in each lane (b_swapped: high half in
// the low 32 bits): one 32-bit multiply gives both cross products.
__attribute__((target("avx2,fma"))) inline __m256i multiply64_swapped(__m256i a, __m256i b, __m256i b_swapped)
{
    const __m256i cross = _mm256_mullo_epi32(a, b_swapped);
    const __m256i sum = _mm256_add_epi64(cross, _mm256_srli_epi64(cross, 32));
    return _mm256_add_epi64(_mm256_mul_epu32(a, b), _mm256_slli_epi64(sum, 32));
}

// Only the high 32 bits of a * b mod 2^64 in each lane (in its high half;
// the low half is not the product's): 32-bit additions of the high part of
// the low product and the two cross products.
__attribute__((target("avx2,fma"))) inline __m256i multiply64_high(__m256i a, __m256i b, __m256i b_swapped)
{
    const __m256i cross = _mm256_mullo_epi32(a, b_swapped);
    const __m256i sum = _mm256_add_epi32(_mm256_mul_epu32(a, b), cross);
    return _mm256_add_epi32(sum, _mm256_slli_epi64(cross, 32));
}

// 2^52 + a as a double is exact for a < 2^52: its bits are those of 2^52
// with a in the low mantissa bits. Converts lanes holding 32-bit values.
__attribute__((target("avx2,fma"))) inline __m256d to_double(__m256i a)
{
    const __m256i two52_bits = _mm256_set1_epi64x(0x4330000000000000LL);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(a, two52_bits)), _mm256_set1_pd(4503599627370496.0));
}

// draw mod step in each lane as reciprocal_mod computes it; the reciprocals
// are rounded up, so the quotient is exact and needs no correction.
__attribute__((target("avx2,fma"))) inline __m128i reduce(__m256d draw, __m256d reciprocal, __m256d steps)
{
    const __m256d quotient = _mm256_floor_pd(_mm256_mul_pd(draw, reciprocal));
    return _mm256_cvttpd_epi32(_mm256_fnmadd_pd(quotient, steps, draw));
}

// The 32-bit draws (i+1 after `state`) for i = 0 .. count-1, count a
// multiple of 8. Two vectors of four states per round: lanes of `low` hold
// draws 0, 1, 4, 5 of the round and `high` draws 2, 3, 6, 7, so that one
// shuffle of their high halves gives the eight in order.
__attribute__((target("avx2,fma"))) void mixed_draws(uint64_t state, int count, uint32_t *draws)
{
    constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ULL;
    constexpr uint64_t kMix2 = 0x94D049BB133111EBULL;
    const __m256i mix1 = _mm256_set1_epi64x(static_cast<long long>(kMix1));
    const __m256i mix2 = _mm256_set1_epi64x(static_cast<long long>(kMix2));
    const __m256i mix1_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix1 << 32) | (kMix1 >> 32)));
    const __m256i mix2_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix2 << 32) | (kMix2 >> 32)));
    const __m256i gamma8 = _mm256_set1_epi64x(static_cast<long long>(8 * kSplitMixGamma));
    const auto at = [state](uint64_t k) { return static_cast<long long>(state + k * kSplitMixGamma); };
    __m256i low = _mm256_set_epi64x(at(6), at(5), at(2), at(1));
    __m256i high = _mm256_set_epi64x(at(8), at(7), at(4), at(3));
    for (int i = 0; i < count; i += 8) {
        __m256i a = low;
        __m256i b = high;
        a = multiply64_swapped(_mm256_xor_si256(a, _mm256_srli_epi64(a, 30)), mix1, mix1_swapped);
        b = multiply64_swapped(_mm256_xor_si256(b, _mm256_srli_epi64(b, 30)), mix1, mix1_swapped);
        a = multiply64_swapped(_mm256_xor_si256(a, _mm256_srli_epi64(a, 27)), mix2, mix2_swapped);
        b = multiply64_swapped(_mm256_xor_si256(b, _mm256_srli_epi64(b, 27)), mix2, mix2_swapped);
        // the high halves, then z ^ (z >> 31) seen through its high half
        __m256i h = _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
        h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 31));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(draws + i), h);
        low = _mm256_add_epi64(low, gamma8);
        high = _mm256_add_epi64(high, gamma8);
    }
}

// r[i] = draw (i+1 after `state`) reduced modulo its step n - i, for
// i = 0 .. n-2: the draws are mixed first, then reduced in place.
__attribute__((target("avx2,fma"))) void reduced_draws(uint64_t state, int n, const uint64_t *multipliers, uint32_t *r)
{
    const int count = n - 1;
    const int mixed = count & ~7;
    mixed_draws(state, mixed, r);
    const double *reciprocals = kernel_reciprocals_descending() + (kMaxKernelLength + 1 - n);
    __m256d steps = _mm256_sub_pd(_mm256_set1_pd(n), _mm256_set_pd(3, 2, 1, 0));
    const __m256d four = _mm256_set1_pd(4.0);
    int i = 0;
    for (; i + 4 <= mixed; i += 4) {
        const __m256i lanes = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(r + i)));
        const __m256d reciprocal = _mm256_loadu_pd(reciprocals + i);  // those of n-i .. n-i-3
        _mm_storeu_si128(reinterpret_cast<__m128i *>(r + i), reduce(to_double(lanes), reciprocal, steps));
        steps = _mm256_sub_pd(steps, four);
    }
    state += static_cast<uint64_t>(i) * kSplitMixGamma;
    for (; i < count; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
}

// The state of the draws a kernel prepares while it exchanges: the
// SplitMix64 states of the next eight draws to mix (lanes as in
// mixed_draws), and the reciprocals and steps of the next four to reduce.
struct DrawAhead {
    __m256i low;
    __m256i high;
    const double *reciprocals;
    __m256d steps;
};

__attribute__((target("avx2,fma"))) inline DrawAhead draw_ahead(uint64_t state, int n)
{
    const auto at = [state](uint64_t k) { return static_cast<long long>(state + k * kSplitMixGamma); };
    return DrawAhead{_mm256_set_epi64x(at(6), at(5), at(2), at(1)), _mm256_set_epi64x(at(8), at(7), at(4), at(3)),
                     kernel_reciprocals_descending() + (kMaxKernelLength + 1 - n),
                     _mm256_sub_pd(_mm256_set1_pd(n), _mm256_set_pd(3, 2, 1, 0))};
}

// The next eight draws, mixed as mixed_draws does.
__attribute__((always_inline, target("avx2,fma"))) inline void mix8(DrawAhead &ahead, uint32_t *draws)
{
    constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ULL;
    constexpr uint64_t kMix2 = 0x94D049BB133111EBULL;
    const __m256i mix1 = _mm256_set1_epi64x(static_cast<long long>(kMix1));
    const __m256i mix2 = _mm256_set1_epi64x(static_cast<long long>(kMix2));
    const __m256i mix1_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix1 << 32) | (kMix1 >> 32)));
    const __m256i mix2_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix2 << 32) | (kMix2 >> 32)));
    __m256i a = ahead.low;
    __m256i b = ahead.high;
    a = multiply64_swapped(_mm256_xor_si256(a, _mm256_srli_epi64(a, 30)), mix1, mix1_swapped);
    b = multiply64_swapped(_mm256_xor_si256(b, _mm256_srli_epi64(b, 30)), mix1, mix1_swapped);
    a = multiply64_high(_mm256_xor_si256(a, _mm256_srli_epi64(a, 27)), mix2, mix2_swapped);
    b = multiply64_high(_mm256_xor_si256(b, _mm256_srli_epi64(b, 27)), mix2, mix2_swapped);
    __m256i h = _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
    h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 31));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(draws), h);
    const __m256i gamma8 = _mm256_set1_epi64x(static_cast<long long>(8 * kSplitMixGamma));
    ahead.low = _mm256_add_epi64(ahead.low, gamma8);
    ahead.high = _mm256_add_epi64(ahead.high, gamma8);
}

// The next eight mixed draws reduced as reduced_draws does, each left in
// the low 32 bits of a 64-bit lane (the bits of the double 2^52 + r, which
// saves converting the remainder back to an integer).
__attribute__((always_inline, target("avx2,fma"))) inline void reduce8(DrawAhead &ahead, const uint32_t *draws,
                                                                        uint64_t *out)
{
    const __m256i two52_bits = _mm256_set1_epi64x(0x4330000000000000LL);
    for (int half = 0; half < 8; half += 4) {
        const __m256i lanes =
            _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(draws + half)));
        const __m256d biased = _mm256_castsi256_pd(_mm256_or_si256(lanes, two52_bits));
        const __m256d draw = _mm256_sub_pd(biased, _mm256_set1_pd(4503599627370496.0));
        const __m256d quotient = _mm256_floor_pd(_mm256_mul_pd(draw, _mm256_loadu_pd(ahead.reciprocals)));
        // 2^52 + draw - quotient * step is exact: 2^52 + the remainder
        const __m256d remainder = _mm256_fnmadd_pd(quotient, ahead.steps, biased);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + half), _mm256_castpd_si256(remainder));
        ahead.reciprocals += 4;
        ahead.steps = _mm256_sub_pd(ahead.steps, _mm256_set1_pd(4.0));
    }
}

// One exchange of the shuffle: x[j] takes the value at the next reduced
// draw (the low 32 bits of its lane), which it returns.
__attribute__((always_inline, target("avx2,fma"))) inline int exchange(int *x, const uint64_t *&next, int j)
{
    const uint32_t k = static_cast<uint32_t>(*next++);
    const int picked = x[k];
    x[k] = x[j];
    x[j] = picked;
    return picked;
}

}  // namespace

__attribute__((target("avx2,fma"))) void reduce_avx2(const uint32_t *a, int count, uint32_t d, uint32_t *out)
{
    const __m256d reciprocal = _mm256_set1_pd(kernel_reciprocals()[d]);
    const __m256d steps = _mm256_set1_pd(static_cast<double>(d));
    for (int i = 0; i + 4 <= count; i += 4) {
        const __m256i lanes = _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i)));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), reduce(to_double(lanes), reciprocal, steps));
    }
}

void reduced_draws_avx2(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws(stream.state, n, multipliers, r);
    stream.state += static_cast<uint64_t>(n - 1) * kSplitMixGamma;
}

// The draws of one randomisation, mixed and reduced eight at a time a few
// blocks ahead of the exchanges that take them, so that the vector work
// overlaps the exchanges instead of coming before them. The exchanges and
// the scan are those of shuffle_and_scan_with, in blocks of eight.
__attribute__((target("avx2,fma"))) WindowExtremes shuffle_and_scan_avx2(int *x, int n, int w,
                                                                       const uint64_t *multipliers, DrawStream &stream)
{
    constexpr int kReduceAhead = 24;  // draws reduced before the first exchange (at least 8)
    constexpr int kMixAhead = 40;     // draws mixed before the first exchange
    uint32_t draws[kMaxKernelLength];
    uint64_t r[kMaxKernelLength];
    const int count = n - 1;
    const int limit = count & ~7;
    DrawAhead ahead = draw_ahead(stream.state, n);
    int mixed = 0;
    int reduced = 0;
    for (; mixed < limit && mixed < kMixAhead; mixed += 8)
        mix8(ahead, draws + mixed);
    for (; reduced < limit && reduced < kReduceAhead; reduced += 8)
        reduce8(ahead, draws + reduced, r + reduced);
    uint64_t state = stream.state + static_cast<uint64_t>(limit) * kSplitMixGamma;
    for (int i = limit; i < count; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
    stream.state = state;
    const auto prepare = [&]() __attribute__((always_inline, target("avx2,fma"))) {
        if (mixed < limit) {
            mix8(ahead, draws + mixed);
            mixed += 8;
        }
        if (reduced < limit) {
            reduce8(ahead, draws + reduced, r + reduced);
            reduced += 8;
        }
    };
    // Blocks of eight exchanges start at multiples of eight draws, each after
    // one prepare(); the one where the window scan starts is split there.
    // The draws past the last whole block were made above.
    const uint64_t *next = r;
    int sum = 0;
    int i = 0;
    for (; i + 8 <= w; i += 8) {
        prepare();
        for (int u = 0; u < 8; ++u)
            sum += exchange(x, next, n - 1 - i - u);
    }
    const int split_end = i + 8;
    if (split_end <= count)
        prepare();
    for (; i < w; ++i)
        sum += exchange(x, next, n - 1 - i);
    int lowest = sum;
    int highest = sum;
    const auto slide = [&](int j) __attribute__((always_inline, target("avx2,fma"))) {
        sum += exchange(x, next, j) - x[j + w];
        lowest = std::min(lowest, sum);
        highest = std::max(highest, sum);
    };
    for (; i < split_end && i < count; ++i)
        slide(n - 1 - i);
    for (; i + 8 <= count; i += 8) {
        prepare();
        for (int u = 0; u < 8; ++u)
            slide(n - 1 - i - u);
    }
    for (; i < count; ++i)
        slide(n - 1 - i);
    sum += x[0] - x[w];
    return WindowExtremes{std::min(lowest, sum), std::max(highest, sum)};
}

#else

void reduce_avx2(const uint32_t *a, int count, uint32_t d, uint32_t *out)
{
    for (int i = 0; i < count; ++i)
        out[i] = reciprocal_mod(a[i], d, kernel_reciprocals()[d]);
}

void reduced_draws_avx2(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws_scalar(n, multipliers, stream, r);
}

WindowExtremes shuffle_and_scan_avx2(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    return shuffle_and_scan(x, n, w, multipliers, stream);
}

#endif

}  // namespace kelto
