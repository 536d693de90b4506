// The pieces of a run's start that every plan shares: the banner, the
// matrix menu, T, the report's heading, the input read and trimmed, and the
// check that no output names the input, the report or another output.
#pragma once

#include <cstdio>
#include <string>

#include "common/status.hpp"
#include "common/text.hpp"
#include "run/plan.hpp"
#include "common/run_io.hpp"

namespace kelto {

// The console banner.
void write_banner(TextSink &console);

// Shows the menu until an option 1-6 is read. Returns the option's index
// 0-5, or -1 when the input ends first.
int choose_matrix(const RunIo &io, TextSink &console);

// The start stops early at `when`, with `message` on the console.
void stop_early(PlanDecision &decision, EarlyStop when, const std::string &message);

// The worker threads of a run: --threads when given, else `workers` (the
// CPUs this process may use), at least 1 and at most one per quartet.
int worker_count(int threads, int workers, long long quartets);

enum class Randomisations { kValid, kBelowOne, kTooLarge };

// Decimal conversion as the command line gives it: leading blanks, a sign,
// digits up to the first non-digit; no digits reads as 0.
Randomisations parse_randomisations(const char *text, int &value);

// The checks every plan starts with: the three arguments, the input opened
// for reading, a report that is not the input and can be written, outputs
// that name none of these nor each other, and the run's lock (no other
// process writes its files). Fills the plan's paths and returns the open
// input, or false with the message printed and the plan refused.
bool open_planned_input(const RunRequest &request, bool resuming, RunPlan &plan, FILE *&input, TextSink &console);

// Locks every output of the run (lock_output) before anything looks into it
// or changes it, so that no other process writes it while this run does,
// then checks that the page replaces no file other than a page. A resumed
// run creates none of its report, record and TSV: they must be there
// already. False with the message printed.
bool lock_outputs(PlanFiles &files, bool resuming, TextSink &console);

// Refuses an output that is a directory, lies in a missing directory, or is
// the same file as the input, the report or another output. Returns false
// with the message printed.
bool check_outputs(const PlanFiles &files, TextSink &console);

// Reads the open input from its start into the plan: the records echoed
// into the plan's setup text, trimmed, the pair scores under the plan's
// matrix, and the run line's fields of the records. A pair file that cannot
// be read sets the plan's early stop; a pairs file that does not fit the
// input refuses the run with its message on `console`.
void read_input(FILE *input, RunPlan &plan, TextSink &console);

}  // namespace kelto
