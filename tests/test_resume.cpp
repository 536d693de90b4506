// Stopping a run and continuing it: the clean stop on SIGTERM, SIGINT and
// SIGHUP, SIGKILL at any moment, torn records, finished records, and the
// records that --resume refuses. Every continued run must end with the same
// files as an uninterrupted one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::BackgroundRun;
using testing::comparable_lines;
using testing::Json;
using testing::ProcessEnd;
using testing::read_file;
using testing::RunResult;
using testing::TempDir;
using testing::whole_lines;
using testing::write_file;
using namespace std::chrono_literals;
constexpr std::size_t npos = std::string::npos;

// Generous enough for AddressSanitizer (a whole run on one thread may take
// half a minute there) and for an emulated build, where one run may take
// minutes; normal runs take a second.
const std::chrono::seconds kTimeout = std::string_view(KELTO_EMULATOR).empty() ? 120s : 480s;

// 12 pairs of 100 random residues: 66 quartets, about a second in all
// with two threads. Records that are only read back come from a quick run.
constexpr int kQuartets = 66;
const std::string kT = "2500";
const std::string kQuickT = "20";
const std::string kSeed = "20261207";

std::string run_input()
{
    std::mt19937 engine(2026);
    std::vector<std::string> records;
    for (int i = 0; i < 24; ++i)
        records.push_back(testing::random_residues(engine, 100));
    return testing::pair_file(records);
}

// A command line of the run, with the files in the run's directory.
struct Command {
    std::string seed = kSeed;         // empty: no --seed
    std::string matrix = "BLOSUM62";  // empty: no --matrix
    int threads = 2;
    std::string t = kT;
    bool resume = false;
    std::vector<std::string> extra = {};

    std::vector<std::string> args() const
    {
        std::vector<std::string> args{"--threads", std::to_string(threads), "--json", "run.jsonl", "--tsv", "run.tsv"};
        if (!seed.empty())
            args.insert(args.end(), {"--seed", seed});
        if (!matrix.empty())
            args.insert(args.end(), {"--matrix", matrix});
        if (resume)
            args.push_back("--resume");
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"in.txt", "out.txt", t});
        return args;
    }
};

Command resume_with(int threads, const std::string &t = kT)
{
    return Command{.threads = threads, .t = t, .resume = true};
}

BackgroundRun start(const TempDir &dir, const Command &command)
{
    return BackgroundRun(command.args(), dir.dir, dir.path("console.txt"), dir.path("errors.txt"));
}

// Runs the command in the directory to its end (status -1: it did not exit).
RunResult run_in(const TempDir &dir, const Command &command)
{
    BackgroundRun run = start(dir, command);
    EXPECT_TRUE(run.wait(kTimeout)) << "the run did not end within " << kTimeout.count() << " s";
    EXPECT_TRUE(run.end().exited) << "ended by signal " << run.end().signal;
    RunResult result;
    result.status = run.end().exited ? run.end().status : -1;
    result.console = read_file(dir.path("console.txt"));
    result.errors = read_file(dir.path("errors.txt"));
    return result;
}

// The report, JSON record and TSV of a run.
struct Files {
    std::string report, json, tsv;
};

Files read_files(const TempDir &dir)
{
    return Files{read_file(dir.path("out.txt")), read_file(dir.path("run.jsonl")), read_file(dir.path("run.tsv"))};
}

void write_files(const TempDir &dir, const Files &files)
{
    write_file(dir.path("out.txt"), files.report);
    write_file(dir.path("run.jsonl"), files.json);
    write_file(dir.path("run.tsv"), files.tsv);
}

std::size_t line_count(const std::string &text) { return whole_lines(text).size(); }

// The first `count` lines of a text, with their line feeds.
std::string head(const std::string &text, std::size_t count)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < count; ++i)
        at = text.find('\n', at) + 1;
    return text.substr(0, at);
}

// A directory holding the run's input.
void prepare(const TempDir &dir) { write_file(dir.path("in.txt"), run_input()); }

