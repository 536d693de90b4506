// Planning a resumed run: the record read back and checked against the
// command line, the input and the files it describes; the lengths the files
// are cut back to.
#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include <sys/stat.h>

#include "input/matrices.hpp"
#include "run/plan.hpp"
#include "run/startup.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// Whether the file at `path` is at least `length` bytes long and starts
// with `prefix`.
bool file_holds(const std::string &path, uint64_t length, const std::string &prefix)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    std::string start(prefix.size(), '\0');
    const bool prefix_ok = std::fread(start.data(), 1, start.size(), file) == start.size() && start == prefix;
    struct stat info;
    const bool long_enough = fstat(fileno(file), &info) == 0 && static_cast<uint64_t>(info.st_size) >= length;
    std::fclose(file);
    return prefix_ok && long_enough;
}

// Checks that the record belongs to this command line and input, and that
// the report and TSV hold what it says. Returns a one-line reason for a
// refusal, or an empty string.
std::string resume_mismatch(const RunOptions &options, FILE *input, const RunPlan &plan, const RecordSummary &summary)
{
    const RunLine &run = summary.run;
    FileDigest digest;
    if (!digest_stream(input, digest))
        return "the input file cannot be read";
    if (run.input.bytes != digest.bytes || run.input.xxh3_128 != digest.xxh3_128)
        return "the input file differs from the recorded run's (size or checksum)";
    if (run.randomisations != plan.randomisations)
        return "T differs: the recorded run used T = " + std::to_string(run.randomisations);
    if (matrix_from_text(run.matrix) < 0)
        return "the record names no known matrix";
    if (options.matrix >= 0 && kMatrixSet[static_cast<std::size_t>(options.matrix)].name != run.matrix)
        return "the matrix differs: the recorded run used " + run.matrix;
    if (options.seed_given && run.seed != options.seed)
        return "the seed differs: the recorded run used " + std::to_string(run.seed);
    if (run.sharded != (options.shard_count > 0) ||
        (run.sharded && (run.shard.index != options.shard_index || run.shard.count != options.shard_count)))
        return "the shard differs from the recorded run's";
    if (!file_holds(plan.report.path, plan.report.length, report_heading(plan.randomisations)))
        return "the report is missing, from another run, or shorter than the record says";
    if (!plan.tsv.path.empty() && !file_holds(plan.tsv.path, plan.tsv.length, kTsvHeader))
        return "the TSV file is missing, from another run, or shorter than the record says";
    return {};
}

void refuse(RunPlan &plan, TextSink &console, const std::string &why)
{
    sink_message(console, "\n Cannot resume: %s.\n", why.c_str());
    plan.refused = Status::kStopInput;
}

// Where the run goes on: the rest of its range, from the first quartet not
// recorded, and the console line that says so.
void plan_range(const RunOptions &options, const RecordSummary &summary, RunPlan &plan)
{
    const RunLine &run = summary.run;
    const long long next = summary.next_quartet();
    plan.range = QuartetRange{next, run.end_quartet(),
                              first_draw(plan.scores, plan.record.n_minimum, plan.randomisations, next)};
    plan.range_begin = run.first_quartet();
    plan.range_size = run.end_quartet() - plan.range_begin;
    plan.written_before = summary.quartet_lines;
    plan.recorded_stop = summary.limit_stop;
    const char *record = options.json_path.c_str();
    if (summary.limit_stop == StopReason::kNone && next - plan.range_begin < plan.range_size)
        appendf(plan.resume_note, "\n Resuming the run recorded in %s at quartet %lld of %lld.\n", record,
                next - plan.range_begin + 1, plan.range_size);
    else  // killed between its last quartet and its end line
        appendf(plan.resume_note,
                "\n Resuming the run recorded in %s: no quartet is left to analyse; its record is closed.\n", record);
}

}  // namespace

RunPlan plan_resume(const RunOptions &options, int workers, TextSink &console)
{
    RunPlan plan;
    plan.write_headings = false;
    plan.setup_quiet = true;  // the setup's console text was shown by the first run
    FILE *opened = nullptr;
    if (!open_planned_input(options, plan, opened, console))
        return plan;
    FileHandle input(opened);
    if (parse_randomisations(options.positionals[2].c_str(), plan.randomisations) != Randomisations::kValid) {
        sink_message(console, "\n Cannot resume: T must be the recorded run's, a number from 1 to %d.\n", INT_MAX);
        plan.refused = Status::kStopInput;
        return plan;
    }
    RecordSummary summary;
    std::string why;
    if (FILE *record = std::fopen(options.json_path.c_str(), "rb"); record == nullptr) {
        refuse(plan, console, "there is no record of the run to resume: " + options.json_path + " cannot be read");
        return plan;
    } else if (!read_record(record, options.json_path, summary, why)) {
        std::fclose(record);
        refuse(plan, console, why);
        return plan;
    } else {
        std::fclose(record);
    }
    // Nothing analysed yet: the files hold their heading and header.
    const bool any = summary.quartet_lines > 0;
    plan.report = PlannedFile{"report", plan.report.path, true,
                              any ? summary.report_bytes : report_heading(plan.randomisations).size()};
    plan.json = PlannedFile{"JSON", plan.json.path, true, summary.kept_bytes};
    plan.tsv = PlannedFile{"TSV", plan.tsv.path, true, any ? summary.tsv_bytes : std::strlen(kTsvHeader)};
    if (!(why = resume_mismatch(options, input.get(), plan, summary)).empty()) {
        refuse(plan, console, why);
        return plan;
    }
    if (summary.has_end && run_finished(summary.end)) {
        sink_message(console, "\n The run recorded in %s is already complete (%s); nothing to do.\n",
                     options.json_path.c_str(), summary.end.status.c_str());
        plan.nothing_to_do = true;
        return plan;
    }
    plan.matrix = matrix_from_text(summary.run.matrix);
    read_input(input.get(), plan);
    plan.record = summary.run;
    plan.seed = summary.run.seed;
    appendf(plan.seed_line, "kelto: seed %llu (from the record %s)\n", static_cast<unsigned long long>(plan.seed),
            options.json_path.c_str());
    plan.workers = static_cast<int>(std::clamp<long long>(options.threads > 0 ? options.threads : workers, 1,
                                                          std::max(summary.run.quartets, 1LL)));
    plan.tsv_bytes = plan.tsv.length;
    if (plan.early_stop == EarlyStop::kNone)
        plan_range(options, summary, plan);
    return plan;
}

bool nothing_recorded(const std::string &json_path)
{
    FILE *file = std::fopen(json_path.c_str(), "rb");
    if (file == nullptr)
        return false;
    int c = 0;
    while ((c = std::getc(file)) != EOF && c != '\n') {
    }
    std::fclose(file);
    return c != '\n';
}

}  // namespace kelto
