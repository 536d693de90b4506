// Run driver: options, banner, arguments, files, matrix menu, reading,
// quartets, and the results files beside the report.
#include "app/run.hpp"

#include <cctype>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "app/analysis.hpp"
#include "app/html_command.hpp"
#include "app/merge.hpp"
#include "app/options.hpp"
#include "app/quartets.hpp"
#include "app/resume.hpp"
#include "app/shards.hpp"
#include "app/signals.hpp"
#include "common/files.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "input/gaps.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "results/digest.hpp"
#include "results/html.hpp"
#include "results/records.hpp"
#include "windows/kernel.hpp"

namespace kelto {

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

void write_banner_box(TextSink &sink)
{
    sink_printf(sink, "=            K  E  L  T  O   :  Version  1.0               =\n");
    sink_printf(sink, "============================================================\n");
    sink_printf(sink, "=   Gene quartets: windows of extreme C(k)12 differences   =\n");
    sink_printf(sink, "=   Permutation test over substitution-matrix profiles     =\n");
}

// The menu is a question: it is shown also on a quiet console.
void write_menu(TextSink &console)
{
    sink_message(console, "Select matrix: \n\n");
    sink_message(console, "   1- BLOSUM45\n");
    sink_message(console, "   2- BLOSUM62\n");
    sink_message(console, "   3- BLOSUM90\n");
    sink_message(console, "   4- PAM30\n");
    sink_message(console, "   5- PAM70\n");
    sink_message(console, "   6- PAM250\n\n\t\tOption= ");
}

enum class Randomisations { kValid, kBelowOne, kTooLarge };

// Decimal conversion as the command line gives it: leading blanks, a sign,
// digits up to the first non-digit; no digits reads as 0.
Randomisations parse_randomisations(const char *text, int &value)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (std::isspace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long magnitude = 0;
    for (; std::isdigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > INT_MAX)
            return negative ? Randomisations::kBelowOne : Randomisations::kTooLarge;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return value < 1 ? Randomisations::kBelowOne : Randomisations::kValid;
}

// Shows the menu until an option 1-6 is read. Returns the option's index
// 0-5, or -1 when the input ends first.
int choose_matrix(const RunIo &io, TextSink &console)
{
    for (;;) {
        write_menu(console);
        sink_flush(console);
        if (io.menu_input_is_terminal)
            tcflush(fileno(io.menu_input), TCIFLUSH);
        const int answer = std::getc(io.menu_input);
        if (answer == EOF)
            return -1;
        for (int c = answer; c != '\n' && c != EOF;)
            c = std::getc(io.menu_input);
        if (answer >= '1' && answer <= '6')
            return answer - '1';
    }
}

// An output file besides the report: its role in messages, path and sink.
struct ResultFile {
    const char *role;  // "JSON", "TSV", "HTML"
    std::string path;
    TextSink sink;
};

// Everything a run keeps from start-up to its end line.
struct RunState {
    TextSink console;
    TextSink report;
    ResultFile json{"JSON", {}, {}};
    ResultFile tsv{"TSV", {}, {}};
    ResultFile html{"HTML", {}, {}};
    bool run_line_written = false;
    StopReason reason = StopReason::kNone;
    long long written = 0;       // quartets written by this process
    long long written_before = 0;  // quartets already in the files when resuming
    long long range_size = 0;    // quartets of this run (of its block for a shard)
    bool already_complete = false;  // --resume found nothing left to do
    SequenceSet set;                // the trimmed records, for the HTML page
    int matrix = -1;                // index into kMatrixSet once chosen
    bool json_temporary = false;    // the record exists only for the HTML page
};

std::string report_heading(int randomisations)
{
    TextSink heading;
    sink_printf(heading, "============================================================\n");
    write_banner_box(heading);
    sink_printf(heading, "============================================================\n");
    sink_printf(heading, "\nT = %d \n", randomisations);
    return heading.text;
}

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

// Checks that the record read back belongs to this command line and input,
// and that the report and TSV hold what it says. Returns a one-line reason
// for a refusal, or an empty string.
std::string resume_mismatch(const RunOptions &options, FILE *input, int randomisations, const ResumePoint &point,
                            const std::string &heading)
{
    const nlohmann::ordered_json &run = point.run;
    FileDigest digest;
    if (!digest_stream(input, digest))
        return "the input file cannot be read";
    std::rewind(input);
    const nlohmann::ordered_json &recorded_input = run.value("input", nlohmann::ordered_json::object());
    if (recorded_input.value("bytes", uint64_t{0}) != digest.bytes ||
        recorded_input.value("xxh3_128", std::string()) != digest.xxh3_128)
        return "the input file differs from the recorded run's (size or checksum)";
    if (run.value("T", 0) != randomisations)
        return "T differs: the recorded run used T = " + std::to_string(run.value("T", 0));
    const std::string matrix = run.value("matrix", std::string());
    if (matrix_from_text(matrix) < 0)
        return "the record names no known matrix";
    if (options.matrix >= 0 && kMatrixSet[static_cast<std::size_t>(options.matrix)].name != matrix)
        return "the matrix differs: the recorded run used " + matrix;
    if (options.seed_given && run["seed"].get<uint64_t>() != options.seed)
        return "the seed differs: the recorded run used " + std::to_string(run["seed"].get<uint64_t>());
    const bool shard = run.contains("shard");
    if (shard != (options.shard_count > 0) ||
        (shard && (run["shard"].value("index", 0) != options.shard_index ||
                   run["shard"].value("count", 0) != options.shard_count)))
        return "the shard differs from the recorded run's";
    if (!file_holds(options.positionals[1], point.report_bytes, heading))
        return "the report is missing, from another run, or shorter than the record says";
    if (!options.tsv_path.empty() && !file_holds(options.tsv_path, point.tsv_bytes, kTsvHeader))
        return "the TSV file is missing, from another run, or shorter than the record says";
    return {};
}

// Cuts a file back to `length` bytes and opens it for appending.
FILE *reopen_at(const std::string &path, uint64_t length)
{
    if (truncate(path.c_str(), static_cast<off_t>(length)) != 0)
        return nullptr;
    return std::fopen(path.c_str(), "a");
}

// Refuses an extra output that names the input, the report or another
// output. Returns false with the message printed.
bool check_outputs(FILE *input, const std::string &input_name, const std::string &report_name, RunState &state)
{
    ResultFile *files[] = {&state.json, &state.tsv, &state.html};
    for (std::size_t i = 0; i < 3; ++i) {
        const ResultFile &file = *files[i];
        if (file.path.empty())
            continue;
        const char *clash = nullptr;
        const std::string *other = nullptr;
        if (same_file(input, file.path.c_str())) {
            clash = "the input";
            other = &input_name;
        } else if (same_target(file.path, report_name)) {
            clash = "the report";
            other = &report_name;
        }
        for (std::size_t j = 0; j < i && clash == nullptr; ++j)
            if (!files[j]->path.empty() && same_target(file.path, files[j]->path)) {
                clash = files[j]->role;
                other = &files[j]->path;
            }
        if (clash != nullptr) {
            sink_message(state.console, "\n The %s file %s is the same file as %s %s.\n", file.role,
                         file.path.c_str(), clash, other->c_str());
            return false;
        }
    }
    return true;
}

bool open_result_file(ResultFile &file, TextSink &console)
{
    if (file.path.empty())
        return true;
    file.sink.file = std::fopen(file.path.c_str(), "w");
    if (file.sink.file == nullptr) {
        sink_message(console, "\n Cannot create the %s file %s.\n", file.role, file.path.c_str());
        return false;
    }
    return true;
}

// Everything after the banner; the caller flushes and closes the files.
Status run_stages(const RunOptions &options, const RunIo &io, uint64_t clock_seed, int workers, RunState &state)
{
    TextSink &console = state.console;
    TextSink &report = state.report;
    if (options.positionals.size() < 3) {
        sink_message(console, "\nSyntax:\n\n KELTO  IN_FILE.TXT  OUT_FILE.TXT  T\n");
        return Status::kStopInput;
    }
    const std::string &input_name = options.positionals[0];
    const std::string &report_name = options.positionals[1];
    FileHandle input(std::fopen(input_name.c_str(), "r"));
    if (!input || same_file(input.get(), report_name.c_str())) {
        sink_message(console, "\n %s  --> %s", input_name.c_str(), report_name.c_str());
        sink_message(console, "\n Problems with the files!.\n");
        return Status::kStopInput;
    }
    state.json.path = options.json_path;
    state.tsv.path = options.tsv_path;
    state.html.path = options.html_path;
    if (!check_outputs(input.get(), input_name, report_name, state))
        return Status::kStopInput;

    int randomisations = 0;
    ResumePoint point;
    int option = options.matrix;
    if (options.resume) {
        // Nothing is opened for writing until the record is known to fit.
        if (parse_randomisations(options.positionals[2].c_str(), randomisations) != Randomisations::kValid) {
            sink_message(console, "\n Cannot resume: T must be the recorded run's, a number from 1 to %d.\n", INT_MAX);
            return Status::kStopInput;
        }
        std::string why;
        const std::string heading = report_heading(randomisations);
        const bool read = read_resume_point(options.json_path, point, why);
        if (read && !point.has_quartets) {
            // Nothing analysed yet: the files hold their heading and header.
            point.report_bytes = heading.size();
            point.tsv_bytes = std::strlen(kTsvHeader);
        }
        if (!read || !(why = resume_mismatch(options, input.get(), randomisations, point, heading)).empty()) {
            sink_message(console, "\n Cannot resume: %s.\n", why.c_str());
            return Status::kStopInput;
        }
        if (run_finished(point)) {
            sink_message(console, "\n The run recorded in %s is already complete (%s); nothing to do.\n",
                         options.json_path.c_str(), point.end_status.c_str());
            state.already_complete = true;
            return Status::kContinue;
        }
        option = matrix_from_text(point.run["matrix"].get<std::string>());
        report.file = reopen_at(report_name, point.report_bytes);
        report.bytes = point.report_bytes;
        state.json.sink.file = reopen_at(state.json.path, point.json_bytes);
        if (!state.tsv.path.empty())
            state.tsv.sink.file = reopen_at(state.tsv.path, point.tsv_bytes);
        if (report.file == nullptr || state.json.sink.file == nullptr ||
            (!state.tsv.path.empty() && state.tsv.sink.file == nullptr)) {
            sink_message(console, "\n Cannot resume: the report, JSON or TSV file cannot be cut back and reopened.\n");
            return Status::kStopInput;
        }
        state.run_line_written = true;
        // The setup's console text was shown by the first run.
        console.quiet = true;
    } else {
        report.file = std::fopen(report_name.c_str(), "w");
        if (report.file == nullptr) {
            sink_message(console, "\n %s  --> %s", input_name.c_str(), report_name.c_str());
            sink_message(console, "\n Problems with the files!.\n");
            return Status::kStopInput;
        }
        if (!open_result_file(state.json, console) || !open_result_file(state.tsv, console))
            return Status::kStopInput;
        if (state.json.path.empty() && !state.html.path.empty()) {
            // The page is drawn from the record: keep one in a temporary file.
            state.json.sink.file = std::tmpfile();
            state.json_temporary = true;
            if (state.json.sink.file == nullptr) {
                sink_message(console, "\n Cannot create a temporary file for the HTML page.\n");
                return Status::kStopInput;
            }
        }

        switch (parse_randomisations(options.positionals[2].c_str(), randomisations)) {
        case Randomisations::kValid: break;
        case Randomisations::kBelowOne:
            sink_message(console, "\n T > 0 !!.\n");
            return Status::kStopInput;
        case Randomisations::kTooLarge:
            sink_message(console, "\n T is too large: at most %d randomisations.\n", INT_MAX);
            return Status::kStopInput;
        }
        if (option < 0)
            option = choose_matrix(io, console);
        if (option < 0) {
            sink_message(console, "\n No matrix option: the input ended before an answer 1 to 6.\n");
            return Status::kStopInput;
        }
    }
    const NamedMatrix &matrix = kMatrixSet[static_cast<std::size_t>(option)];
    state.matrix = option;
    sink_printf(console, "============================================================\n\n");

    if (!options.resume)
        sink_printf(report, "%s", report_heading(randomisations).c_str());
    sink_printf(console, "\nT = %d \n", randomisations);

    RunRecord record;
    // The run line's checksum (a resumed run keeps its run line, checked above).
    const bool new_record = !options.resume && (!state.json.path.empty() || !state.html.path.empty());
    if (new_record && !digest_stream(input.get(), record.input)) {
        sink_message(console, "\n Problems reading the input file %s.\n", input_name.c_str());
        return Status::kStopInput;
    }
    std::rewind(input.get());

    sink_printf(console, "\n------------------------------------------------------------");
    SequenceSet &set = state.set;
    int shortest = 0;
    std::string text;
    std::string message;
    Status status = read_pair_file(input.get(), text, message, set, shortest);
    input.reset();
    sink_write(console, text);
    if (status != Status::kContinue) {
        sink_message(console, "%s", message.c_str());
        return status;
    }
    for (const SequenceRecord &r : set.records)
        record.record_lengths.push_back(static_cast<int>(r.residues.size()));

    text.clear();
    const int n_minimum = remove_gap_columns(set, shortest, text);
    sink_write(console, text);

    const bool seed_from_option = options.resume ? point.run.value("seed_source", std::string()) == "option"
                                                 : options.seed_given;
    const uint64_t seed = options.resume ? point.run["seed"].get<uint64_t>()
                                         : options.seed_given ? options.seed : clock_seed;
    const long long quartets = quartet_count(set.pair_count());
    QuartetRange range;
    if (options.resume) {
        range.first = point.next_quartet;
        range.end = point.run.contains("shard") ? point.run["shard"].value("end", quartets) : quartets;
        state.written_before = point.recorded;
    } else {
        range = shard_setup(options.shard_index, options.shard_count, set, matrix.scores, report_name,
                            options.tsv_path, record);
    }
    const long long range_begin = !options.resume            ? range.first
                                  : point.run.contains("shard") ? point.run["shard"].value("first", 0LL)
                                                                : 0;
    state.range_size = (range.end < 0 ? quartets : range.end) - range_begin;
    workers = options.threads > 0 ? options.threads : workers;
    workers = static_cast<int>(std::clamp<long long>(workers, 1, std::max<long long>(quartets, 1)));

    record.version = kProgramVersion;
    record.seed = seed;
    record.seed_from_option = seed_from_option;
    record.randomisations = randomisations;
    record.matrix = matrix.name;
    record.input_path = input_name;
    record.trimmed = &set;
    record.gap_columns = shortest - n_minimum;
    record.n_minimum = n_minimum;
    record.quartets = quartets;
    record.threads = workers;
    if (!options.resume && state.json.sink.file != nullptr) {
        sink_write(state.json.sink, json_run_line(record));
        state.run_line_written = true;
    }
    if (!options.resume && state.tsv.sink.file != nullptr)
        sink_write(state.tsv.sink, kTsvHeader);
    if (state.json.sink.file != nullptr) {
        // The record exists from the start, not only after a first quartet.
        sink_flush(report);
        if (state.tsv.sink.file != nullptr)
            sink_flush(state.tsv.sink);
        sink_flush(state.json.sink);
    }

    if (options.resume)
        std::fprintf(io.errors, "kelto: seed %llu (from the record %s)\n", static_cast<unsigned long long>(seed),
                     options.json_path.c_str());
    else if (options.seed_given)
        std::fprintf(io.errors, "kelto: seed %llu (from --seed)\n", static_cast<unsigned long long>(seed));
    else
        std::fprintf(io.errors, "kelto: seed %llu (from the clock; rerun with --seed %llu)\n",
                     static_cast<unsigned long long>(seed), static_cast<unsigned long long>(seed));
    std::fflush(io.errors);

    if (options.resume) {
        console.quiet = options.quiet;
        const long long next = point.next_quartet - range_begin;
        if (point.limit_stop.empty() && next < state.range_size)
            sink_printf(console, "\n Resuming the run recorded in %s at quartet %lld of %lld.\n",
                        options.json_path.c_str(), next + 1, state.range_size);
        else  // killed between its last quartet and its end line
            sink_printf(console,
                        "\n Resuming the run recorded in %s: no quartet is left to analyse; its record is closed.\n",
                        options.json_path.c_str());
        if (!point.limit_stop.empty()) {
            // The last recorded quartet stopped the run at a limit: only the end line is missing.
            state.reason = limit_stop_from_name(point.limit_stop);
            return Status::kStopInput;
        }
    }

    QuartetSinks sinks;
    sinks.console = &console;
    sinks.report = &report;
    sinks.json = state.json.sink.file != nullptr ? &state.json.sink : nullptr;
    sinks.tsv = state.tsv.sink.file != nullptr ? &state.tsv.sink : nullptr;
    sinks.tsv_bytes = options.resume ? point.tsv_bytes : std::strlen(kTsvHeader);
    AnalysisSettings settings = make_analysis_settings(n_minimum, randomisations, seed);
    if (io.handle_stop_signals) {
        install_stop_handlers();
        settings.stop = &stop_signal();
    } else {
        settings.stop = io.stop;
    }
    const QuartetsOutcome outcome = run_quartets(set, matrix.scores, settings, workers, sinks, range,
                                                 ProgressTarget{io.progress, io.console_is_terminal});
    state.reason = outcome.reason;
    state.written = outcome.written;
    return outcome.status;
}

// Flushes and closes a results file; false when it could not be written.
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
bool write_run_page(RunState &state, FILE *temporary_json)
{
    FILE *record = temporary_json != nullptr ? temporary_json : std::fopen(state.json.path.c_str(), "rb");
    std::string message = "the record cannot be read";
    bool written = false;
    if (record != nullptr) {
        std::rewind(record);
        PageData data;
        const SubstitutionMatrix &matrix = kMatrixSet[static_cast<std::size_t>(state.matrix)].scores;
        if (read_page_data(record, state.set, matrix, data, message)) {
            FILE *page = std::fopen(state.html.path.c_str(), "w");
            message = "it cannot be created";
            if (page != nullptr) {
                written = write_page(data, state.set, matrix, page, message);
                written = std::fclose(page) == 0 && written;
                if (!written)
                    remove_written_file(state.html.path);
            }
        }
        if (temporary_json == nullptr)
            std::fclose(record);
    }
    if (!written)
        sink_message(state.console, "\n Problems writing the HTML file %s: %s.\n", state.html.path.c_str(),
                     message.c_str());
    return written;
}

// The record exists but holds not even a whole first line.
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

void print_version(FILE *out)
{
    std::fprintf(out, "kelto %s\n", kProgramVersion);
    std::fprintf(out, "randomisation kernel: %s\n",
                 wide_kernel_available() ? "wide (AVX-512 draws, eight at a time)" : "scalar (this CPU has no AVX-512)");
}

}  // namespace

