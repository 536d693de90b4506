// The shuffle kernel with its draws computed two at a time (NEON, ARM64):
// the SplitMix64 mixing of every draw of a randomisation (64-bit multiplies
// built from 32-bit ones) and the exact reduction in doubles
// (reciprocal_mod) are done first in vector registers, then the exchanges
// and the window scan run as in the scalar kernel. Same draws, same results.
#include "windows/kernel.hpp"

#if defined(__aarch64__)
#include <arm_neon.h>
#endif

namespace kelto {

#if defined(__aarch64__)

namespace {

// a * b mod 2^64 in each lane, b given as its low and high 32-bit halves.
inline uint64x2_t multiply64(uint64x2_t a, uint32x2_t b_low, uint32x2_t b_high)
{
    const uint32x2_t a_low = vmovn_u64(a);
    const uint32x2_t a_high = vshrn_n_u64(a, 32);
    const uint64x2_t cross = vmlal_u32(vmull_u32(a_high, b_low), a_low, b_high);
    return vaddq_u64(vmull_u32(a_low, b_low), vshlq_n_u64(cross, 32));
}

// draw mod step in each lane as reciprocal_mod computes it (the reciprocals
// are rounded up, so the quotient needs no correction).
inline uint32x2_t reduce(float64x2_t draw, float64x2_t reciprocal, float64x2_t steps)
{
    const float64x2_t quotient = vrndmq_f64(vmulq_f64(draw, reciprocal));
    return vmovn_u64(vcvtq_u64_f64(vsubq_f64(draw, vmulq_f64(quotient, steps))));
}

// r[i] = draw (i+1 after `state`) reduced modulo its step n - i, for
// i = 0 .. n-2.
void reduced_draws(uint64_t state, int n, const uint64_t *multipliers, uint32_t *r)
{
    constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ULL;
    constexpr uint64_t kMix2 = 0x94D049BB133111EBULL;
    const uint32x2_t mix1_low = vdup_n_u32(static_cast<uint32_t>(kMix1));
    const uint32x2_t mix1_high = vdup_n_u32(static_cast<uint32_t>(kMix1 >> 32));
    const uint32x2_t mix2_low = vdup_n_u32(static_cast<uint32_t>(kMix2));
    const uint32x2_t mix2_high = vdup_n_u32(static_cast<uint32_t>(kMix2 >> 32));
    const uint64x2_t gamma2 = vdupq_n_u64(2 * kSplitMixGamma);
    const float64x2_t two = vdupq_n_f64(2.0);
    const double *reciprocals = kernel_reciprocals();
    const uint64_t first_states[2] = {state + kSplitMixGamma, state + 2 * kSplitMixGamma};
    uint64x2_t states = vld1q_u64(first_states);
    const double first_steps[2] = {static_cast<double>(n), static_cast<double>(n - 1)};
    float64x2_t steps = vld1q_f64(first_steps);
    int i = 0;
    for (; i + 2 <= n - 1; i += 2) {
        uint64x2_t z = states;
        z = multiply64(veorq_u64(z, vshrq_n_u64(z, 30)), mix1_low, mix1_high);
        z = multiply64(veorq_u64(z, vshrq_n_u64(z, 27)), mix2_low, mix2_high);
        z = veorq_u64(z, vshrq_n_u64(z, 31));
        const float64x2_t draw = vcvtq_f64_u64(vshrq_n_u64(z, 32));  // exact below 2^53
        // steps n-i, n-i-1 take the reciprocals stored at n-i-1, n-i
        const float64x2_t stored = vld1q_f64(reciprocals + n - i - 1);
        const float64x2_t reciprocal = vextq_f64(stored, stored, 1);
        vst1_u32(r + i, reduce(draw, reciprocal, steps));
        states = vaddq_u64(states, gamma2);
        steps = vsubq_f64(steps, two);
    }
    state += static_cast<uint64_t>(i) * kSplitMixGamma;
    for (; i < n - 1; ++i) {
        state += kSplitMixGamma;
        const uint32_t step = static_cast<uint32_t>(n - i);
        r[i] = fastmod(static_cast<uint32_t>(splitmix_mix(state) >> 32), multipliers[step], step);
    }
}

}  // namespace

void reduce_neon(const uint32_t *a, int count, uint32_t d, uint32_t *out)
{
    const float64x2_t reciprocal = vdupq_n_f64(kernel_reciprocals()[d]);
    const float64x2_t steps = vdupq_n_f64(static_cast<double>(d));
    for (int i = 0; i + 2 <= count; i += 2)
        vst1_u32(out + i, reduce(vcvtq_f64_u64(vmovl_u32(vld1_u32(a + i))), reciprocal, steps));
}

void reduced_draws_neon(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws(stream.state, n, multipliers, r);
    stream.state += static_cast<uint64_t>(n - 1) * kSplitMixGamma;
}

WindowExtremes shuffle_and_scan_neon(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    uint32_t r[kMaxKernelLength];
    reduced_draws_neon(n, multipliers, stream, r);
    const uint32_t *next = r;
    return shuffle_and_scan_with(x, n, w, [&](uint32_t) { return *next++; });
}

#else

void reduce_neon(const uint32_t *a, int count, uint32_t d, uint32_t *out)
{
    for (int i = 0; i < count; ++i)
        out[i] = reciprocal_mod(a[i], d, kernel_reciprocals()[d]);
}

void reduced_draws_neon(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws_scalar(n, multipliers, stream, r);
}

WindowExtremes shuffle_and_scan_neon(int *x, int n, int w, const uint64_t *multipliers, DrawStream &stream)
{
    return shuffle_and_scan(x, n, w, multipliers, stream);
}

#endif

}  // namespace kelto
