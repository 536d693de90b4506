// A progress line on a terminal: quartets done, elapsed time, time left.
#pragma once

#include <chrono>
#include <cstdio>

#include "common/text.hpp"

namespace kelto {

struct Progress {
    FILE *stream = nullptr;  // null: no progress line at all
    bool shares_console = false;  // the console is the same terminal: erase before its text
    long long total = 0;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_drawn;
    bool visible = false;
};

Progress progress_start(FILE *stream, bool shares_console, long long total);

// Redraws the line (at most a few times a second) after `done` quartets.
// The console is flushed first so the line never cuts into its text.
void progress_update(Progress &progress, long long done, TextSink &console);

// Before console text: removes the line if the console shares its terminal.
void progress_before_console(Progress &progress);

// Removes the line, if shown.
void progress_erase(Progress &progress);

}  // namespace kelto