int run(int argc, const char *const *argv, const RunIo &io, uint64_t clock_seed, int workers)
{
    if (argc >= 2 && std::strcmp(argv[1], "merge") == 0)
        return run_merge(argc - 1, argv + 1, io);
    if (argc >= 2 && std::strcmp(argv[1], "html") == 0)
        return html_command(argc - 1, argv + 1, io.console);
    const auto start = std::chrono::steady_clock::now();
    RunOptions options;
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        std::fprintf(io.errors, "kelto: %s\n%s", error.c_str(), kUsageLine);
        return kExitStopped;
    }
    if (options.help) {
        std::fputs(help_text().c_str(), io.console);
        return kExitOk;
    }
    if (options.version) {
        print_version(io.console);
        return kExitOk;
    }

    if (options.resume && nothing_recorded(options.json_path)) {
        // Stopped before its first line was written: nothing to keep.
        std::fprintf(io.console, "\n Nothing of the run was recorded in %s; it starts from the beginning.\n",
                     options.json_path.c_str());
        options.resume = false;
    }

    RunState state;
    state.console.file = io.console;
    state.console.quiet = options.quiet;
    TextSink &console = state.console;
    if (!options.resume) {
        sink_printf(console, "\n============================================================\n");
        write_banner_box(console);
        sink_printf(console, "============================================================\n\n");
    }

    Status status = Status::kContinue;
    try {
        status = run_stages(options, io, clock_seed, workers, state);
    } catch (const std::bad_alloc &) {
        sink_message(console, "\n Memory allocation failed.\n");
        status = Status::kStopMemory;
        state.reason = StopReason::kMemory;
    }

    if (state.already_complete) {
        sink_flush(console);
        return kExitOk;
    }
    const int signal_number = io.handle_stop_signals ? stop_signal().load() : io.stop != nullptr ? io.stop->load() : 0;
    if (status == Status::kStopSignal) {
        sink_message(console, "\n Stopped by signal %d: %lld of %lld quartets written.", signal_number,
                     state.written_before + state.written, state.range_size);
        if (state.run_line_written)
            sink_message(console, " To continue, run the same command with --resume.\n");
        else
            sink_message(console, " Runs with --json FILE can be continued with --resume.\n");
    }
    const int exit_code = status == Status::kStopSignal ? 128 + signal_number : exit_status(status);

    // The report first, then the TSV, then the JSON end line: the JSON
    // record never claims more than the other files hold. Each reaches the
    // disk before the next is closed.
    const bool report_open = state.report.file != nullptr;
    if (report_open && !close_sink(state.report)) {
        sink_message(console, "\n Problems writing the report file %s.\n", options.positionals[1].c_str());
        if (status == Status::kContinue)
            status = Status::kStopInput;
        state.reason = StopReason::kWriteError;
    }
    if (!close_sink(state.tsv.sink)) {
        sink_message(console, "\n Problems writing the TSV file %s.\n", state.tsv.path.c_str());
        if (status == Status::kContinue)
            status = Status::kStopInput;
        state.reason = StopReason::kWriteError;
    }
    if (state.run_line_written) {
        if (state.reason == StopReason::kNone && status != Status::kContinue)
            state.reason = StopReason::kWriteError;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        sink_write(state.json.sink,
                   json_end_line(state.reason, exit_code, state.written_before + state.written, wall));
    }
    FILE *temporary_json = nullptr;
    if (state.json_temporary) {
        temporary_json = state.json.sink.file;
        sink_flush(state.json.sink);
        state.json.sink.file = nullptr;
    }
    if (!close_sink(state.json.sink)) {
        sink_message(console, "\n Problems writing the JSON file %s.\n", state.json.path.c_str());
        if (status == Status::kContinue)
            status = Status::kStopInput;
    }
    if (!state.html.path.empty() && state.run_line_written && !write_run_page(state, temporary_json)) {
        if (status == Status::kContinue)
            status = Status::kStopInput;
    }
    if (temporary_json != nullptr)
        std::fclose(temporary_json);
    sink_flush(console);
    return status == Status::kStopSignal ? exit_code : exit_status(status);
}

}  // namespace kelto
