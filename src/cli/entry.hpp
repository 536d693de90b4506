// The program's entry as a library function: the command line read, then
// the run, `kelto merge` or `kelto html`, with the streams, seed and worker
// count given.
#pragma once

#include <cstdint>

#include "common/run_io.hpp"

namespace kelto {

// Runs the program with the command-line arguments argv[0 .. argc-1] and
// returns its exit status: 0 for a completed run, 1 when storage could not
// be obtained, 128 + N after signal N, 2 for every other stop. `clock_seed`
// seeds the draws unless --seed is given; `workers` is the thread count
// unless --threads is given.
int run(int argc, const char *const *argv, const RunIo &io, uint64_t clock_seed, int workers);

}  // namespace kelto
