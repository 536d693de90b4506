// The process's streams and stop flag as a run sees them.
#pragma once

#include <atomic>
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

}  // namespace kelto
