// Planning a fresh run and a shard of one.
#include <algorithm>
#include <climits>

#include "common/files.hpp"
#include "input/matrices.hpp"
#include "run/plan.hpp"
#include "run/shards.hpp"
#include "run/startup.hpp"

namespace kelto {

namespace {

void stop_early(RunPlan &plan, EarlyStop when, const std::string &message)
{
    plan.early_stop = when;
    plan.early_status = Status::kStopInput;
    plan.early_message = message;
}

std::string seed_line(const RunOptions &options, uint64_t seed)
{
    const auto s = static_cast<unsigned long long>(seed);
    std::string line;
    if (options.seed_given)
        appendf(line, "kelto: seed %llu (from --seed)\n", s);
    else
        appendf(line, "kelto: seed %llu (from the clock; rerun with --seed %llu)\n", s, s);
    return line;
}

}  // namespace

RunPlan plan_fresh(const RunOptions &options, const RunIo &io, uint64_t clock_seed, int workers, TextSink &console)
{
    RunPlan plan;
    FILE *opened = nullptr;
    if (!open_planned_input(options, plan, opened, console))
        return plan;
    FileHandle input(opened);
    switch (parse_randomisations(options.positionals[2].c_str(), plan.randomisations)) {
    case Randomisations::kValid: break;
    case Randomisations::kBelowOne: stop_early(plan, EarlyStop::kAfterReportOpened, "\n T > 0 !!.\n"); return plan;
    case Randomisations::kTooLarge:
        stop_early(plan, EarlyStop::kAfterReportOpened,
                   "\n T is too large: at most " + std::to_string(INT_MAX) + " randomisations.\n");
        return plan;
    }
    plan.matrix = options.matrix >= 0 ? options.matrix : choose_matrix(io, console);
    if (plan.matrix < 0) {
        stop_early(plan, EarlyStop::kAfterReportOpened,
                   "\n No matrix option: the input ended before an answer 1 to 6.\n");
        return plan;
    }
    plan.json_temporary = plan.json.path.empty() && !plan.html.path.empty();
    RunLine &record = plan.record;
    if ((!plan.json.path.empty() || plan.json_temporary) && !digest_stream(input.get(), record.input)) {
        stop_early(plan, EarlyStop::kAfterReading, "\n Problems reading the input file " + plan.input_path + ".\n");
        return plan;
    }
    read_input(input.get(), plan);
    if (options.positionals.size() > 3) {
        std::string extra;
        for (std::size_t i = 3; i < options.positionals.size(); ++i)
            extra += " '" + options.positionals[i] + "'";
        plan.set.warnings.push_back("arguments after T are ignored:" + extra);
    }
    if (plan.early_stop != EarlyStop::kNone)
        return plan;

    plan.seed = options.seed_given ? options.seed : clock_seed;
    plan.seed_line = seed_line(options, plan.seed);
    record.version = kProgramVersion;
    record.seed = plan.seed;
    record.seed_from_option = options.seed_given;
    record.randomisations = plan.randomisations;
    record.matrix = kMatrixSet[static_cast<std::size_t>(plan.matrix)].name;
    record.input_path = plan.input_path;
    plan.workers = static_cast<int>(
        std::clamp<long long>(options.threads > 0 ? options.threads : workers, 1, std::max(record.quartets, 1LL)));
    record.threads = plan.workers;
    plan.range = QuartetRange{0, record.quartets, kFirstDraw};
    plan.range_size = record.quartets;
    plan.tsv_bytes = tsv_header_unit(plan.tsv.path).size();
    return plan;
}

void plan_shard(const RunOptions &options, RunPlan &plan)
{
    if (options.shard_count <= 0 || plan.refused != Status::kContinue || plan.early_stop != EarlyStop::kNone)
        return;
    const QuartetRange block = shard_range(plan.scores, options.shard_index, options.shard_count);
    plan.range = QuartetRange{block.first, block.end,
                              first_draw(plan.scores, plan.record.n_minimum, plan.randomisations, block.first)};
    plan.range_begin = block.first;
    plan.range_size = block.end - block.first;
    RunLine &record = plan.record;
    record.sharded = true;
    record.shard = ShardBlock{options.shard_index, options.shard_count, block.first, block.end, plan.report.path,
                              plan.tsv.path};
}

}  // namespace kelto
