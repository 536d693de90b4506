// The run carried out from its plan, the same for a fresh run, a shard and
// a resumed run: files opened as planned, the start-up text, the quartets,
// then the files closed in an order that keeps the record honest.
#pragma once

#include <chrono>

#include "common/run_io.hpp"
#include "run/plan.hpp"

namespace kelto {

// Carries out a plan that was not refused. Returns the exit status: 0 for a
// completed run, 1 when storage ran out, 128 + N after signal N, 2 for
// every other stop. `quiet`: the console gets only stops and errors.
int execute_plan(RunPlan &plan, bool quiet, const RunIo &io, TextSink &console,
                 std::chrono::steady_clock::time_point start);

}  // namespace kelto