// The files of the uninterrupted run every stopped and continued one is
// compared with, and those of a quick run for records only read back.
Files make_reference(const std::string &t)
{
    TempDir dir;
    prepare(dir);
    run_in(dir, Command{.t = t});
    return read_files(dir);
}

const Files &reference()
{
    static const Files full = make_reference(kT);
    return full;
}

const Files &quick_reference()
{
    static const Files quick = make_reference(kQuickT);
    return quick;
}

// Checks a reference itself, so that a failure there is not blamed on resuming.
void check_reference(const Files &files = reference())
{
    const std::vector<std::string> lines = whole_lines(files.json);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kQuartets + 2));
    ASSERT_NE(lines.back().find("\"status\":\"completed\",\"exit_status\":0,"), npos) << lines.back();
    ASSERT_NE(files.report.find("GENE QUARTET"), npos);
}

// The files in `dir` are those of the uninterrupted run `expected`: report
// and TSV byte for byte, the record line for line, the run line's thread
// count and the end line's wall time aside.
void expect_files(const TempDir &dir, const Files &expected)
{
    const Files files = read_files(dir);
    EXPECT_TRUE(files.report == expected.report)
        << "the report differs: " << files.report.size() << " bytes, not " << expected.report.size();
    EXPECT_EQ(files.tsv, expected.tsv);
    EXPECT_EQ(comparable_lines(files.json), comparable_lines(expected.json));
}

void expect_reference(const TempDir &dir) { expect_files(dir, reference()); }

// Files that begin as the reference's do, byte for byte.
void expect_beginning(const Files &part)
{
    const Files &want = reference();
    EXPECT_TRUE(want.report.starts_with(part.report)) << "the report is not the reference's";
    EXPECT_TRUE(want.tsv.starts_with(part.tsv)) << part.tsv;
    EXPECT_TRUE(want.json.starts_with(part.json)) << part.json;
}

// Starts the command, sends `signal` once the record holds `lines` whole
// lines (0: once it exists) and waits for the end; `took` gets the time
// from the signal to the end.
ProcessEnd stop_after(const TempDir &dir, const Command &command, std::size_t lines, int signal,
                      std::chrono::duration<double> *took = nullptr)
{
    BackgroundRun run = start(dir, command);
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    const auto there = [&, record = dir.path("run.jsonl")] {
        struct stat info;
        return lines == 0 ? stat(record.c_str(), &info) == 0 : line_count(read_file(record)) >= lines;
    };
    while (!there()) {
        if (run.wait(0ms) || std::chrono::steady_clock::now() >= deadline) {
            EXPECT_TRUE(there()) << "the record never held " << lines << " lines";
            break;
        }
        std::this_thread::sleep_for(1ms);
    }
    const auto signalled = std::chrono::steady_clock::now();
    run.send(signal);
    EXPECT_TRUE(run.wait(kTimeout)) << "no end within " << kTimeout.count() << " s of signal " << signal;
    if (took != nullptr)
        *took = std::chrono::steady_clock::now() - signalled;
    return run.end();
}

// A killed run's files: every whole record line is the reference's, the
// report and TSV are beginnings of the reference's and hold at least what
// the record says (or, when the run ended first, they are the reference
// files). Returns the quartets recorded.
long long expect_killed_files(const TempDir &dir)
{
    const Files files = read_files(dir);
    if (line_count(files.json) == kQuartets + 2u) {
        expect_reference(dir);
        return kQuartets;
    }
    expect_beginning(files);
    const std::vector<std::string> lines = whole_lines(files.json);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const Json json = Json::parse(*line);
        if (json["type"] == "quartet") {
            EXPECT_GE(files.report.size(), json["report_bytes"].get<std::size_t>());
            EXPECT_GE(files.tsv.size(), json["tsv_bytes"].get<std::size_t>());
            return json["quartet"].get<long long>() + 1;
        }
    }
    return 0;
}

