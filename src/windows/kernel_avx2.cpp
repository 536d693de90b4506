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
__attribute__((target("avx2"))) inline __m256i multiply64(__m256i a, __m256i b_low, __m256i b_high)
{
    const __m256i low = _mm256_mul_epu32(a, b_low);
    const __m256i cross =
        _mm256_add_epi64(_mm256_mul_epu32(_mm256_srli_epi64(a, 32), b_low), _mm256_mul_epu32(a, b_high));
    return _mm256_add_epi64(low, _mm256_slli_epi64(cross, 32));
}

// 2^52 + a as a double is exact for a < 2^52: its bits are those of 2^52
// with a in the low mantissa bits. Converts lanes holding 32-bit values.
__attribute__((target("avx2"))) inline __m256d to_double(__m256i a)
{
    const __m256i two52_bits = _mm256_set1_epi64x(0x4330000000000000LL);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(a, two52_bits)), _mm256_set1_pd(4503599627370496.0));
}

// draw mod step in each lane as reciprocal_mod computes it.
__attribute__((target("avx2"))) inline __m128i reduce(__m256d draw, __m256d reciprocal, __m256d steps)
{
    const __m256d quotient = _mm256_floor_pd(_mm256_mul_pd(draw, reciprocal));
    __m256d reduced = _mm256_sub_pd(draw, _mm256_mul_pd(quotient, steps));
    reduced = _mm256_sub_pd(reduced, _mm256_and_pd(_mm256_cmp_pd(reduced, steps, _CMP_GE_OQ), steps));
    return _mm256_cvttpd_epi32(reduced);
}

// r[i] = draw (i+1 after `state`) reduced modulo its step n - i, for
// i = 0 .. n-2.
__attribute__((target("avx2"))) void reduced_draws(uint64_t state, int n, const uint64_t *multipliers, uint32_t *r)
{
    constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ULL;
    constexpr uint64_t kMix2 = 0x94D049BB133111EBULL;
    const __m256i mix1_low = _mm256_set1_epi64x(static_cast<long long>(kMix1 & 0xFFFFFFFFU));
    const __m256i mix1_high = _mm256_set1_epi64x(static_cast<long long>(kMix1 >> 32));
    const __m256i mix2_low = _mm256_set1_epi64x(static_cast<long long>(kMix2 & 0xFFFFFFFFU));
    const __m256i mix2_high = _mm256_set1_epi64x(static_cast<long long>(kMix2 >> 32));
    const __m256i gamma4 = _mm256_set1_epi64x(static_cast<long long>(4 * kSplitMixGamma));
    const __m256d four = _mm256_set1_pd(4.0);
    const double *reciprocals = kernel_reciprocals();
    __m256i states = _mm256_set_epi64x(
        static_cast<long long>(state + 4 * kSplitMixGamma), static_cast<long long>(state + 3 * kSplitMixGamma),
        static_cast<long long>(state + 2 * kSplitMixGamma), static_cast<long long>(state + kSplitMixGamma));
    __m256d steps = _mm256_sub_pd(_mm256_set1_pd(n), _mm256_set_pd(3, 2, 1, 0));
    int i = 0;
    for (; i + 4 <= n - 1; i += 4) {
        __m256i z = states;
        z = multiply64(_mm256_xor_si256(z, _mm256_srli_epi64(z, 30)), mix1_low, mix1_high);
        z = multiply64(_mm256_xor_si256(z, _mm256_srli_epi64(z, 27)), mix2_low, mix2_high);
        z = _mm256_xor_si256(z, _mm256_srli_epi64(z, 31));
        const __m256d draw = to_double(_mm256_srli_epi64(z, 32));
        // steps n-i .. n-i-3 take the reciprocals stored at n-i-3 .. n-i
        const __m256d reciprocal = _mm256_permute4x64_pd(_mm256_loadu_pd(reciprocals + n - i - 3), 0x1B);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(r + i), reduce(draw, reciprocal, steps));
        states = _mm256_add_epi64(states, gamma4);
        steps = _mm256_sub_pd(steps, four);
    }
    state += static_cast<uint64_t>(i) * kSplitMixGamma;
    for (; i < n - 1; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
}

}  // namespace

__attribute__((target("avx2"))) void reduce_avx2(const uint32_t *a, int count, uint32_t d, uint32_t *out)
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

WindowExtremes shuffle_and_scan_avx2(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    uint32_t r[kMaxKernelLength];
    reduced_draws_avx2(n, multipliers, stream, r);
    const uint32_t *next = r;
    return shuffle_and_scan_with(x, n, w, [&](uint32_t) { return *next++; });
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
