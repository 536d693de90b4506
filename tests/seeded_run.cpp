// The program with its seed and worker count taken from the command line:
//   kelto_seeded SEED WORKERS IN_FILE OUT_FILE T
// The matrix option is read from standard input as usual. Two builds given
// the same arguments and input must write the same report and console bytes.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/run.hpp"

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fprintf(stderr, "usage: kelto_seeded SEED WORKERS IN_FILE OUT_FILE T\n");
        return 2;
    }
    char *end = nullptr;
    errno = 0;
    const unsigned long long seed = std::strtoull(argv[1], &end, 10);
    if (errno != 0 || end == argv[1] || *end != '\0') {
        std::fprintf(stderr, "kelto_seeded: bad seed %s\n", argv[1]);
        return 2;
    }
    const long workers = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || workers < 1 || workers > 256) {
        std::fprintf(stderr, "kelto_seeded: bad worker count %s\n", argv[2]);
        return 2;
    }
    const char *const run_argv[] = {"kelto", argv[3], argv[4], argv[5]};
    const kelto::RunIo io;
    return kelto::run(4, run_argv, io, static_cast<uint64_t>(seed), static_cast<int>(workers));
}