// A run stopped cleanly by `signal` after at least `least` quartets and
// before the last: its files end at a quartet boundary as the reference's
// begin, the record is closed by an end line, and the console says how to
// continue. Returns the quartets recorded.
long long expect_clean_stop(const TempDir &dir, int signal, int exit_status, long long least)
{
    const Files files = read_files(dir);
    const std::vector<Json> lines = testing::json_lines(files.json);
    const long long recorded = static_cast<long long>(lines.size()) - 2;
    EXPECT_TRUE(recorded >= least && recorded < kQuartets) << recorded << " quartets recorded";
    if (recorded < 1)
        return recorded;
    Json end = lines.back();
    end.erase("wall_seconds");
    EXPECT_EQ(end.dump(), "{\"type\":\"end\",\"status\":\"interrupted\",\"exit_status\":" +
                              std::to_string(exit_status) + ",\"quartets_written\":" + std::to_string(recorded) + "}");
    const Json &last = lines[lines.size() - 2];
    EXPECT_EQ(last["quartet"], recorded - 1);
    EXPECT_EQ(files.report.size(), last["report_bytes"].get<std::size_t>());
    EXPECT_EQ(files.tsv.size(), last["tsv_bytes"].get<std::size_t>());
    expect_beginning(Files{files.report, head(files.json, lines.size() - 1), files.tsv});
    const std::string console = read_file(dir.path("console.txt"));
    EXPECT_NE(console.find("\n Stopped by signal " + std::to_string(signal) + ": " + std::to_string(recorded) + " of " +
                           std::to_string(kQuartets) +
                           " quartets written. To continue, run the same command with --resume.\n"),
              npos)
        << console.substr(console.size() > 300 ? console.size() - 300 : 0);
    return recorded;
}

// Sets the files' modification times far into the past, so that any write
// or truncation afterwards shows.
constexpr time_t kOldTime = 1000000000;

void age(const TempDir &dir)
{
    const timespec times[2] = {{kOldTime, 0}, {kOldTime, 0}};
    for (const char *name : {"in.txt", "out.txt", "run.jsonl", "run.tsv"})
        utimensat(AT_FDCWD, dir.path(name).c_str(), times, 0);
}

void expect_untouched(const std::string &path, const std::string &bytes)
{
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mtim.tv_sec, kOldTime) << path << " was written";
    EXPECT_EQ(info.st_mtim.tv_nsec, 0) << path << " was written";
    EXPECT_TRUE(read_file(path) == bytes) << path << " changed";
}

void expect_untouched(const TempDir &dir, const Files &files)
{
    expect_untouched(dir.path("out.txt"), files.report);
    expect_untouched(dir.path("run.jsonl"), files.json);
    expect_untouched(dir.path("run.tsv"), files.tsv);
}

std::string resuming_at(long long quartet)
{
    return "\n Resuming the run recorded in run.jsonl at quartet " + std::to_string(quartet) + " of " +
           std::to_string(kQuartets) + ".\n";
}

// What --resume says when every quartet is recorded but the end line is
// not, and when the record holds no whole line.
const std::string kNothingLeft =
    "\n Resuming the run recorded in run.jsonl: no quartet is left to analyse; its record is closed.\n";
const std::string kStartsAfresh = "\n Nothing of the run was recorded in run.jsonl; it starts from the beginning.\n";

// --- Clean stops -------------------------------------------------------

struct StopSignal {
    int number;
    int exit_status;
    int resume_threads;
    bool killed_first;  // stopped in a run resumed after SIGKILL
};

void PrintTo(const StopSignal &signal, std::ostream *out) { *out << "signal " << signal.number; }

class CleanStop : public ::testing::TestWithParam<StopSignal> {};

