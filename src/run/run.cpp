// Choosing the plan of a run: fresh, a shard, or resumed.
#include "run/run.hpp"

#include <chrono>
#include <new>

#include "common/locks.hpp"
#include "run/execute.hpp"
#include "run/plan.hpp"
#include "run/startup.hpp"

namespace kelto {

int run_analysis(const RunOptions &options, const RunIo &io, uint64_t clock_seed, int workers)
{
    const auto start = std::chrono::steady_clock::now();
    const bool resume = options.resume && !nothing_recorded(options.json_path);
    if (options.resume && !resume)  // stopped before its first line was written: nothing to keep
        std::fprintf(io.console, "\n Nothing of the run was recorded in %s; it starts from the beginning.\n",
                     options.json_path.c_str());
    TextSink console;
    console.file = io.console;
    console.quiet = options.quiet;
    console.errors = io.errors;
    if (!resume)
        write_banner(console);
    RunPlan plan;
    try {
        if (resume) {
            plan = plan_resume(options, workers, console);
        } else {
            plan = plan_fresh(options, io, clock_seed, workers, console);
            plan_shard(options, plan);
        }
    } catch (const std::bad_alloc &) {
        sink_message(console, "\n Memory allocation failed.\n");
        sink_flush(console);
        return kExitMemory;
    }
    if (plan.refused != Status::kContinue || plan.nothing_to_do) {
        sink_flush(console);
        return exit_status(plan.refused);
    }
    pause_point("run-planned");
    return execute_plan(plan, options, io, console, start);
}

}  // namespace kelto
