// Runs every quartet of the run on a pool of worker threads and writes their
// texts strictly in quartet order.
#pragma once

#include <chrono>
#include <cstdio>

#include "run/analysis.hpp"
#include "common/compress.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "windows/quartet_order.hpp"

namespace kelto {

// Where the progress line goes: a terminal, or nowhere (null stream).
struct ProgressTarget {
    FILE *stream = nullptr;
    bool shares_console = false;  // the console writes to the same terminal
};

// Where each finished quartet goes, in quartet order: its console and
// report texts, and its JSON line and TSV rows when those files are written.
struct QuartetSinks {
    TextSink *console = nullptr;
    TextSink *report = nullptr;
    TextSink *json = nullptr;  // null: no JSON Lines record
    TextSink *tsv = nullptr;   // null: no TSV file
    uint64_t tsv_bytes = 0;    // the TSV's length so far, kept also without a TSV file
    // Compressed files: each quartet's report text and TSV rows are one unit
    // each, compressed by the worker that analysed it; the record's lines one
    // unit each, compressed by the writer. Lengths and checksums are those of
    // the bytes in the files.
    Compression report_compression = Compression::kNone;
    Compression tsv_compression = Compression::kNone;
    Packer *json_packer = nullptr;  // null: a plain record
    // With a JSON or TSV file, the report and TSV are flushed after every
    // quartet, then the JSON line, so that the JSON file never describes
    // more than the report holds; all three are also synced at least this
    // often, so that a power cut loses at most the last seconds of work.
    std::chrono::steady_clock::duration sync_interval = std::chrono::seconds(10);
    std::chrono::steady_clock::time_point last_sync = std::chrono::steady_clock::now();
    long long syncs = 0;  // times the files were synced during the run
};

struct QuartetsOutcome {
    Status status = Status::kContinue;
    StopReason reason = StopReason::kNone;
    long long written = 0;  // quartets written out
};

// Quartets are the pairs (a, b), a < b, ordered by a and then b. The output
// is byte-identical for any number of workers: each quartet's draws come
// from its own stretch of the run's stream, whatever range is analysed.
// Stops after the quartet whose analysis hit a limit, writing nothing of
// later quartets; a sink that cannot be written stops the run with
// kWriteError. A progress line is kept on the target's stream, erased before
// console text that goes to the same terminal.
// `scores` are the pair scores of every pair under the run's matrix.
QuartetsOutcome run_quartets(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                             const AnalysisSettings &settings, int workers, QuartetSinks &sinks,
                             const QuartetRange &range, const ProgressTarget &progress);

}  // namespace kelto
