// In-memory text output: every line of the program is produced with a
// printf-style format into a std::string, so a stage's text can be built
// anywhere (worker threads included) and written out later in order.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kelto {

// Appends the formatted text to out (like sprintf, but growing the string).
void appendf(std::string &out, const char *format, ...) __attribute__((format(printf, 2, 3)));

// A destination for text: an in-memory buffer that is written to a FILE*
// whenever it grows large and on flush(). With no file the text stays in
// memory (tests read it from `text`). A failed write is remembered in
// `failed`, never ignored.
struct TextSink {
    FILE *file = nullptr;
    std::string text;
    bool failed = false;
    bool quiet = false;  // sink_printf and sink_write drop the text; sink_message still writes
    uint64_t bytes = 0;  // bytes taken so far (with what the file held before, where set)
    FILE *errors = nullptr;  // standard error of the console sink: refusals and their causes
};

void sink_printf(TextSink &sink, const char *format, ...) __attribute__((format(printf, 2, 3)));
void sink_write(TextSink &sink, const std::string &text);
// Writes even to a quiet sink: messages of stops and errors.
void sink_message(TextSink &sink, const char *format, ...) __attribute__((format(printf, 2, 3)));
// A refusal or a cause: one line "kelto: TEXT" on the sink's error stream,
// after the sink's buffered text; without one, "\n TEXT.\n" in the sink.
void sink_error(TextSink &sink, const char *format, ...) __attribute__((format(printf, 2, 3)));
// Writes the buffered text to the file (if any) and flushes the stream.
// Returns false when a write failed now or earlier.
bool sink_flush(TextSink &sink);
// Flushes and asks the system to put the file's data on the disk (fsync).
// A file that cannot be synced (a pipe, /dev/null) is not an error.
bool sink_sync(TextSink &sink);

}  // namespace kelto
