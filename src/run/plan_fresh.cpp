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

// The matrix (a file, a built-in, or the menu's answer) and the pairs file.
// False when the plan is refused or stops early.
bool choose_matrix_and_pairs(const RunRequest &request, const RunIo &io, RunPlan &plan, TextSink &console)
{
    if (!request.matrix_path.empty() || !request.pairs_path.empty()) {
        std::string why;
        if ((!request.matrix_path.empty() && !read_chosen_matrix(request.matrix_path, plan.input.matrix, why)) ||
            (!request.pairs_path.empty() && !read_pair_choice(request.pairs_path, plan.input.choice, why))) {
            sink_error(console, "%s", why.c_str());
            plan.decision.refused = Status::kStopInput;
            return false;
        }
    }
    if (request.matrix_path.empty()) {
        const int builtin = request.matrix >= 0 ? request.matrix : choose_matrix(io, console);
        if (builtin < 0) {
            stop_early(plan.decision, EarlyStop::kAfterReportOpened,
                       "\n No matrix option: the input ended before an answer 1 to 6.\n");
            return false;
        }
        plan.input.matrix = builtin_matrix(builtin);
    }
    return true;
}

}  // namespace

RunPlan plan_fresh(const RunRequest &request, const RunIo &io, uint64_t clock_seed, int workers, TextSink &console)
{
    RunPlan plan;
    FILE *opened = nullptr;
    if (!open_planned_input(request, false, plan, opened, console))
        return plan;
    FileHandle input(opened);
    plan.input.input_form = request.format;
    switch (parse_randomisations(request.positionals[2].c_str(), plan.input.randomisations)) {
    case Randomisations::kValid: break;
    case Randomisations::kBelowOne:
        stop_early(plan.decision, EarlyStop::kAfterReportOpened, "\n T > 0 !!.\n");
        return plan;
    case Randomisations::kTooLarge:
        stop_early(plan.decision, EarlyStop::kAfterReportOpened,
                   "\n T is too large: at most " + std::to_string(INT_MAX) + " randomisations.\n");
        return plan;
    }
    if (!choose_matrix_and_pairs(request, io, plan, console))
        return plan;
    plan.files.json_temporary = plan.files.json.path.empty() && !plan.files.html.path.empty();
    RunLine &record = plan.input.record;
    if ((!plan.files.json.path.empty() || plan.files.json_temporary) && !digest_stream(input.get(), record.input)) {
        stop_early(plan.decision, EarlyStop::kAfterReading,
                   "\n Problems reading the input file " + plan.files.input_path + ".\n");
        return plan;
    }
    read_input(input.get(), plan, console);
    if (plan.decision.refused != Status::kContinue)
        return plan;
    if (request.positionals.size() > 3) {
        std::string extra;
        for (std::size_t i = 3; i < request.positionals.size(); ++i)
            extra += " '" + request.positionals[i] + "'";
        plan.input.set.warnings.push_back(
            InputWarning{"extra_arguments", -1, "arguments after T are ignored:" + extra});
    }
    if (plan.decision.early_stop != EarlyStop::kNone)
        return plan;

    plan.input.seed = request.seed_given ? request.seed : clock_seed;
    plan.input.seed_line = seed_line(request, plan.input.seed);
    if (!plan.input.matrix.path.empty())  // which file a --matrix value found, where a built-in could have been meant
        plan.input.seed_line = "kelto: matrix " + plan.input.matrix.name + " read from the file " +
                               plan.input.matrix.path + "\n" + plan.input.seed_line;
    record.version = kProgramVersion;
    record.seed = plan.input.seed;
    record.seed_from_option = request.seed_given;
    record.randomisations = plan.input.randomisations;
    record.family_test = "scan";
    record.family_randomisations =
        request.family_randomisations >= 0 ? request.family_randomisations : kDefaultFamilyCap;
    record.family_exceedances =
        request.family_exceedances >= 1 ? request.family_exceedances : kDefaultFamilyExceedances;
    record.family_block = request.family_block >= 1 ? request.family_block : 1;
    record.matrix = plan.input.matrix.name;
    record.matrix_values = matrix_values(plan.input.matrix.scores);
    record.matrix_path = plan.input.matrix.path;
    record.matrix_xxh3 = plan.input.matrix.xxh3;
    record.warnings = plan.input.set.warnings;
    record.input_path = plan.files.input_path;
    plan.quartets.workers = worker_count(request.threads, workers, record.quartets);
    record.threads = plan.quartets.workers;
    plan.quartets.range = QuartetRange{0, record.quartets, kFirstDraw};
    plan.quartets.range_size = record.quartets;
    plan.quartets.tsv_bytes = tsv_header_unit(plan.files.tsv.path).size();
    return plan;
}

void plan_shard(const RunRequest &request, RunPlan &plan)
{
    if (request.shard_count <= 0 || plan.decision.refused != Status::kContinue ||
        plan.decision.early_stop != EarlyStop::kNone)
        return;
    const QuartetRange block = shard_range(plan.input.scores, request.shard_index, request.shard_count);
    const PlanInput &input = plan.input;
    plan.quartets.range = QuartetRange{
        block.first, block.end, first_draw(input.scores, input.record.n_minimum, input.randomisations, block.first)};
    plan.quartets.range_begin = block.first;
    plan.quartets.range_size = block.end - block.first;
    RunLine &record = plan.input.record;
    record.sharded = true;
    record.shard = ShardBlock{request.shard_index, request.shard_count, block.first, block.end, plan.files.report.path,
                              plan.files.tsv.path, path_from(plan.files.json.path, plan.files.report.path),
                              plan.files.tsv.path.empty() ? std::string()
                                                          : path_from(plan.files.json.path, plan.files.tsv.path)};
}

}  // namespace kelto
