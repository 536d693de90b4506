// A progress line on a terminal: quartets done, elapsed time, time left.
#pragma once

#include <chrono>
#include <cstdio>

#include "common/text.hpp"

namespace kelto {

struct Progress {
    FILE *stream = nullptr;  // null: no progress line at all
    long long total = 0;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point last_drawn;
    bool visible = false;
};

Progress progress_start(FILE *stream, long long total);

// Redraws the line (at most a few times a second) after `done` quartets.
// The console is flushed first so the line never cuts into its text.
void progress_update(Progress &progress, long long done, TextSink &console);

// Removes the line, if shown, so that console text starts on a clean line.
void progress_erase(Progress &progress);

}  // namespace kelto
