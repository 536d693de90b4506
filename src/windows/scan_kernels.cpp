// Window extremes over prefix sums, scalar and vector.
#include "windows/scan_kernels.hpp"

#include <algorithm>
#include <climits>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace kelto {

namespace {

inline int32_t window_sum(const int32_t *prefix, int i, int w) { return prefix[i + w] - prefix[i]; }

inline int32_t window_sum(const int16_t *prefix, int i, int w)
{
    return static_cast<int16_t>(static_cast<uint16_t>(prefix[i + w]) - static_cast<uint16_t>(prefix[i]));
}

template <typename Prefix>
ScanExtremes finish(ScanExtremes e, const Prefix *prefix, int i, int count, int w)
{
    for (; i < count; ++i) {
        const int32_t sum = window_sum(prefix, i, w);
        e.lowest = std::min(e.lowest, sum);
        e.highest = std::max(e.highest, sum);
    }
    return e;
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) inline __m256i load(const void *at)
{
    return _mm256_loadu_si256(static_cast<const __m256i *>(at));
}

// The smallest and largest 16-bit lane, by folding halves.
__attribute__((target("avx2"))) ScanExtremes fold16(__m256i low, __m256i high)
{
    __m128i l = _mm_min_epi16(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
    __m128i h = _mm_max_epi16(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
    l = _mm_min_epi16(l, _mm_shuffle_epi32(l, 0x4E));
    h = _mm_max_epi16(h, _mm_shuffle_epi32(h, 0x4E));
    l = _mm_min_epi16(l, _mm_shuffle_epi32(l, 0xB1));
    h = _mm_max_epi16(h, _mm_shuffle_epi32(h, 0xB1));
    l = _mm_min_epi16(l, _mm_shufflelo_epi16(l, 0xB1));
    h = _mm_max_epi16(h, _mm_shufflelo_epi16(h, 0xB1));
    return ScanExtremes{static_cast<int16_t>(_mm_extract_epi16(l, 0)), static_cast<int16_t>(_mm_extract_epi16(h, 0))};
}

__attribute__((target("avx2"))) ScanExtremes fold32(__m256i low, __m256i high)
{
    __m128i l = _mm_min_epi32(_mm256_castsi256_si128(low), _mm256_extracti128_si256(low, 1));
    __m128i h = _mm_max_epi32(_mm256_castsi256_si128(high), _mm256_extracti128_si256(high, 1));
    l = _mm_min_epi32(l, _mm_shuffle_epi32(l, 0x4E));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, 0x4E));
    l = _mm_min_epi32(l, _mm_shuffle_epi32(l, 0xB1));
    h = _mm_max_epi32(h, _mm_shuffle_epi32(h, 0xB1));
    return ScanExtremes{_mm_cvtsi128_si32(l), _mm_cvtsi128_si32(h)};
}
#endif

}  // namespace

ScanExtremes plain_extremes(const int32_t *prefix, int count, int w)
{
    return finish(ScanExtremes{INT32_MAX, INT32_MIN}, prefix, 0, count, w);
}

ScanExtremes plain_extremes(const int16_t *prefix, int count, int w)
{
    return finish(ScanExtremes{INT32_MAX, INT32_MIN}, prefix, 0, count, w);
}

#if defined(__x86_64__)

bool family_vector_scan_available() { return __builtin_cpu_supports("avx2"); }

__attribute__((target("avx2"))) ScanExtremes vector_extremes(const int32_t *prefix, int count, int w)
{
    if (count < 8)
        return plain_extremes(prefix, count, w);
    __m256i low = _mm256_set1_epi32(INT32_MAX), high = _mm256_set1_epi32(INT32_MIN);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i sum = _mm256_sub_epi32(load(prefix + i + w), load(prefix + i));
        low = _mm256_min_epi32(low, sum);
        high = _mm256_max_epi32(high, sum);
    }
    return finish(fold32(low, high), prefix, i, count, w);
}

__attribute__((target("avx2"))) ScanExtremes vector_extremes(const int16_t *prefix, int count, int w)
{
    if (count < 16)
        return plain_extremes(prefix, count, w);
    __m256i low = _mm256_set1_epi16(INT16_MAX), high = _mm256_set1_epi16(INT16_MIN);
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m256i sum = _mm256_sub_epi16(load(prefix + i + w), load(prefix + i));
        low = _mm256_min_epi16(low, sum);
        high = _mm256_max_epi16(high, sum);
    }
    return finish(fold16(low, high), prefix, i, count, w);
}

#elif defined(__aarch64__)

bool family_vector_scan_available() { return true; }

ScanExtremes vector_extremes(const int32_t *prefix, int count, int w)
{
    int32x4_t low = vdupq_n_s32(INT32_MAX), high = vdupq_n_s32(INT32_MIN);
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const int32x4_t sum = vsubq_s32(vld1q_s32(prefix + i + w), vld1q_s32(prefix + i));
        low = vminq_s32(low, sum);
        high = vmaxq_s32(high, sum);
    }
    return finish(ScanExtremes{vminvq_s32(low), vmaxvq_s32(high)}, prefix, i, count, w);
}

ScanExtremes vector_extremes(const int16_t *prefix, int count, int w)
{
    int16x8_t low = vdupq_n_s16(INT16_MAX), high = vdupq_n_s16(INT16_MIN);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const int16x8_t sum = vsubq_s16(vld1q_s16(prefix + i + w), vld1q_s16(prefix + i));
        low = vminq_s16(low, sum);
        high = vmaxq_s16(high, sum);
    }
    return finish(ScanExtremes{vminvq_s16(low), vmaxvq_s16(high)}, prefix, i, count, w);
}

#else

bool family_vector_scan_available() { return false; }
ScanExtremes vector_extremes(const int32_t *prefix, int count, int w) { return plain_extremes(prefix, count, w); }
ScanExtremes vector_extremes(const int16_t *prefix, int count, int w) { return plain_extremes(prefix, count, w); }

#endif

}  // namespace kelto
