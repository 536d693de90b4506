// The shuffle kernel with its draws computed eight at a time (AVX-512): the
// SplitMix64 mixing and the exact reduction of every draw of a
// randomisation are done first in vector registers, then the exchanges and
// the window scan run as in the scalar kernel. Same draws, same results.
// On other architectures the wide entry is the scalar kernel and is never
// reported available (kernel_choice.cpp).
#include "windows/kernel.hpp"

#if defined(__x86_64__)
#include <immintrin.h>

// GCC 12 takes the intrinsics' deliberately undefined start values for
// uninitialised variables.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#endif

namespace kelto {

#if defined(__x86_64__)

namespace {

// r[i] = draw (i+1 after `state`) reduced modulo its step n - i, for
// i = 0 .. n-2.
__attribute__((target("avx512f,avx512dq"))) void reduced_draws(uint64_t state, int n, const uint64_t *multipliers,
                                                               uint32_t *r)
{
    const __m512i mix1 = _mm512_set1_epi64(static_cast<long long>(0xBF58476D1CE4E5B9ULL));
    const __m512i mix2 = _mm512_set1_epi64(static_cast<long long>(0x94D049BB133111EBULL));
    const __m512i gamma8 = _mm512_set1_epi64(static_cast<long long>(8 * kSplitMixGamma));
    const __m512i eight = _mm512_set1_epi64(8);
    const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    __m512i states = _mm512_add_epi64(
        _mm512_set1_epi64(static_cast<long long>(state)),
        _mm512_mullo_epi64(_mm512_set1_epi64(static_cast<long long>(kSplitMixGamma)), _mm512_set_epi64(8, 7, 6, 5, 4, 3, 2, 1)));
    __m512i steps = _mm512_sub_epi64(_mm512_set1_epi64(n), _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0));
    int i = 0;
    for (; i + 8 <= n - 1; i += 8) {
        __m512i z = states;
        z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 30)), mix1);
        z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 27)), mix2);
        z = _mm512_xor_si512(z, _mm512_srli_epi64(z, 31));
        const __m512i draw = _mm512_srli_epi64(z, 32);
        // fastmod: low = M * draw mod 2^64, then the high 64 bits of low * step
        const __m512i m = _mm512_permutexvar_epi64(reverse, _mm512_loadu_si512(multipliers + n - i - 7));
        const __m512i low = _mm512_mullo_epi64(m, draw);
        const __m512i low_part = _mm512_mul_epu32(low, steps);
        const __m512i high_part = _mm512_mul_epu32(_mm512_srli_epi64(low, 32), steps);
        const __m512i reduced = _mm512_srli_epi64(_mm512_add_epi64(high_part, _mm512_srli_epi64(low_part, 32)), 32);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(r + i), _mm512_cvtepi64_epi32(reduced));
        states = _mm512_add_epi64(states, gamma8);
        steps = _mm512_sub_epi64(steps, eight);
    }
    state += static_cast<uint64_t>(i) * kSplitMixGamma;
    for (; i < n - 1; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
}

}  // namespace

void reduced_draws_wide(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws(stream.state, n, multipliers, r);
    stream.state += static_cast<uint64_t>(n - 1) * kSplitMixGamma;
}

WindowExtremes shuffle_and_scan_wide(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    uint32_t r[kMaxKernelLength];
    reduced_draws_wide(n, multipliers, stream, r);
    const uint32_t *next = r;
    return shuffle_and_scan_with(x, n, w, [&](uint32_t) { return *next++; });
}

#else

void reduced_draws_wide(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws_scalar(n, multipliers, stream, r);
}

WindowExtremes shuffle_and_scan_wide(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    return shuffle_and_scan(x, n, w, multipliers, stream);
}

#endif

}  // namespace kelto