// The run stops at a quartet boundary, and --resume with another thread
// count completes the reference files. Stopped in a resumed run, the stop
// counts the quartets of both processes.
TEST_P(CleanStop, EndsAtAQuartetAndResumesToTheSameFiles)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    const StopSignal signal = GetParam();
    TempDir dir;
    prepare(dir);
    long long killed = -1;
    if (signal.killed_first) {
        ASSERT_EQ(stop_after(dir, Command{}, 1 + 4, SIGKILL).signal, SIGKILL);
        killed = expect_killed_files(dir);
    }
    const ProcessEnd end = stop_after(dir, Command{.resume = signal.killed_first}, 1 + 20, signal.number);
    ASSERT_TRUE(end.exited) << "ended by signal " << end.signal;
    EXPECT_EQ(end.status, signal.exit_status);
    const long long recorded = expect_clean_stop(dir, signal.number, signal.exit_status, 20);
    if (signal.killed_first) {
        const std::string console = read_file(dir.path("console.txt"));
        EXPECT_NE(console.find(resuming_at(killed + 1)), npos) << console.substr(0, 300);
    }

    const RunResult resumed = run_in(dir, resume_with(signal.resume_threads));
    EXPECT_EQ(resumed.status, 0) << resumed.console;
    EXPECT_NE(resumed.console.find(resuming_at(recorded + 1)), npos) << resumed.console.substr(0, 300);
    EXPECT_EQ(resumed.errors, "kelto: seed " + kSeed + " (from the record run.jsonl)\n");
    expect_reference(dir);
}

INSTANTIATE_TEST_SUITE_P(Signals, CleanStop,
                         ::testing::Values(StopSignal{SIGTERM, 143, 3, false}, StopSignal{SIGINT, 130, 1, true},
                                           StopSignal{SIGHUP, 129, 3, false}),
                         [](const ::testing::TestParamInfo<StopSignal> &p) {
                             return std::string(p.param.number == SIGTERM  ? "Term"
                                                : p.param.number == SIGINT ? "IntAfterAKill"
                                                                           : "Hup");
                         });

// --- SIGKILL ---------------------------------------------------------------

class Killed : public ::testing::TestWithParam<std::size_t> {};

// Killed once the record holds this many lines (0: once it exists), then
// resumed: nothing but the quartets in progress is lost.
TEST_P(Killed, ResumesToTheSameFiles)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    const std::size_t lines = GetParam();
    TempDir dir;
    prepare(dir);
    const ProcessEnd end = stop_after(dir, Command{}, lines, SIGKILL);
    if (end.exited)  // it finished first: all that is left is a complete run
        ASSERT_EQ(end.status, 0);
    else
        ASSERT_EQ(end.signal, SIGKILL);
    const std::string killed_json = read_file(dir.path("run.jsonl"));
    const long long recorded = expect_killed_files(dir);
    const std::string said = line_count(killed_json) == kQuartets + 2u
                                 ? "\n The run recorded in run.jsonl is already complete (completed)"
                             : killed_json.find('\n') == npos ? kStartsAfresh
                             : recorded == kQuartets          ? kNothingLeft
                                                              : resuming_at(recorded + 1);
    const RunResult resumed = run_in(dir, resume_with(lines % 2 == 0 ? 3 : 1));
    EXPECT_EQ(resumed.status, 0) << resumed.console;
    EXPECT_NE(resumed.console.find(said), npos) << resumed.console.substr(0, 300);
    expect_reference(dir);
}

// Before the first quartet is complete (the run line is written before
// it), after the first, in the middle, and right after the last.
INSTANTIATE_TEST_SUITE_P(Moments, Killed, ::testing::Values(0u, 2u, 9u, 40u, kQuartets + 1u),
                         [](const ::testing::TestParamInfo<std::size_t> &p) {
                             return "After" + std::to_string(p.param) + "Lines";
                         });

// --- Records cut back ------------------------------------------------------------

// A record of a run killed after 20 quartets, the files as it left them.
Files interrupted_files()
{
    const Files &all = quick_reference();
    const Json last = Json::parse(whole_lines(all.json)[20]);
    return Files{all.report.substr(0, last["report_bytes"].get<std::size_t>()), head(all.json, 1 + 20),
                 all.tsv.substr(0, last["tsv_bytes"].get<std::size_t>())};
}

