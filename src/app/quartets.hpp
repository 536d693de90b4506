// Runs every quartet of the run on a pool of worker threads and writes their
// texts strictly in quartet order.
#pragma once

#include <cstdio>

#include "app/analysis.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"

namespace kelto {

// Where the progress line goes: a terminal, or nowhere (null stream).
struct ProgressTarget {
    FILE *stream = nullptr;
    bool shares_console = false;  // the console writes to the same terminal
};

// Quartets are the pairs (a, b), a < b, ordered by a and then b. The output
// is byte-identical for any number of workers: each quartet's draws come
// from its own stretch of the run's stream. Stops after the quartet whose
// analysis hit a limit, writing nothing of later quartets. A progress line
// is kept on the target's stream, erased before console text that goes to
// the same terminal.
Status run_quartets(const SequenceSet &set, const SubstitutionMatrix &matrix, const AnalysisSettings &settings,
                    int workers, TextSink &console, TextSink &report, const ProgressTarget &progress);

}  // namespace kelto
