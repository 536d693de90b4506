// The shuffle kernel with its draws made in vector registers (AVX2 and
// FMA): the SplitMix64 mixing eight draws at a time (64-bit multiplies built
// from 32-bit ones) and the exact reduction in doubles (reciprocal_mod),
// done a few blocks ahead of the exchanges that take them, so that the
// vector work overlaps the exchanges and the window scan. Same draws, same
// arrangements, same results as the scalar kernel.
#include "windows/kernel.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kelto {

#if defined(__x86_64__)

namespace {

#define KELTO_AVX2 __attribute__((always_inline, target("avx2,fma"))) inline

// a * b mod 2^64 in each lane, b_swapped holding b's halves exchanged: one
// 32-bit multiply gives both cross products.
KELTO_AVX2 __m256i multiply64(__m256i a, __m256i b, __m256i b_swapped)
{
    const __m256i cross = _mm256_mullo_epi32(a, b_swapped);
    const __m256i sum = _mm256_add_epi64(cross, _mm256_srli_epi64(cross, 32));
    return _mm256_add_epi64(_mm256_mul_epu32(a, b), _mm256_slli_epi64(sum, 32));
}

// Only the high 32 bits of the same product, in each lane's high half (its
// low half is not the product's): 32-bit sums of the low product's high
// half and the two cross products.
KELTO_AVX2 __m256i multiply64_high(__m256i a, __m256i b, __m256i b_swapped)
{
    const __m256i cross = _mm256_mullo_epi32(a, b_swapped);
    const __m256i sum = _mm256_add_epi32(_mm256_mul_epu32(a, b), cross);
    return _mm256_add_epi32(sum, _mm256_slli_epi64(cross, 32));
}

// a mod step in each lane, for 32-bit a zero-extended to 64 bits, as
// reciprocal_mod computes it (the reciprocals are rounded up, so the
// quotient needs no correction). The remainder r comes back as the bits of
// the double 2^52 + r, whose low 32 bits are r: 2^52 + a is the bits of a
// with those of 2^52, and 2^52 + a - q * step is exact.
KELTO_AVX2 __m256i reduce(__m256i a, __m256d reciprocal, __m256d steps)
{
    const __m256d biased = _mm256_castsi256_pd(_mm256_or_si256(a, _mm256_set1_epi64x(0x4330000000000000LL)));
    const __m256d draw = _mm256_sub_pd(biased, _mm256_set1_pd(4503599627370496.0));
    const __m256d quotient = _mm256_floor_pd(_mm256_mul_pd(draw, reciprocal));
    return _mm256_castpd_si256(_mm256_fnmadd_pd(quotient, steps, biased));
}

KELTO_AVX2 __m256i load4(const uint32_t *a)
{
    return _mm256_cvtepu32_epi64(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a)));
}

// The low 32 bits of the four lanes, in order.
KELTO_AVX2 void store_low_halves(uint32_t *out, __m256i lanes)
{
    const __m256i low = _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(low));
}

// The draws of one randomisation as they are made: the SplitMix64 states of
// the next eight draws to mix (lanes of `low` hold draws 0, 1, 4, 5 of the
// eight and `high` draws 2, 3, 6, 7, so that one shuffle of their high
// halves gives the eight in order), and the reciprocals and steps of the
// next four to reduce.
struct DrawAhead {
    __m256i low;
    __m256i high;
    const double *reciprocals;
    __m256d steps;
};

KELTO_AVX2 DrawAhead draw_ahead(uint64_t state, int n)
{
    const auto at = [state](uint64_t k) { return static_cast<long long>(state + k * kSplitMixGamma); };
    return DrawAhead{_mm256_set_epi64x(at(6), at(5), at(2), at(1)), _mm256_set_epi64x(at(8), at(7), at(4), at(3)),
                     kernel_reciprocals_descending() + (kMaxKernelLength + 1 - n),
                     _mm256_sub_pd(_mm256_set1_pd(n), _mm256_set_pd(3, 2, 1, 0))};
}

