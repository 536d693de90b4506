// Which randomisation kernel runs: what this CPU offers, the order of
// preference, and the KELTO_KERNEL override.
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>

#include "windows/kernel.hpp"

namespace kelto {

namespace {

constexpr KernelKind kAllKernels[] = {KernelKind::kAvx512, KernelKind::kAvx2, KernelKind::kNeon, KernelKind::kScalar};

std::atomic<int> chosen{-1};  // -1: not set, best_kernel()

}  // namespace

bool kernel_available(KernelKind kind)
{
    switch (kind) {
    case KernelKind::kScalar: return true;
#if defined(__x86_64__)
    case KernelKind::kAvx512: return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
    case KernelKind::kAvx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    case KernelKind::kNeon: return false;
#elif defined(__aarch64__)
    case KernelKind::kAvx512:
    case KernelKind::kAvx2: return false;
    case KernelKind::kNeon: return true;  // every ARM64 CPU has Advanced SIMD
#else
    default: return false;
#endif
    }
    return false;
}

const char *kernel_name(KernelKind kind)
{
    switch (kind) {
    case KernelKind::kAvx512: return "avx512";
    case KernelKind::kAvx2: return "avx2";
    case KernelKind::kNeon: return "neon";
    case KernelKind::kScalar: return "scalar";
    }
    return "scalar";
}

KernelKind best_kernel()
{
    for (KernelKind kind : kAllKernels)
        if (kernel_available(kind))
            return kind;
    return KernelKind::kScalar;
}

bool choose_kernel(const char *forced, KernelKind &kind, std::string &error)
{
    if (forced == nullptr || *forced == '\0') {
        kind = best_kernel();
        return true;
    }
    for (KernelKind candidate : kAllKernels) {
        if (std::strcmp(forced, kernel_name(candidate)) != 0)
            continue;
        if (!kernel_available(candidate)) {
            error = std::string("KELTO_KERNEL=") + forced + ": this CPU cannot run the " + forced + " kernel";
            return false;
        }
        kind = candidate;
        return true;
    }
    error = std::string("KELTO_KERNEL=") + forced + ": no such kernel (scalar, avx2, avx512 or neon)";
    return false;
}

KernelKind active_kernel()
{
    const int value = chosen.load(std::memory_order_relaxed);
    return value < 0 ? best_kernel() : static_cast<KernelKind>(value);
}

void set_active_kernel(KernelKind kind) { chosen.store(static_cast<int>(kind), std::memory_order_relaxed); }

KernelFunction kernel_function(KernelKind kind)
{
    switch (kind) {
    case KernelKind::kAvx512: return shuffle_and_scan_wide;
    case KernelKind::kAvx2: return shuffle_and_scan_avx2;
    case KernelKind::kNeon: return shuffle_and_scan_neon;
    case KernelKind::kScalar: return shuffle_and_scan;
    }
    return shuffle_and_scan;
}

void reduced_draws_scalar(int n, const uint64_t *multipliers, DrawStream &stream, uint32_t *r)
{
    reduced_draws_after(stream.state, n, 0, multipliers, r);
    stream.state += static_cast<uint64_t>(n - 1) * kSplitMixGamma;
}

DrawFunction draw_function(KernelKind kind)
{
    switch (kind) {
    case KernelKind::kAvx512: return reduced_draws_wide;
    case KernelKind::kAvx2: return reduced_draws_avx2;
    case KernelKind::kNeon: return reduced_draws_neon;
    case KernelKind::kScalar: return reduced_draws_scalar;
    }
    return reduced_draws_scalar;
}

const double *kernel_reciprocals()
{
    static const std::array<double, kMaxKernelLength + 2> table = [] {
        std::array<double, kMaxKernelLength + 2> values{};
        for (int d = 2; d <= kMaxKernelLength + 1; ++d) {
            // rounded up: the smallest double not below 1/d
            double reciprocal = 1.0 / d;
            if (std::fma(reciprocal, d, -1.0) < 0)
                reciprocal = std::nextafter(reciprocal, 1.0);
            values[static_cast<std::size_t>(d)] = reciprocal;
        }
        return values;
    }();
    return table.data();
}

const double *kernel_reciprocals_descending()
{
    static const std::array<double, kMaxKernelLength + 2> table = [] {
        std::array<double, kMaxKernelLength + 2> values{};
        for (int k = 0; k <= kMaxKernelLength - 1; ++k)
            values[static_cast<std::size_t>(k)] = kernel_reciprocals()[kMaxKernelLength + 1 - k];
        return values;
    }();
    return table.data();
}

}  // namespace kelto
