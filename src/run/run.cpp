// Choosing the plan of a run: fresh, a shard, or resumed.
#include "run/run.hpp"

#include <chrono>
#include <new>

#include "common/locks.hpp"
#include "run/execute.hpp"
#include "run/plan.hpp"
#include "run/startup.hpp"

namespace kelto {

int run_analysis(const RunRequest &request, const RunIo &io, uint64_t clock_seed, int workers)
{
    const auto start = std::chrono::steady_clock::now();
    const bool resume = request.resume && !nothing_recorded(request.json_path);
    if (request.resume && !resume)  // stopped before its first line was written: nothing to keep
        std::fprintf(io.console, "\n Nothing of the run was recorded in %s; it starts from the beginning.\n",
                     request.json_path.c_str());
    TextSink console;
    console.file = io.console;
    console.quiet = request.quiet;
    console.errors = io.errors;
    if (!resume)
        write_banner(console);
    RunPlan plan;
    try {
        if (resume) {
            plan = plan_resume(request, workers, console);
        } else {
            plan = plan_fresh(request, io, clock_seed, workers, console);
            plan_shard(request, plan);
        }
    } catch (const std::bad_alloc &) {
        sink_message(console, "\n Memory allocation failed.\n");
        sink_flush(console);
        return kExitMemory;
    }
    if (plan.decision.refused != Status::kContinue || plan.decision.nothing_to_do) {
        sink_flush(console);
        return exit_status(plan.decision.refused);
    }
    pause_point("run-planned");
    return execute_plan(plan, request.quiet, io, console, start);
}

}  // namespace kelto
