// The run's random draws: one SplitMix64 stream, seeded once per run. Draw k
// (k = 1, 2, ...) is a closed formula of the seed and k, so any stretch of
// the stream can be produced independently (one quartet per worker thread)
// and still be the same numbers a single sequential stream would give.
#pragma once

#include <cstdint>

namespace kelto {

inline constexpr uint64_t kSplitMixGamma = 0x9E3779B97F4A7C15ULL;

inline uint64_t splitmix_mix(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// Draw number k of the stream seeded with `seed`: the high half of the k-th
// SplitMix64 output. All arithmetic is modulo 2^64.
inline uint32_t draw_at(uint64_t seed, uint64_t k)
{
    return static_cast<uint32_t>(splitmix_mix(seed + k * kSplitMixGamma) >> 32);
}

// A position in the stream: next_draw() returns draw k+1 after draw k.
struct DrawStream {
    uint64_t state;  // seed + (number of draws taken) * gamma
};

// The stream positioned so that its next draw is draw number `first_draw`.
inline DrawStream stream_at(uint64_t seed, uint64_t first_draw)
{
    return DrawStream{seed + (first_draw - 1) * kSplitMixGamma};
}

inline uint32_t next_draw(DrawStream &stream)
{
    stream.state += kSplitMixGamma;
    return static_cast<uint32_t>(splitmix_mix(stream.state) >> 32);
}

}  // namespace kelto
