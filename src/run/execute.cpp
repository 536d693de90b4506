// Execution of a run's plan.
#include "run/execute.hpp"

#include <cerrno>
#include <cstring>
#include <new>
#include <string>

#include <unistd.h>

#include "common/compress.hpp"
#include "common/files.hpp"
#include "input/matrices.hpp"
#include "page/page.hpp"
#include "report/heading.hpp"
#include "run/signals.hpp"
#include "run/startup.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

namespace {

// A file the run writes, with its sink.
struct OpenFile {
    const PlannedFile *planned = nullptr;
    TextSink sink;
};

// Everything the execution keeps from the files' opening to its end line.
struct RunState {
    TextSink &console;
    TextSink report;
    OpenFile json, tsv;
    Packer json_packer;  // the record's lines, one unit each where its name asks for compression
    bool run_line_written = false;
    bool json_temporary = false;  // the record exists only for the page
    StopReason reason = StopReason::kNone;
    long long written = 0;  // quartets written by this process
};

// Created, or cut back to its planned length and opened for appending;
// through its lock where it has one (the lock was taken before anything
// could change it).
FILE *open_planned(PlanFiles &files, const PlannedFile &file)
{
    if (FileLock *lock = lock_of(files, file.path))
        return open_locked(*lock, file.cut_back ? file.length : 0);
    if (!file.cut_back)
        return std::fopen(file.path.c_str(), "w");
    if (file.device)
        return std::fopen(file.path.c_str(), "a");
    if (truncate(file.path.c_str(), static_cast<off_t>(file.length)) != 0)
        return nullptr;
    return std::fopen(file.path.c_str(), "a");
}

// Opens the report, then (unless the start stops early) the record and the
// TSV. Returns false after a message.
bool open_files(PlanFiles &files, EarlyStop early_stop, RunState &state)
{
    TextSink &console = state.console;
    state.report.file = open_planned(files, files.report);
    state.report.bytes = files.report.cut_back ? files.report.length : 0;
    if (state.report.file == nullptr) {
        if (files.report.cut_back) {
            sink_error(console, "cannot resume: the report, JSON or TSV file cannot be cut back and reopened");
        } else {
            const int failed = errno;
            sink_message(console, "\n %s  --> %s", files.input_path.c_str(), files.report.path.c_str());
            sink_message(console, "\n Problems with the files!.\n");
            sink_error(console, "cannot create %s: %s", files.report.path.c_str(), std::strerror(failed));
        }
        return false;
    }
    if (early_stop != EarlyStop::kNone)
        return true;
    for (OpenFile *file : {&state.json, &state.tsv}) {
        if (file->planned->path.empty())
            continue;
        file->sink.file = open_planned(files, *file->planned);
        if (file->sink.file != nullptr)
            continue;
        if (file->planned->cut_back)
            sink_error(console, "cannot resume: the report, JSON or TSV file cannot be cut back and reopened");
        else
            sink_error(console, "cannot create the %s file %s: %s", file->planned->role, file->planned->path.c_str(),
                       std::strerror(errno));
        return false;
    }
    if (files.json_temporary) {
        // The page is drawn from the record: keep one in a temporary file.
        state.json.sink.file = std::tmpfile();
        state.json_temporary = true;
        if (state.json.sink.file == nullptr) {
            sink_message(console, "\n Cannot create a temporary file for the HTML page.\n");
            return false;
        }
    }
    state.run_line_written = !files.write_headings;
    return true;
}

// The start-up text, the heading, the run line and the TSV header; false
// when the start stops here (early stop, or a recorded limit stop).
Status write_start(const RunPlan &plan, bool quiet, const RunIo &io, RunState &state)
{
    TextSink &console = state.console;
    if (plan.decision.early_stop == EarlyStop::kAfterReportOpened) {
        sink_message(console, "%s", plan.decision.early_message.c_str());
        return plan.decision.early_status;
    }
    console.quiet = quiet || plan.input.setup_quiet;
    sink_printf(console, "============================================================\n\n");
    if (plan.files.write_headings)
        sink_write(state.report, heading_unit(plan.input.randomisations, plan.files.report.path));
    sink_printf(console, "\nT = %d \n", plan.input.randomisations);
    sink_printf(console, "\n------------------------------------------------------------");
    sink_write(console, plan.input.setup_console);
    if (!plan.input.set.warnings.empty()) {
        // What reading changed goes to standard error, beside the console.
        sink_flush(console);
        for (const InputWarning &warning : plan.input.set.warnings)
            std::fprintf(io.errors, "kelto: warning: %s\n", warning_text(warning).c_str());
        std::fflush(io.errors);
    }
    if (plan.decision.early_stop == EarlyStop::kAfterReading) {
        sink_message(console, "%s", plan.decision.early_message.c_str());
        return plan.decision.early_status;
    }
    if (plan.files.write_headings && state.json.sink.file != nullptr) {
        sink_write(state.json.sink, packed(state.json_packer, run_line_text(plan.input.record)));
        state.run_line_written = true;
    }
    if (plan.files.write_headings && state.tsv.sink.file != nullptr)
        sink_write(state.tsv.sink, tsv_header_unit(plan.files.tsv.path));
    if (state.json.sink.file != nullptr) {
        // The record exists from the start, not only after a first quartet.
        sink_flush(state.report);
        if (state.tsv.sink.file != nullptr)
            sink_flush(state.tsv.sink);
        sink_flush(state.json.sink);
    }
    std::fputs(plan.input.seed_line.c_str(), io.errors);
    std::fflush(io.errors);
    console.quiet = quiet;
    sink_write(console, plan.quartets.resume_note);
    if (plan.quartets.recorded_stop != StopReason::kNone) {
        // The last recorded quartet stopped the run at a limit: only the end line is missing.
        state.reason = plan.quartets.recorded_stop;
        return Status::kStopInput;
    }
    return Status::kContinue;
}

Status run_planned_quartets(const PlanFiles &files, const PlanInput &input, const PlanQuartets &quartets,
                            const RunIo &io, RunState &state)
{
    QuartetSinks sinks;
    sinks.console = &state.console;
    sinks.report = &state.report;
    sinks.json = state.json.sink.file != nullptr ? &state.json.sink : nullptr;
    sinks.tsv = state.tsv.sink.file != nullptr ? &state.tsv.sink : nullptr;
    sinks.tsv_bytes = quartets.tsv_bytes;
    sinks.report_compression = compression_of(files.report.path);
    sinks.tsv_compression = compression_of(files.tsv.path);
    if (state.json_packer.kind != Compression::kNone)
        sinks.json_packer = &state.json_packer;
    AnalysisSettings settings = make_analysis_settings(input.record.n_minimum, input.randomisations, input.seed);
    settings.family = FamilySettings{input.record.family_randomisations, input.record.family_exceedances,
                                     input.record.family_block};
    if (io.handle_stop_signals) {
        install_stop_handlers();
        settings.stop = &stop_signal();
    } else {
        settings.stop = io.stop;
    }
    const QuartetsOutcome outcome = run_quartets(input.set, input.scores, settings, quartets.workers, sinks,
                                                 quartets.range, ProgressTarget{io.progress, io.console_is_terminal});
    state.reason = outcome.reason;
    state.written = outcome.written;
    return outcome.status;
}

// Flushes and closes a file; false when it could not be written.
bool close_sink(TextSink &sink)
{
    if (sink.file == nullptr)
        return true;
    const bool written = sink_sync(sink);
    const bool closed = std::fclose(sink.file) == 0;
    sink.file = nullptr;
    return written && closed;
}

// Writes the HTML page from the run's record (its file, or the temporary
// one) and trimmed records. Returns false after a message.
bool write_run_page(PlanFiles &files, const PlanInput &input, TextSink &console, FILE *temporary_json)
{
    std::string unused;
    FILE *record = temporary_json != nullptr ? temporary_json : open_regular(files.json.path, unused);
    std::string message = "the record cannot be read";
    bool written = false;
    if (record != nullptr) {
        const std::string name = temporary_json != nullptr ? "the run's record" : files.json.path;
        FILE *page = nullptr;
        const auto open_page = [&files, &page] { return page = open_planned(files, files.html); };
        written = write_html_page(record, name, input.set, input.matrix.scores, open_page, message);
        if (page != nullptr) {
            written = std::fclose(page) == 0 && written;
            if (!written)
                remove_written_file(files.html.path);
        }
        if (temporary_json == nullptr)
            std::fclose(record);
    }
    if (!written)
        sink_message(console, "\n Problems writing the HTML file %s: %s.\n", files.html.path.c_str(), message.c_str());
    return written;
}

// A file that could not be written turns a completed run into a stop.
void note_write_error(TextSink &console, const char *what, const std::string &path, Status &status, RunState &state)
{
    sink_message(console, "\n Problems writing the %s file %s.\n", what, path.c_str());
    if (status == Status::kContinue)
        status = Status::kStopInput;
    state.reason = StopReason::kWriteError;
}

// Closes the files: the report first, then the TSV, then the record with
// its end line, so that the record never claims more than the other files
// hold (each reaches the disk before the next is closed); then the page.
Status close_files(PlanFiles &files, const PlanInput &input, long long written_before, RunState &state,
                   Status status, int exit_code, std::chrono::steady_clock::time_point start)
{
    TextSink &console = state.console;
    if (!close_sink(state.report))
        note_write_error(console, "report", files.report.path, status, state);
    if (!close_sink(state.tsv.sink))
        note_write_error(console, "TSV", files.tsv.path, status, state);
    if (state.run_line_written) {
        if (state.reason == StopReason::kNone && status != Status::kContinue)
            state.reason = StopReason::kWriteError;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sink_write(state.json.sink, packed(state.json_packer, end_line_text(state.reason, exit_code,
                                                                            written_before + state.written, wall)));
    }
    FILE *temporary_json = nullptr;
    if (state.json_temporary) {
        temporary_json = state.json.sink.file;
        sink_flush(state.json.sink);
        state.json.sink.file = nullptr;
    }
    if (!close_sink(state.json.sink)) {
        sink_message(console, "\n Problems writing the JSON file %s.\n", files.json.path.c_str());
        if (status == Status::kContinue)
            status = Status::kStopInput;
    }
    if (!files.html.path.empty() && state.run_line_written && !write_run_page(files, input, console, temporary_json) &&
        status == Status::kContinue)
        status = Status::kStopInput;
    if (temporary_json != nullptr)
        std::fclose(temporary_json);
    return status;
}

}  // namespace

