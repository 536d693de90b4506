// The shuffle kernel with its draws made eight at a time (AVX-512): the
// SplitMix64 mixing and the exact reduction in vector registers, a few
// blocks ahead of the exchanges that take them (as in the avx2 kernel), so
// that the vector work overlaps the exchanges and the window scan; profiles
// too short for that make every draw first. Same draws, same results. On
// other architectures the wide entry is the scalar kernel and is never
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

#define KELTO_AVX512 __attribute__((always_inline, target("avx512f,avx512dq"))) inline

// The draws of one randomisation as they are made: the SplitMix64 states of
// the next eight, their steps, and the multipliers table.
struct WideAhead {
    __m512i states;
    __m512i steps;
    const uint64_t *multipliers;
    int n;
    int made;  // draws made so far
};

KELTO_AVX512 WideAhead wide_ahead(uint64_t state, int n, const uint64_t *multipliers)
{
    const __m512i states = _mm512_add_epi64(
        _mm512_set1_epi64(static_cast<long long>(state)),
        _mm512_mullo_epi64(_mm512_set1_epi64(static_cast<long long>(kSplitMixGamma)), _mm512_set_epi64(8, 7, 6, 5, 4, 3, 2, 1)));
    return WideAhead{states, _mm512_sub_epi64(_mm512_set1_epi64(n), _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0)),
                     multipliers, n, 0};
}

// The next eight draws, each reduced modulo its step, in 64-bit lanes.
KELTO_AVX512 __m512i make8(WideAhead &ahead)
{
    const __m512i mix1 = _mm512_set1_epi64(static_cast<long long>(0xBF58476D1CE4E5B9ULL));
    const __m512i mix2 = _mm512_set1_epi64(static_cast<long long>(0x94D049BB133111EBULL));
    const __m512i reverse = _mm512_set_epi64(0, 1, 2, 3, 4, 5, 6, 7);
    __m512i z = ahead.states;
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 30)), mix1);
    z = _mm512_mullo_epi64(_mm512_xor_si512(z, _mm512_srli_epi64(z, 27)), mix2);
    z = _mm512_xor_si512(z, _mm512_srli_epi64(z, 31));
    const __m512i draw = _mm512_srli_epi64(z, 32);
    // fastmod: low = M * draw mod 2^64, then the high 64 bits of low * step
    const __m512i m =
        _mm512_permutexvar_epi64(reverse, _mm512_loadu_si512(ahead.multipliers + ahead.n - ahead.made - 7));
    const __m512i low = _mm512_mullo_epi64(m, draw);
    const __m512i low_part = _mm512_mul_epu32(low, ahead.steps);
    const __m512i high_part = _mm512_mul_epu32(_mm512_srli_epi64(low, 32), ahead.steps);
    ahead.states = _mm512_add_epi64(ahead.states, _mm512_set1_epi64(static_cast<long long>(8 * kSplitMixGamma)));
    ahead.steps = _mm512_sub_epi64(ahead.steps, _mm512_set1_epi64(8));
    ahead.made += 8;
    return _mm512_srli_epi64(_mm512_add_epi64(high_part, _mm512_srli_epi64(low_part, 32)), 32);
}

#undef KELTO_AVX512

}  // namespace

__attribute__((target("avx512f,avx512dq"))) void reduced_draws_wide(int n, const uint64_t *multipliers,
                                                                    DrawStream &stream, uint32_t *r)
{
    const int limit = (n - 1) & ~7;
    WideAhead ahead = wide_ahead(stream.state, n, multipliers);
    for (int i = 0; i < limit; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(r + i), _mm512_cvtepi64_epi32(make8(ahead)));
    reduced_draws_after(stream.state, n, limit, multipliers, r);
    stream.state += static_cast<uint64_t>(n - 1) * kSplitMixGamma;
}

// The draws made eight at a time a few blocks ahead of the exchanges that
// take them, as in the avx2 kernel.
__attribute__((target("avx512f,avx512dq"))) WindowExtremes shuffle_and_scan_wide(int *x, int n, int w,
                                                                               const uint64_t *multipliers,
                                                                               DrawStream &stream)
{
    constexpr int kAhead = 24;  // draws made before the first exchange (at least 8)
    const int count = n - 1;
    const int limit = count & ~7;
    if (limit <= kAhead) {
        // every draw is made before the exchanges either way: the plain loop
        uint32_t all[kMaxKernelLength];
        reduced_draws_wide(n, multipliers, stream, all);
        const uint32_t *taken = all;
        return shuffle_and_scan_with(x, n, w, [&](uint32_t) { return *taken++; });
    }
    uint64_t r[kMaxKernelLength];  // reduced draws, one per 64-bit lane
    WideAhead ahead = wide_ahead(stream.state, n, multipliers);
    const auto make = [&]() __attribute__((always_inline, target("avx512f,avx512dq"))) {
        uint64_t *to = r + ahead.made;
        _mm512_storeu_si512(to, make8(ahead));
    };
    while (ahead.made < limit && ahead.made < kAhead)
        make();
    reduced_draws_after(stream.state, n, limit, multipliers, r);
    stream.state += static_cast<uint64_t>(count) * kSplitMixGamma;
    const auto prepare = [&]() __attribute__((always_inline, target("avx512f,avx512dq"))) {
        if (ahead.made < limit)
            make();
    };
    const uint64_t *next = r;
    int sum = 0;
    int i = 0;
    for (; i + 8 <= w; i += 8) {
        prepare();
        for (int u = 0; u < 8; ++u)
            sum += exchange_next(x, next, n - 1 - i - u);
    }
    const int split_end = i + 8;
    if (split_end <= count)
        prepare();
    for (; i < w; ++i)
        sum += exchange_next(x, next, n - 1 - i);
    int lowest = sum;
    int highest = sum;
    const auto slide = [&](int j) __attribute__((always_inline, target("avx512f,avx512dq"))) {
        sum += exchange_next(x, next, j) - x[j + w];
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