// Records as a kill may leave them resume to the uninterrupted run's files:
// a torn last line (whether or not a line feed happens to end it) is dropped
// and its quartet analysed again, a report and TSV longer than the record
// says are cut back, and a record without a whole first line starts the run
// afresh. Cut back at a quartet, the record is the one the refusals below
// start from: the seed comes from it, the matrix may be given by its number.
TEST(Resume, RecordsCutBackResume)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    const Files &all = quick_reference();
    const std::string torn = head(all.json, 1 + 50) + whole_lines(all.json)[1 + 50].substr(0, 40);
    const struct {
        Files files;
        std::string said;
        bool from_record;
    } cases[] = {{Files{all.report, torn, all.tsv}, resuming_at(51), false},
                 {Files{all.report, torn + "\n", all.tsv}, resuming_at(51), false},
                 {interrupted_files(), resuming_at(21), true},
                 {Files{all.report.substr(0, 100), all.json.substr(0, 60), ""}, kStartsAfresh, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.said);
        TempDir dir;
        prepare(dir);
        write_files(dir, c.files);
        Command command = resume_with(2, kQuickT);
        if (c.from_record) {
            command.seed.clear();
            command.matrix = "2";
        }
        const RunResult resumed = run_in(dir, command);
        EXPECT_EQ(resumed.status, 0);
        EXPECT_NE(resumed.console.find(c.said), npos) << resumed.console.substr(0, 300);
        const std::string source = c.said == kStartsAfresh ? "--seed" : "the record run.jsonl";
        EXPECT_EQ(resumed.errors, "kelto: seed " + kSeed + " (from " + source + ")\n");
        expect_files(dir, all);
    }
}

// --- Finished records --------------------------------------------------------

// A complete run, and one that stopped at a "Too many" limit, are left as
// they are; killed before its end line, the stopped run only gets that line.
TEST(Resume, FinishedRunsAreLeftAsTheyAre)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    TempDir dir;
    prepare(dir);
    write_files(dir, quick_reference());
    age(dir);
    const RunResult complete = run_in(dir, resume_with(3, kQuickT));
    EXPECT_EQ(complete.status, 0);
    EXPECT_NE(complete.console.find("\n The run recorded in run.jsonl is already complete (completed); nothing to do."),
              npos)
        << complete.console;
    expect_untouched(dir, quick_reference());
    expect_untouched(dir.path("in.txt"), run_input());

    write_file(dir.path("in.txt"), testing::pair_file(testing::too_many_maximum_records()));
    Command command{.threads = 3, .t = "40"};
    ASSERT_EQ(run_in(dir, command).status, 2);
    const Files limited = read_files(dir);
    const std::vector<Json> lines = testing::json_lines(limited.json);
    ASSERT_EQ(lines.size(), 1u + 6 + 1);
    ASSERT_EQ(lines[6]["stop"], "too_many_maximum");
    ASSERT_EQ(lines.back()["status"], "too_many_maximum");
    command.resume = true;
    command.threads = 1;
    age(dir);
    const RunResult finished = run_in(dir, command);
    EXPECT_EQ(finished.status, 0);
    EXPECT_NE(finished.console.find("already complete (too_many_maximum)"), npos) << finished.console;
    expect_untouched(dir, limited);

    write_file(dir.path("run.jsonl"), head(limited.json, 1 + 6));
    const RunResult resumed = run_in(dir, command);
    EXPECT_EQ(resumed.status, 2);
    EXPECT_NE(resumed.console.find(kNothingLeft), npos) << resumed.console;
    expect_files(dir, limited);
}

// --- Refusals ------------------------------------------------------------------

using Change = void (*)(Files &files, std::string &input, Command &command);

struct Refusal {
    const char *name;
    Change change;
    const char *removed;  // a file taken away, or null
    const char *reason;   // what the message names
};

void PrintTo(const Refusal &refusal, std::ostream *out) { *out << refusal.name; }

class Refused : public ::testing::TestWithParam<Refusal> {};

// Refused with a message naming what differs, exit status 2, and every
// file as it was (a removed one not created).
TEST_P(Refused, TouchesNothing)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    const Refusal &refusal = GetParam();
    TempDir dir;
    Files files = interrupted_files();
    std::string input = run_input();
    Command command = resume_with(3, kQuickT);
    refusal.change(files, input, command);
    write_files(dir, files);
    write_file(dir.path("in.txt"), input);
    age(dir);
    if (refusal.removed != nullptr) {
        ASSERT_EQ(std::remove(dir.path(refusal.removed).c_str()), 0);
    }

    const RunResult result = run_in(dir, command);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.errors.find("kelto: cannot resume: "), npos) << result.errors;
    EXPECT_NE(result.errors.find(refusal.reason), npos) << result.errors;
    const std::pair<std::string, std::string> kept[] = {
        {"in.txt", input}, {"out.txt", files.report}, {"run.jsonl", files.json}, {"run.tsv", files.tsv}};
    for (const auto &[name, bytes] : kept) {
        struct stat info;
        if (refusal.removed == nullptr || name != refusal.removed)
            expect_untouched(dir.path(name), bytes);
        else
            EXPECT_NE(stat(dir.path(name).c_str(), &info), 0) << name << " was created";
    }
}

