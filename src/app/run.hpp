// The program's entry as a library function: the whole run from the banner
// to the exit status, with its streams, seed and worker count given.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace kelto {

struct RunIo {
    FILE *menu_input = stdin;         // where the matrix option is read
    bool menu_input_is_terminal = false;  // typed-ahead input is discarded only on a terminal
    FILE *console = stdout;
    FILE *errors = stderr;            // option errors and the seed line
    FILE *progress = nullptr;         // a terminal for the progress line, or null
    bool console_is_terminal = false;  // the progress line is erased before console text
    // SIGINT, SIGTERM and SIGHUP stop the run cleanly once quartets start
    // (the program's entry); otherwise `stop`, when given, is the stop flag.
    bool handle_stop_signals = false;
    const std::atomic<int> *stop = nullptr;
};

// Runs the program with the command-line arguments argv[0 .. argc-1] and
// returns its exit status: 0 for a completed run, 1 when storage could not
// be obtained, 2 for every other stop. `clock_seed` seeds the draws unless
// --seed is given; `workers` is the thread count unless --threads is given.
int run(int argc, const char *const *argv, const RunIo &io, uint64_t clock_seed, int workers);

}  // namespace kelto
