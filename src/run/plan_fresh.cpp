// Planning a fresh run and a shard of one.
#include <algorithm>
#include <climits>
#include <filesystem>

#include "common/files.hpp"
#include "input/matrices.hpp"
#include "run/plan.hpp"
#include "run/shards.hpp"
#include "run/startup.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

namespace {

void stop_early(RunPlan &plan, EarlyStop when, const std::string &message)
{
    plan.early_stop = when;
    plan.early_status = Status::kStopInput;
    plan.early_message = message;
}

std::string seed_line(const RunRequest &request, uint64_t seed)
{
    const auto s = static_cast<unsigned long long>(seed);
    std::string line;
    if (request.seed_given)
        appendf(line, "kelto: seed %llu (from --seed)\n", s);
    else
        appendf(line, "kelto: seed %llu (from the clock; rerun with --seed %llu)\n", s, s);
    return line;
}

// `path` as seen from the folder of the file `from`; the absolute path
// where there is no such relative one.
std::string path_from(const std::string &from, const std::string &path)
{
    std::error_code error;
    const std::filesystem::path target = std::filesystem::absolute(path, error).lexically_normal();
    const std::filesystem::path folder = std::filesystem::absolute(from, error).lexically_normal().parent_path();
    const std::filesystem::path relative = target.lexically_relative(folder);
    return relative.empty() ? target.string() : relative.string();
}

}  // namespace

RunPlan plan_fresh(const RunRequest &request, const RunIo &io, uint64_t clock_seed, int workers, TextSink &console)
{
    RunPlan plan;
    FILE *opened = nullptr;
    if (!open_planned_input(request, false, plan, opened, console))
        return plan;
    FileHandle input(opened);
    plan.input_form = request.format;
    switch (parse_randomisations(request.positionals[2].c_str(), plan.randomisations)) {
    case Randomisations::kValid: break;
    case Randomisations::kBelowOne: stop_early(plan, EarlyStop::kAfterReportOpened, "\n T > 0 !!.\n"); return plan;
    case Randomisations::kTooLarge:
        stop_early(plan, EarlyStop::kAfterReportOpened,
                   "\n T is too large: at most " + std::to_string(INT_MAX) + " randomisations.\n");
        return plan;
    }
    if (!request.matrix_path.empty() || !request.pairs_path.empty()) {
        std::string why;
        if ((!request.matrix_path.empty() && !read_chosen_matrix(request.matrix_path, plan.matrix, why)) ||
            (!request.pairs_path.empty() && !read_pair_choice(request.pairs_path, plan.choice, why))) {
            sink_error(console, "%s", why.c_str());
            plan.refused = Status::kStopInput;
            return plan;
        }
    }
    if (request.matrix_path.empty()) {
        const int builtin = request.matrix >= 0 ? request.matrix : choose_matrix(io, console);
        if (builtin < 0) {
            stop_early(plan, EarlyStop::kAfterReportOpened,
                       "\n No matrix option: the input ended before an answer 1 to 6.\n");
            return plan;
        }
        plan.matrix = builtin_matrix(builtin);
    }
    plan.json_temporary = plan.json.path.empty() && !plan.html.path.empty();
    RunLine &record = plan.record;
    if ((!plan.json.path.empty() || plan.json_temporary) && !digest_stream(input.get(), record.input)) {
        stop_early(plan, EarlyStop::kAfterReading, "\n Problems reading the input file " + plan.input_path + ".\n");
        return plan;
    }
    read_input(input.get(), plan, console);
    if (plan.refused != Status::kContinue)
        return plan;
    if (request.positionals.size() > 3) {
        std::string extra;
        for (std::size_t i = 3; i < request.positionals.size(); ++i)
            extra += " '" + request.positionals[i] + "'";
        plan.set.warnings.push_back(InputWarning{"extra_arguments", -1, "arguments after T are ignored:" + extra});
    }
    if (plan.early_stop != EarlyStop::kNone)
        return plan;

    plan.seed = request.seed_given ? request.seed : clock_seed;
    plan.seed_line = seed_line(request, plan.seed);
    if (!plan.matrix.path.empty())  // which file a --matrix value found, where a built-in could have been meant
        plan.seed_line = "kelto: matrix " + plan.matrix.name + " read from the file " + plan.matrix.path + "\n" +
                         plan.seed_line;
    record.version = kProgramVersion;
    record.seed = plan.seed;
    record.seed_from_option = request.seed_given;
    record.randomisations = plan.randomisations;
    record.family_test = "scan";
    record.family_randomisations =
        request.family_randomisations >= 0 ? request.family_randomisations : kDefaultFamilyCap;
    record.family_exceedances =
        request.family_exceedances >= 1 ? request.family_exceedances : kDefaultFamilyExceedances;
    record.family_block = request.family_block >= 1 ? request.family_block : 1;
    record.matrix = plan.matrix.name;
    record.matrix_values = matrix_values(plan.matrix.scores);
    record.matrix_path = plan.matrix.path;
    record.matrix_xxh3 = plan.matrix.xxh3;
    record.warnings = plan.set.warnings;
    record.input_path = plan.input_path;
    plan.workers = worker_count(request.threads, workers, record.quartets);
    record.threads = plan.workers;
    plan.range = QuartetRange{0, record.quartets, kFirstDraw};
    plan.range_size = record.quartets;
    plan.tsv_bytes = tsv_header_unit(plan.tsv.path).size();
    return plan;
}

void plan_shard(const RunRequest &request, RunPlan &plan)
{
    if (request.shard_count <= 0 || plan.refused != Status::kContinue || plan.early_stop != EarlyStop::kNone)
        return;
    const QuartetRange block = shard_range(plan.scores, request.shard_index, request.shard_count);
    plan.range = QuartetRange{block.first, block.end,
                              first_draw(plan.scores, plan.record.n_minimum, plan.randomisations, block.first)};
    plan.range_begin = block.first;
    plan.range_size = block.end - block.first;
    RunLine &record = plan.record;
    record.sharded = true;
    record.shard = ShardBlock{request.shard_index, request.shard_count, block.first, block.end, plan.report.path,
                              plan.tsv.path, path_from(plan.json.path, plan.report.path),
                              plan.tsv.path.empty() ? std::string() : path_from(plan.json.path, plan.tsv.path)};
}

}  // namespace kelto
