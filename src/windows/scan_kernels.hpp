// The window scans of the family-wise test's arrangements: the lowest and
// highest of prefix[i + w] - prefix[i] for i = 0 .. count - 1, over 32-bit
// prefix sums, or over 16-bit ones taken modulo 2^16 (exact while every
// window sum lies strictly inside the 16-bit range). Vector versions for
// AVX2 (chosen at run time) and NEON; every version returns the same
// numbers.
#pragma once

#include <cstdint>

namespace kelto {

struct ScanExtremes {
    int32_t lowest;
    int32_t highest;
};

ScanExtremes plain_extremes(const int32_t *prefix, int count, int w);
ScanExtremes plain_extremes(const int16_t *prefix, int count, int w);

// True when this CPU runs vector_extremes.
bool family_vector_scan_available();

ScanExtremes vector_extremes(const int32_t *prefix, int count, int w);
ScanExtremes vector_extremes(const int16_t *prefix, int count, int w);

}  // namespace kelto
