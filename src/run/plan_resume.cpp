// Planning a resumed run: the record read back and checked against the
// command line, the input and the files it describes; the lengths the files
// are cut back to.
#include <algorithm>
#include <climits>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "common/compress.hpp"
#include "common/files.hpp"
#include "input/matrix_file.hpp"
#include "record/run_line_compare.hpp"
#include "record/verify.hpp"
#include "report/heading.hpp"
#include "run/plan.hpp"
#include "run/startup.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

namespace {

// The recorded settings against the command line and the input.
std::string settings_mismatch(const RunRequest &request, FILE *input, const RunPlan &plan, const RunLine &run)
{
    FileDigest digest;
    if (!digest_stream(input, digest))
        return "the input file cannot be read";
    if (run.input.bytes != digest.bytes || run.input.xxh3_128 != digest.xxh3_128)
        return "the input file differs from the recorded run's (size or checksum)";
    if (run.randomisations != plan.input.randomisations)
        return "T differs: the recorded run used T = " + std::to_string(run.randomisations);
    std::string why;
    if (request.matrix >= 0 || !request.matrix_path.empty()) {
        RunMatrix given;
        if (request.matrix >= 0)
            given = builtin_matrix(request.matrix);
        else if (!read_chosen_matrix(request.matrix_path, given, why))
            return why;
        if (matrix_values(given.scores) != run.matrix_values)
            return "the matrix differs: the recorded run used " + run.matrix + ", with other values";
    }
    if (!request.pairs_path.empty()) {
        PairChoice choice;
        if (!read_pair_choice(request.pairs_path, choice, why))
            return why;
        if (run.pairs_path.empty() || choice.xxh3 != run.pairs_xxh3)
            return "the pairs file differs from the recorded run's (checksum)";
    }
    if (run.family_test != "scan")
        return "the recorded run used the " + run.family_test +
               " family-wise test of an earlier version; a run cannot mix family-wise tests";
    if (request.family_randomisations >= 0 && request.family_randomisations != run.family_randomisations)
        return "J_max differs: the recorded run used --family-randomisations " +
               std::to_string(run.family_randomisations);
    if (request.family_exceedances >= 1 && request.family_exceedances != run.family_exceedances)
        return "h differs: the recorded run used --family-exceedances " + std::to_string(run.family_exceedances);
    if (request.family_block >= 1 && request.family_block != run.family_block)
        return "the family-wise null differs: the recorded run used --family-null " +
               family_block_name(run.family_block);
    if (request.seed_given && run.seed != request.seed)
        return "the seed differs: the recorded run used " + std::to_string(run.seed);
    if (run.sharded != (request.shard_count > 0) ||
        (run.sharded && (run.shard.index != request.shard_index || run.shard.count != request.shard_count)))
        return "the shard differs from the recorded run's";
    return {};
}

// The fields of the recorded run line that the input read now must give
// again, with their names in the refusal.
constexpr NamedField kInputFields[] = {
    {RunField::kNames, "record names"},
    {RunField::kRecordLengths, "record lengths"},
    {RunField::kGapColumns, "gap columns"},
    {RunField::kNMinimum, "N_minimum"},
    {RunField::kQuartets, "number of quartets"},
    {RunField::kInputForm, "input form"},
};

// The recorded records against the input as read now.
std::string records_mismatch(const RunLine &recorded, const RunLine &read)
{
    const char *differs = first_difference(recorded, read, kInputFields);
    if (differs == nullptr)
        return {};
    return std::string("the record's ") + differs + " differ from the input's";
}

// A report or TSV of the run: a regular file that starts with `heading` and
// holds every recorded quartet's bytes, or /dev/null, which is neither
// checked nor cut. Fills the planned file; returns a reason to refuse.
std::string check_output(PlannedFile &file, const std::string &heading, SpanFile which, const RecordSpans &spans)
{
    const char *name = which == SpanFile::kReport ? "report" : "TSV file";
    if (is_dev_null(file.path)) {
        file.device = true;
        return {};
    }
    FileIdentity identity;
    if (identify(file.path, identity) && identity.exists && !S_ISREG(identity.mode))
        return std::string("the ") + name + " " + file.path +
               " is not a regular file: a run written to a pipe or device cannot be resumed";
    if (read_start(file.path, heading.size()) != heading)
        return std::string("the ") + name + " is missing, from another run, or shorter than the record says";
    std::string why;
    if (!verify_spans(file.path, which, heading.size(), spans, why))
        return why;
    return {};
}

// A record is appended to as its name says (compressed lines for .gz and
// .zst), so it must already be written that way, one line a unit, for the
// cut back to fall between units.
std::string record_compression_mismatch(const std::string &path, const RecordSummary &summary)
{
    const Compression named = compression_of(path);
    if (summary.compression != named)
        return "the record " + path + " is " + compression_name(summary.compression) + " but its name asks for " +
               compression_name(named) + " lines";
    if (!summary.cuttable)
        return "the record " + path + " is compressed, but not one line a unit as kelto writes it, so it cannot "
               "be cut back (decompress it to a plain name to resume)";
    return {};
}

void refuse(RunPlan &plan, TextSink &console, const std::string &why)
{
    sink_error(console, "cannot resume: %s", why.c_str());
    plan.decision.refused = Status::kStopInput;
}

// Where the run goes on: the rest of its range, from the first quartet not
// recorded, and the console line that says so.
void plan_range(const RunRequest &request, const RecordSummary &summary, RunPlan &plan)
{
    const RunLine &run = summary.run;
    const long long next = summary.next_quartet();
    const PlanInput &input = plan.input;
    plan.quartets.range = QuartetRange{next, run.end_quartet(),
                                       first_draw(input.scores, input.record.n_minimum, input.randomisations, next)};
    plan.quartets.range_begin = run.first_quartet();
    plan.quartets.range_size = run.end_quartet() - plan.quartets.range_begin;
    plan.quartets.written_before = summary.quartet_lines;
    plan.quartets.recorded_stop = summary.limit_stop;
    const char *record = request.json_path.c_str();
    if (summary.limit_stop == StopReason::kNone && next - plan.quartets.range_begin < plan.quartets.range_size)
        appendf(plan.quartets.resume_note, "\n Resuming the run recorded in %s at quartet %lld of %lld.\n", record,
                next - plan.quartets.range_begin + 1, plan.quartets.range_size);
    else  // killed between its last quartet and its end line
        appendf(plan.quartets.resume_note,
                "\n Resuming the run recorded in %s: no quartet is left to analyse; its record is closed.\n", record);
}

}  // namespace