int execute_plan(RunPlan &plan, bool quiet, const RunIo &io, TextSink &console,
                 std::chrono::steady_clock::time_point start)
{
    RunState state{console, {}, {&plan.files.json, {}}, {&plan.files.tsv, {}}, {}};
    Status status = Status::kStopInput;
    try {
        state.json_packer = make_packer(compression_of(plan.files.json.path));
        if (open_files(plan.files, plan.decision.early_stop, state)) {
            status = write_start(plan, quiet, io, state);
            if (status == Status::kContinue)
                status = run_planned_quartets(plan.files, plan.input, plan.quartets, io, state);
        }
    } catch (const std::bad_alloc &) {
        sink_message(console, "\n Memory allocation failed.\n");
        status = Status::kStopMemory;
        state.reason = StopReason::kMemory;
    }

    const int signal_number = io.handle_stop_signals ? stop_signal().load() : io.stop != nullptr ? io.stop->load() : 0;
    if (status == Status::kStopSignal) {
        sink_message(console, "\n Stopped by signal %d: %lld of %lld quartets written.", signal_number,
                     plan.quartets.written_before + state.written, plan.quartets.range_size);
        if (state.run_line_written)
            sink_message(console, " To continue, run the same command with --resume.\n");
        else
            sink_message(console, " Runs with --json FILE can be continued with --resume.\n");
    }
    const int exit_code = status == Status::kStopSignal ? 128 + signal_number : exit_status(status);
    status = close_files(plan.files, plan.input, plan.quartets.written_before, state, status, exit_code, start);
    sink_flush(console);
    return status == Status::kStopSignal ? exit_code : exit_status(status);
}

}  // namespace kelto