// The next eight 32-bit draws.
KELTO_AVX2 void mix8(DrawAhead &ahead, uint32_t *draws)
{
    constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ULL;
    constexpr uint64_t kMix2 = 0x94D049BB133111EBULL;
    const __m256i mix1 = _mm256_set1_epi64x(static_cast<long long>(kMix1));
    const __m256i mix2 = _mm256_set1_epi64x(static_cast<long long>(kMix2));
    const __m256i mix1_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix1 << 32) | (kMix1 >> 32)));
    const __m256i mix2_swapped = _mm256_set1_epi64x(static_cast<long long>((kMix2 << 32) | (kMix2 >> 32)));
    __m256i a = ahead.low;
    __m256i b = ahead.high;
    a = multiply64(_mm256_xor_si256(a, _mm256_srli_epi64(a, 30)), mix1, mix1_swapped);
    b = multiply64(_mm256_xor_si256(b, _mm256_srli_epi64(b, 30)), mix1, mix1_swapped);
    a = multiply64_high(_mm256_xor_si256(a, _mm256_srli_epi64(a, 27)), mix2, mix2_swapped);
    b = multiply64_high(_mm256_xor_si256(b, _mm256_srli_epi64(b, 27)), mix2, mix2_swapped);
    // the high halves, then z ^ (z >> 31) seen through its high half
    __m256i h = _mm256_castps_si256(_mm256_shuffle_ps(_mm256_castsi256_ps(a), _mm256_castsi256_ps(b), 0xDD));
    h = _mm256_xor_si256(h, _mm256_srli_epi32(h, 31));
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(draws), h);
    const __m256i gamma8 = _mm256_set1_epi64x(static_cast<long long>(8 * kSplitMixGamma));
    ahead.low = _mm256_add_epi64(ahead.low, gamma8);
    ahead.high = _mm256_add_epi64(ahead.high, gamma8);
}

// The next four mixed draws reduced, as reduce gives them.
KELTO_AVX2 __m256i reduce4(DrawAhead &ahead, const uint32_t *draws)
{
    const __m256i reduced = reduce(load4(draws), _mm256_loadu_pd(ahead.reciprocals), ahead.steps);
    ahead.reciprocals += 4;
    ahead.steps = _mm256_sub_pd(ahead.steps, _mm256_set1_pd(4.0));
    return reduced;
}

#undef KELTO_AVX2

}  // namespace

__attribute__((target("avx2,fma"))) void reduce_avx2(const uint32_t *a, int count, uint32_t d, uint32_t *out)
{
    const __m256d reciprocal = _mm256_set1_pd(kernel_reciprocals()[d]);
    const __m256d steps = _mm256_set1_pd(static_cast<double>(d));
    for (int i = 0; i + 4 <= count; i += 4)
        store_low_halves(out + i, reduce(load4(a + i), reciprocal, steps));
}

// All draws of a randomisation mixed first, then reduced in place.
__attribute__((target("avx2,fma"))) void reduced_draws_avx2(int n, const uint64_t *multipliers, DrawStream &stream,
                                                           uint32_t *r)
{
    const int limit = (n - 1) & ~7;
    DrawAhead ahead = draw_ahead(stream.state, n);
    for (int i = 0; i < limit; i += 8)
        mix8(ahead, r + i);
    for (int i = 0; i < limit; i += 4)
        store_low_halves(r + i, reduce4(ahead, r + i));
    reduced_draws_after(stream.state, n, limit, multipliers, r);
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
    uint64_t r[kMaxKernelLength];  // reduced draws in the low halves
    const int count = n - 1;
    const int limit = count & ~7;
    DrawAhead ahead = draw_ahead(stream.state, n);
    const auto reduce8 = [&](int at) __attribute__((always_inline, target("avx2,fma"))) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(r + at), reduce4(ahead, draws + at));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(r + at + 4), reduce4(ahead, draws + at + 4));
    };
    int mixed = 0;
    int reduced = 0;
    for (; mixed < limit && mixed < kMixAhead; mixed += 8)
        mix8(ahead, draws + mixed);
    for (; reduced < limit && reduced < kReduceAhead; reduced += 8)
        reduce8(reduced);
    reduced_draws_after(stream.state, n, limit, multipliers, r);
    stream.state += static_cast<uint64_t>(count) * kSplitMixGamma;
    const auto prepare = [&]() __attribute__((always_inline, target("avx2,fma"))) {
        if (mixed < limit) {
            mix8(ahead, draws + mixed);
            mixed += 8;
        }
        if (reduced < limit) {
            reduce8(reduced);
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
            sum += exchange_next(x, next, n - 1 - i - u);
    }
    const int split_end = i + 8;
    if (split_end <= count)
        prepare();
    for (; i < w; ++i)
        sum += exchange_next(x, next, n - 1 - i);
    int lowest = sum;
    int highest = sum;
    const auto slide = [&](int j) __attribute__((always_inline, target("avx2,fma"))) {
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