RunPlan plan_resume(const RunRequest &request, int workers, TextSink &console)
{
    RunPlan plan;
    plan.files.write_headings = false;
    plan.input.setup_quiet = true;  // the setup's console text was shown by the first run
    FILE *opened = nullptr;
    if (!open_planned_input(request, true, plan, opened, console))
        return plan;
    FileHandle input(opened);
    if (parse_randomisations(request.positionals[2].c_str(), plan.input.randomisations) != Randomisations::kValid) {
        sink_error(console, "cannot resume: T must be the recorded run's, a number from 1 to %d", INT_MAX);
        plan.decision.refused = Status::kStopInput;
        return plan;
    }
    RecordSummary summary;
    RecordSpans spans;
    std::string why;
    if (access(request.json_path.c_str(), F_OK) != 0) {
        refuse(plan, console, "there is no record of the run to resume: " + request.json_path + " cannot be read");
        return plan;
    }
    if (!read_record(request.json_path, summary, why, checked_spans(spans)) ||
        !(why = settings_mismatch(request, input.get(), plan, summary.run)).empty()) {
        refuse(plan, console, why);
        return plan;
    }
    const RunLine &run = summary.run;
    plan.input.matrix = RunMatrix{run.matrix, {}, run.matrix_path, run.matrix_xxh3};
    matrix_from_values(run.matrix_values, plan.input.matrix.scores);
    plan.input.choice = PairChoice{run.pairs_path, run.pairs_xxh3, {}, {}, run.record_places};
    if (run.format > 1)  // the recorded form, which --format or the file's name may have chosen
        plan.input.input_form = run.input_form;
    read_input(input.get(), plan, console);
    if (plan.decision.refused != Status::kContinue)
        return plan;
    if (plan.decision.early_stop == EarlyStop::kNone &&
        !(why = records_mismatch(summary.run, plan.input.record)).empty()) {
        refuse(plan, console, why);
        return plan;
    }
    if (!(why = record_compression_mismatch(request.json_path, summary)).empty()) {
        refuse(plan, console, why);
        return plan;
    }
    // Nothing analysed yet: the files hold their heading and header (as
    // their files hold them: compressed where the name says so).
    const bool any = summary.quartet_lines > 0;
    const std::string heading = heading_unit(plan.input.randomisations, plan.files.report.path);
    const std::string header = tsv_header_unit(plan.files.tsv.path);
    plan.files.report =
        PlannedFile{"report", plan.files.report.path, true, any ? summary.report_bytes : heading.size()};
    plan.files.json = PlannedFile{"JSON", plan.files.json.path, true, summary.kept_bytes};
    plan.files.tsv = PlannedFile{"TSV", plan.files.tsv.path, true, any ? summary.tsv_bytes : header.size()};
    if (!(why = check_output(plan.files.report, heading, SpanFile::kReport, spans)).empty() ||
        (!plan.files.tsv.path.empty() &&
         !(why = check_output(plan.files.tsv, header, SpanFile::kTsv, spans)).empty())) {
        refuse(plan, console, why);
        return plan;
    }
    if (summary.has_end && run_finished(summary.end)) {
        sink_message(console, "\n The run recorded in %s is already complete (%s); nothing to do.\n",
                     request.json_path.c_str(), summary.end.status.c_str());
        plan.decision.nothing_to_do = true;
        return plan;
    }
    plan.input.record = summary.run;
    plan.input.seed = summary.run.seed;
    appendf(plan.input.seed_line, "kelto: seed %llu (from the record %s)\n",
            static_cast<unsigned long long>(plan.input.seed), request.json_path.c_str());
    plan.quartets.workers = worker_count(request.threads, workers, summary.run.quartets);
    plan.quartets.tsv_bytes = plan.files.tsv.length;
    if (plan.decision.early_stop == EarlyStop::kNone)
        plan_range(request, summary, plan);
    return plan;
}

bool nothing_recorded(const std::string &json_path)
{
    std::string why;
    FileHandle file(open_regular(json_path, why));
    if (!file)
        return false;
    FileHandle plain;  // a compressed record's first line, unpacked
    const Compression kind = sniff_compression(file.get());
    if (kind != Compression::kNone) {
        plain.reset(std::tmpfile());
        Unpacking unpacking;
        if (!plain || !unpack_stream(file.get(), kind, plain.get(), unpacking, 1))
            return false;  // the reader will say what is wrong
        std::rewind(plain.get());
    }
    FILE *text = plain ? plain.get() : file.get();
    int c = 0;
    while ((c = std::getc(text)) != EOF && c != '\n') {
    }
    return c != '\n';
}

}  // namespace kelto