// The report and TSV checks share their code: the TSV's is tried for its own length and heading.
const char *const kReportDiffers = "the report is missing, from another run, or shorter than the record says";
const char *const kTsvDiffers = "the TSV file is missing, from another run, or shorter than the record says";

INSTANTIATE_TEST_SUITE_P(
    Records, Refused,
    ::testing::Values(
        Refusal{"OtherInput",  // one residue of the last record, the size unchanged
                [](Files &, std::string &in, Command &) { in[in.size() - 10] = in[in.size() - 10] == 'W' ? 'Y' : 'W'; },
                nullptr, "the input file differs from the recorded run's"},
        Refusal{"OtherT", [](Files &, std::string &, Command &c) { c.t = "21"; }, nullptr,
                "T differs: the recorded run used T = 20"},
        Refusal{"OtherMatrix", [](Files &, std::string &, Command &c) { c.matrix = "PAM250"; }, nullptr,
                "the matrix differs: the recorded run used BLOSUM62"},
        Refusal{"OtherMatrixByNumber", [](Files &, std::string &, Command &c) { c.matrix = std::to_string(1); }, nullptr,
                "the matrix differs: the recorded run used BLOSUM62"},
        Refusal{"OtherSeed", [](Files &, std::string &, Command &c) { c.seed = "20261208"; }, nullptr,
                "the seed differs: the recorded run used 20261207"},
        Refusal{"ShardOfAWholeRun", [](Files &, std::string &, Command &c) { c.extra = {"--shard", "1/2"}; },
                nullptr, "the shard differs from the recorded run's"},
        Refusal{"MissingRecord", [](Files &, std::string &, Command &) {}, "run.jsonl",
                "there is no record of the run to resume: run.jsonl cannot be read"},
        Refusal{"MissingReport", [](Files &, std::string &, Command &) {}, "out.txt", kReportDiffers},
        Refusal{"ShortReport", [](Files &f, std::string &, Command &) { f.report.pop_back(); }, nullptr,
                "the report out.txt is shorter than the record says at quartet 19"},
        // Another run's report of the same length, one byte of quartet 7 changed.
        Refusal{"ReportChangedInPlace",
                [](Files &f, std::string &, Command &) {
                    const std::size_t at = Json::parse(whole_lines(f.json)[7])["report_bytes"].get<std::size_t>() + 90;
                    f.report[at] = f.report[at] == '1' ? '2' : '1';
                },
                nullptr, "the report out.txt differs from the record at quartet 7 (changed, or another run's)"},
        // The last quartet's recorded length one byte off, or that of the quartet before.
        Refusal{"LastLengthOffByOne",
                [](Files &f, std::string &, Command &) {
                    std::vector<std::string> lines = whole_lines(f.json);
                    Json last = Json::parse(lines.back());
                    last["report_bytes"] = last["report_bytes"].get<uint64_t>() - 1;
                    lines.back() = last.dump();
                    f.json.clear();
                    for (const std::string &line : lines)
                        f.json += line + "\n";
                },
                nullptr, "the report out.txt differs from the record at quartet 19"},
        Refusal{"CompletedTooEarly",
                [](Files &f, std::string &, Command &) {
                    f.json += "{\"type\":\"end\",\"status\":\"completed\",\"exit_status\":0,"
                              "\"quartets_written\":20,\"wall_seconds\":1.0}\n";
                },
                nullptr, "line 22: the end line says completed after 20 of the 66 quartets"},
        Refusal{"HugeT",
                [](Files &f, std::string &, Command &) { f.json.replace(f.json.find("\"T\":20,"), 7, "\"T\":4294967316,"); },
                nullptr, "run.jsonl line 1: the run line's \"T\" is missing or out of range"},
        Refusal{"ReportOfAnotherRun",
                [](Files &f, std::string &, Command &) { f.report[f.report.find("T = 20")] = 'X'; }, nullptr,
                kReportDiffers},
        Refusal{"ShortTsv", [](Files &f, std::string &, Command &) { f.tsv.pop_back(); }, nullptr,
                "the TSV run.tsv is shorter than the record says at quartet 19"},
        Refusal{"TsvOfAnotherRun", [](Files &f, std::string &, Command &) { f.tsv[0] = 'Q'; }, nullptr,
                kTsvDiffers},
        Refusal{"RecordOfAnotherFormat",
                [](Files &f, std::string &, Command &) { f.json[f.json.find("\"format\":3,") + 9] = '4'; }, nullptr,
                "run.jsonl line 1: the record has format 4, this program reads formats 1 to 3"},
        // A quartet line naming other records than its pairs', a run line
        // whose matrix name is not that of its values.
        Refusal{"QuartetNamesEdited",
                [](Files &f, std::string &, Command &) {
                    f.json.replace(f.json.find("\"s8\",\"s9\"", f.json.find("\"quartet\":3,")), 9, "\"s9\",\"s8\"");
                },
                nullptr, "run.jsonl line 5: quartet 3's \"names\" are not those the run line's \"pairs\" give pairs 0 and 4"},
        Refusal{"MatrixNameEdited",
                [](Files &f, std::string &, Command &) {
                    f.json.replace(f.json.find("\"matrix\":\"BLOSUM62\""), 19, "\"matrix\":\"PAM250\"");
                },
                nullptr, "run.jsonl: the run line's \"matrix\" PAM250 does not go with its \"matrix_values\""},
        Refusal{"QuartetOutOfOrder",  // quartet 2 twice
                [](Files &f, std::string &, Command &) {
                    f.json = head(f.json, 4) + whole_lines(f.json)[3] + "\n" + f.json.substr(head(f.json, 4).size());
                },
                nullptr, "run.jsonl line 5: quartet 2 where quartet 3 is due"}),
    [](const ::testing::TestParamInfo<Refusal> &p) { return std::string(p.param.name); });

