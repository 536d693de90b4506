// Wall-clock time of the scalar kernel (shuffle_and_scan) per shuffled
// position, with no benchmark library: it builds wherever the program does,
// cross builds included, and runs under an emulator. Same profiles and
// window size as bench_kernel (values in -30..30, w = N/2).
//   kelto_kernel_timing [POSITIONS]   (shuffled positions per N, default 3e7)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "windows/kernel.hpp"
#include "windows/random.hpp"

int main(int argc, char **argv)
{
    const double positions = argc > 1 ? std::atof(argv[1]) : 3e7;
    if (!(positions >= 1e3)) {
        std::fprintf(stderr, "usage: kelto_kernel_timing [POSITIONS >= 1000]\n");
        return 2;
    }
#if defined(__x86_64__)
    const char *arch = "x86-64";
#elif defined(__aarch64__)
    const char *arch = "aarch64";
#else
    const char *arch = "other";
#endif
    std::printf("scalar kernel on %s: ns per shuffled position (wall clock)\n", arch);
    for (const int n : {100, 300, 1000}) {
        std::mt19937_64 engine(static_cast<uint64_t>(n) * 7919U + 17U);
        std::uniform_int_distribution<int> value(-30, 30);
        std::vector<int> x(static_cast<std::size_t>(n));
        for (int &v : x)
            v = value(engine);
        const std::vector<uint64_t> multipliers = kelto::fastmod_table(n);
        kelto::DrawStream stream = kelto::stream_at(0x5EED5EED12345678ULL, 1);
        const long long randomisations = static_cast<long long>(positions / (n - 1)) + 1;
        long long checksum = 0;
        const auto start = std::chrono::steady_clock::now();
        for (long long r = 0; r < randomisations; ++r) {
            const kelto::WindowExtremes e = kelto::shuffle_and_scan(x.data(), n, n / 2, multipliers.data(), stream);
            checksum += e.highest - e.lowest;
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("N = %4d: %6.2f ns  (%lld randomisations, checksum %lld)\n", n,
                    seconds * 1e9 / (static_cast<double>(randomisations) * (n - 1)), randomisations, checksum);
    }
    return 0;
}