// --- One writer -------------------------------------------------------------

// While a run writes its files, a second run on the same record, a resume
// of it, and a run on its report without a record are refused at once and
// touch nothing; the first run ends with the bytes of a lone run.
TEST(Resume, SecondProcessOnTheSameFilesIsRefused)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    TempDir dir;
    prepare(dir);
    BackgroundRun first = start(dir, Command{});
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (line_count(read_file(dir.path("run.jsonl"))) < 1 + 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    const std::vector<Command> others = {
        Command{},
        Command{.resume = true},
        Command{.extra = {"--json", "other.jsonl"}},  // the report is the first run's
    };
    for (const Command &other : others) {
        TempDir io;
        const testing::RunResult second =
            testing::run_executable({"--threads", "1", "--seed", kSeed, "--matrix", "2", other.resume ? "--resume" : "--quiet",
                                     "--json", dir.path(other.extra.empty() ? "run.jsonl" : "other.jsonl"),
                                     dir.path("in.txt"), dir.path("out.txt"), kT});
        EXPECT_EQ(second.status, 2) << second.console;
        EXPECT_NE(second.errors.find(" is in use by another kelto process (pid "), npos) << second.errors;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path("other.jsonl")));
    ASSERT_TRUE(first.wait(kTimeout));
    EXPECT_EQ(first.end().status, 0);
    expect_reference(dir);
}

// --- Promptness ------------------------------------------------------------------

// Two long quartets at the longest profiles and a large T would take
// minutes; SIGTERM stops both workers within seconds. The first quartet,
// of two alike pairs, is written at once and shows that the run is under way.
TEST(Resume, StopIsPromptInsideLongQuartets)
{
    std::mt19937 engine(77);
    const std::string first = testing::random_residues(engine, 1099), second = testing::random_residues(engine, 1099);
    TempDir dir;
    const std::string third = testing::random_residues(engine, 1099), fourth = testing::random_residues(engine, 1099);
    write_file(dir.path("in.txt"), testing::pair_file({first, second, first, second, third, fourth}));
    std::chrono::duration<double> took{};
    const ProcessEnd end = stop_after(dir, Command{.t = "100000"}, 2, SIGTERM, &took);
    EXPECT_LT(took, 5s) << took.count() << " s";
    ASSERT_TRUE(end.exited);
    EXPECT_EQ(end.status, 143);

    const std::vector<Json> lines = testing::json_lines(read_file(dir.path("run.jsonl")));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1]["identical"], true);
    EXPECT_EQ(lines[2]["status"], "interrupted");
    EXPECT_EQ(lines[2]["quartets_written"], 1);
    EXPECT_EQ(read_file(dir.path("out.txt")).size(), lines[1]["report_bytes"].get<std::size_t>());
    EXPECT_EQ(read_file(dir.path("run.tsv")).size(), lines[1]["tsv_bytes"].get<std::size_t>());
}

// A second signal while the first one's clean stop is under way ends the
// process at once, with 128 + its number and no end line.
TEST(Resume, SecondSignalEndsAtOnce)
{
    std::mt19937 engine(78);
    TempDir dir;
    std::vector<std::string> records;
    for (int i = 0; i < 4; ++i)
        records.push_back(testing::random_residues(engine, 1099));
    write_file(dir.path("in.txt"), testing::pair_file(records));
    BackgroundRun run = start(dir, Command{.threads = 1, .t = "100000"});
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (line_count(read_file(dir.path("run.jsonl"))) < 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(200ms);  // inside the quartet's randomisations
    // Two threads may take the two signals at once, so either may be the
    // second; the clean stop the first starts (which syncs the files and
    // writes the end line) takes far longer than the second kill.
    ASSERT_TRUE(run.send(SIGHUP));
    ASSERT_TRUE(run.send(SIGTERM));
    ASSERT_TRUE(run.wait(kTimeout));
    ASSERT_TRUE(run.end().exited);
    EXPECT_TRUE(run.end().status == 128 + SIGHUP || run.end().status == 128 + SIGTERM) << run.end().status;
    const std::vector<std::string> lines = whole_lines(read_file(dir.path("run.jsonl")));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().find("\"type\":\"end\""), npos) << "a clean stop ran to its end line";
}

// A run whose report went to /dev/null resumes its record and TSV alone; one
// whose report went to a FIFO cannot be resumed, and resume says so.
TEST(Resume, ReportOnDevNullOrAPipe)
{
    TempDir dir;
    prepare(dir);
    const std::vector<std::string> args = {"--quiet", "--seed", kSeed, "--matrix", "2", "--json", dir.path("run.jsonl"),
                                           "--tsv", dir.path("run.tsv"), dir.path("in.txt"), "/dev/null", kQuickT};
    ASSERT_EQ(testing::run_in_process(args, "").status, 0);
    const std::string json = read_file(dir.path("run.jsonl")), tsv = read_file(dir.path("run.tsv"));
    const Json fifth = Json::parse(whole_lines(json)[5]);
    write_file(dir.path("run.jsonl"), head(json, 6));
    write_file(dir.path("run.tsv"), tsv.substr(0, fifth["tsv_bytes"].get<std::size_t>()));
    std::vector<std::string> resume = args;
    resume.push_back("--resume");
    const testing::RunResult resumed = testing::run_in_process(resume, "");
    EXPECT_EQ(resumed.status, 0) << resumed.console;
    EXPECT_EQ(comparable_lines(read_file(dir.path("run.jsonl"))), comparable_lines(json));
    EXPECT_EQ(read_file(dir.path("run.tsv")), tsv);

    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
    std::vector<std::string> piped = resume;
    piped[10] = dir.path("fifo");
    const testing::RunResult refused = testing::run_in_process(piped, "");
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.errors.find("is not a regular file: a run written to a pipe or device cannot be resumed"), npos)
        << refused.errors;
}

}  // namespace
}  // namespace kelto
