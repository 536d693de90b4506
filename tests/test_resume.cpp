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
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::BackgroundRun;
using testing::read_file;
using testing::TempDir;
using testing::write_file;
using Json = nlohmann::ordered_json;
using namespace std::chrono_literals;

// Generous enough for AddressSanitizer and emulated ARM64 (a whole run on
// one thread there may take half a minute); normal runs take a second.
constexpr auto kTimeout = 120s;

// 12 pairs of 100 random residues: 66 quartets, about a second in all
// with two threads. Records that are only read back come from a quick run.
constexpr int kQuartets = 66;
const std::string kT = "2500";
const std::string kQuickT = "20";
const std::string kSeed = "20261207";

std::string random_sequence(std::mt19937 &engine, std::size_t length)
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::string s(length, 'A');
    for (char &c : s)
        c = letters[engine() % 20];
    return s;
}

std::string run_input()
{
    std::mt19937 engine(2026);
    std::vector<std::string> records;
    for (int i = 0; i < 24; ++i)
        records.push_back(random_sequence(engine, 100));
    return testing::pair_file(records);
}

// A command line of the run, with the files in the run's directory.
struct Command {
    std::string seed = kSeed;          // empty: no --seed
    std::string matrix = "BLOSUM62";   // empty: no --matrix
    int threads = 2;
    std::string t = kT;
    bool resume = false;
    std::vector<std::string> extra;

    std::vector<std::string> args() const
    {
        std::vector<std::string> args;
        if (!seed.empty())
            args.insert(args.end(), {"--seed", seed});
        if (!matrix.empty())
            args.insert(args.end(), {"--matrix", matrix});
        args.insert(args.end(), {"--threads", std::to_string(threads), "--json", "run.jsonl", "--tsv", "run.tsv"});
        if (resume)
            args.push_back("--resume");
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"in.txt", "out.txt", t});
        return args;
    }
};

Command resume_with(int threads)
{
    Command command;
    command.threads = threads;
    command.resume = true;
    return command;
}

BackgroundRun start(const TempDir &dir, const Command &command)
{
    return BackgroundRun(command.args(), dir.dir, dir.path("console.txt"), dir.path("errors.txt"));
}

struct Finished {
    testing::ProcessEnd end;
    std::string console;
    std::string errors;
};

// Runs the command in the directory to its end.
Finished run_in(const TempDir &dir, const Command &command)
{
    BackgroundRun run = start(dir, command);
    Finished finished;
    EXPECT_TRUE(run.started());
    EXPECT_TRUE(run.wait(kTimeout)) << "the run did not end within " << kTimeout.count() << " s";
    finished.end = run.end();
    EXPECT_TRUE(finished.end.exited) << "ended by signal " << finished.end.signal;
    finished.console = read_file(dir.path("console.txt"));
    finished.errors = read_file(dir.path("errors.txt"));
    return finished;
}

// The report, JSON record and TSV of a run.
struct Files {
    std::string report;
    std::string json;
    std::string tsv;
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

// The whole lines of a text, without their line feeds (a last piece
// without one is left out).
std::vector<std::string> whole_lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
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

// A record line as far as an uninterrupted and a continued run agree.
Json comparable(const std::string &line)
{
    Json json = Json::parse(line);
    if (json["type"] == "run")
        json.erase("threads");
    if (json["type"] == "end")
        json.erase("wall_seconds");
    return json;
}

// The uninterrupted run every stopped and continued one is compared with.
struct Reference {
    Files files;
    int status = -1;
};

Reference make_reference(const std::string &t)
{
    Reference r;
    TempDir dir;
    write_file(dir.path("in.txt"), run_input());
    Command command;
    command.t = t;
    r.status = run_in(dir, command).end.status;
    r.files = read_files(dir);
    return r;
}

const Reference &reference()
{
    static const Reference result = make_reference(kT);
    return result;
}

const Reference &quick_reference()
{
    static const Reference result = make_reference(kQuickT);
    return result;
}

// Checks a reference itself, so that a failure there is not blamed on resuming.
void check_reference(const Reference &r = reference())
{
    ASSERT_EQ(r.status, 0);
    const std::vector<std::string> lines = whole_lines(r.files.json);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kQuartets + 2));
    ASSERT_EQ(Json::parse(lines.back())["status"], "completed");
    ASSERT_GT(r.files.tsv.size(), std::string("quartet\t").size());
    ASSERT_NE(r.files.report.find("GENE QUARTET"), std::string::npos);
}

// A directory holding the run's input.
void prepare(const TempDir &dir) { write_file(dir.path("in.txt"), run_input()); }

// The files in `dir` are those of the uninterrupted run `expected`: report
// and TSV byte for byte, the record line for line, the run line's thread
// count and the end line's wall time aside.
void expect_files(const TempDir &dir, const Files &expected)
{
    const Files files = read_files(dir);
    EXPECT_EQ(files.report.size(), expected.report.size());
    EXPECT_TRUE(files.report == expected.report) << "the report differs";
    EXPECT_EQ(files.tsv, expected.tsv);
    ASSERT_FALSE(files.json.empty());
    EXPECT_EQ(files.json.back(), '\n');
    const std::vector<std::string> lines = whole_lines(files.json);
    const std::vector<std::string> want = whole_lines(expected.json);
    ASSERT_EQ(lines.size(), want.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i == 0 || i + 1 == lines.size())
            EXPECT_EQ(comparable(lines[i]), comparable(want[i])) << "line " << i + 1;
        else
            EXPECT_EQ(lines[i], want[i]) << "line " << i + 1;
    }
}

void expect_reference(const TempDir &dir) { expect_files(dir, reference().files); }

// Waits until the file holds at least `count` whole lines (with 0: until
// it exists). False when the run ends first without them, or on timeout.
bool wait_for_lines(const std::string &path, std::size_t count, BackgroundRun &run)
{
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    const auto there = [&] {
        struct stat info;
        return count == 0 ? stat(path.c_str(), &info) == 0 : line_count(read_file(path)) >= count;
    };
    for (;;) {
        if (there())
            return true;
        if (!run.running())
            return there();
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
}

Json last_quartet_line(const std::vector<std::string> &lines)
{
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        Json json = Json::parse(*line);
        if (json["type"] == "quartet")
            return json;
    }
    return Json();
}

// A killed run's files: every whole record line is the reference's, the
// report and TSV are beginnings of the reference's and hold at least what
// the record says (or, when the run ended first, they are the reference
// files). Returns the quartets recorded.
long long expect_killed_files(const TempDir &dir)
{
    const Files &want = reference().files;
    const Files files = read_files(dir);
    if (line_count(files.json) == kQuartets + 2u) {
        expect_reference(dir);
        return kQuartets;
    }
    EXPECT_TRUE(want.json.compare(0, files.json.size(), files.json) == 0) << files.json;
    EXPECT_TRUE(want.report.compare(0, files.report.size(), files.report) == 0) << "the report is not the reference's";
    EXPECT_TRUE(want.tsv.compare(0, files.tsv.size(), files.tsv) == 0) << files.tsv;
    const std::vector<std::string> lines = whole_lines(files.json);
    const Json last = last_quartet_line(lines);
    if (last.is_null())
        return 0;
    EXPECT_GE(files.report.size(), last["report_bytes"].get<std::size_t>());
    EXPECT_GE(files.tsv.size(), last["tsv_bytes"].get<std::size_t>());
    return last["quartet"].get<long long>() + 1;
}

// Sets the files' modification times far into the past, so that any write
// or truncation afterwards shows.
constexpr time_t kOldTime = 1000000000;

void age(const std::string &path)
{
    const timespec times[2] = {{kOldTime, 0}, {kOldTime, 0}};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

void expect_untouched(const std::string &path, const std::string &bytes)
{
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0) << path;
    EXPECT_EQ(info.st_mtim.tv_sec, kOldTime) << path << " was written";
    EXPECT_EQ(info.st_mtim.tv_nsec, 0) << path << " was written";
    EXPECT_TRUE(read_file(path) == bytes) << path << " changed";
}

std::string resuming_at(long long quartet)
{
    return "\n Resuming the run recorded in run.jsonl at quartet " + std::to_string(quartet) + " of " +
           std::to_string(kQuartets) + ".\n";
}

// What --resume says when every quartet is recorded but the end line is not.
const std::string kNothingLeft =
    "\n Resuming the run recorded in run.jsonl: no quartet is left to analyse; its record is closed.\n";

// --- Clean stops -------------------------------------------------------

struct StopSignal {
    int number;
    int exit_status;
    int resume_threads;
};

void PrintTo(const StopSignal &signal, std::ostream *out) { *out << "signal " << signal.number; }

class CleanStop : public ::testing::TestWithParam<StopSignal> {};

// The run stops at a quartet boundary: the report and TSV end where the
// last quartet line says, the record closes with an end line, and --resume
// with another thread count completes the reference files.
TEST_P(CleanStop, EndsAtAQuartetAndResumesToTheSameFiles)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    const StopSignal signal = GetParam();
    TempDir dir;
    prepare(dir);
    {
        BackgroundRun run = start(dir, Command{});
        ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), 1 + 5, run));
        ASSERT_TRUE(run.send(signal.number));
        ASSERT_TRUE(run.wait(kTimeout));
        ASSERT_TRUE(run.end().exited) << "ended by signal " << run.end().signal;
        EXPECT_EQ(run.end().status, signal.exit_status);
    }
    const Files files = read_files(dir);
    const std::vector<std::string> lines = whole_lines(files.json);
    ASSERT_GE(lines.size(), 1u + 5 + 1);
    ASSERT_LT(lines.size(), kQuartets + 2u) << "the run ended before the signal";
    EXPECT_EQ(files.json.back(), '\n');
    const long long recorded = static_cast<long long>(lines.size()) - 2;
    const Json end = Json::parse(lines.back());
    EXPECT_EQ(end["type"], "end");
    EXPECT_EQ(end["status"], "interrupted");
    EXPECT_EQ(end["exit_status"], signal.exit_status);
    EXPECT_EQ(end["quartets_written"], recorded);
    const Json last = Json::parse(lines[lines.size() - 2]);
    EXPECT_EQ(last["quartet"], recorded - 1);
    EXPECT_EQ(files.report.size(), last["report_bytes"].get<std::size_t>());
    EXPECT_EQ(files.tsv.size(), last["tsv_bytes"].get<std::size_t>());
    const Files &want = reference().files;
    EXPECT_EQ(files.json.substr(0, files.json.size() - lines.back().size() - 1),
              want.json.substr(0, files.json.size() - lines.back().size() - 1));
    EXPECT_TRUE(want.report.compare(0, files.report.size(), files.report) == 0) << "the report is not the reference's";
    EXPECT_TRUE(want.tsv.compare(0, files.tsv.size(), files.tsv) == 0);
    const std::string console = read_file(dir.path("console.txt"));
    EXPECT_NE(console.find("\n Stopped by signal " + std::to_string(signal.number) + ": " + std::to_string(recorded) +
                           " of " + std::to_string(kQuartets) +
                           " quartets written. To continue, run the same command with --resume.\n"),
              std::string::npos)
        << console.substr(console.size() > 300 ? console.size() - 300 : 0);

    const Finished resumed = run_in(dir, resume_with(signal.resume_threads));
    EXPECT_EQ(resumed.end.status, 0) << resumed.console;
    EXPECT_NE(resumed.console.find(resuming_at(recorded + 1)), std::string::npos) << resumed.console.substr(0, 300);
    EXPECT_EQ(resumed.errors, "kelto: seed " + kSeed + " (from the record run.jsonl)\n");
    expect_reference(dir);
}

INSTANTIATE_TEST_SUITE_P(Signals, CleanStop,
                         ::testing::Values(StopSignal{SIGTERM, 143, 3}, StopSignal{SIGINT, 130, 1},
                                           StopSignal{SIGHUP, 129, 3}),
                         [](const ::testing::TestParamInfo<StopSignal> &param_info) {
                             return param_info.param.number == SIGTERM  ? std::string("Term")
                                    : param_info.param.number == SIGINT ? std::string("Int")
                                                                  : std::string("Hup");
                         });

// Killed, resumed, stopped cleanly during the resumed run, resumed again:
// the stop counts the quartets of both processes.
TEST(Resume, RunStoppedTwiceEndsWithTheSameFiles)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    TempDir dir;
    prepare(dir);
    {
        BackgroundRun run = start(dir, Command{});
        ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), 1 + 4, run));
        ASSERT_TRUE(run.send(SIGKILL));
        ASSERT_TRUE(run.wait(kTimeout));
        ASSERT_EQ(run.end().signal, SIGKILL);
    }
    const long long first = expect_killed_files(dir);
    {
        BackgroundRun run = start(dir, resume_with(2));
        ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), 1 + 20, run));
        ASSERT_TRUE(run.send(SIGINT));
        ASSERT_TRUE(run.wait(kTimeout));
        ASSERT_TRUE(run.end().exited);
        EXPECT_EQ(run.end().status, 130);
    }
    const std::vector<std::string> lines = whole_lines(read_file(dir.path("run.jsonl")));
    ASSERT_GE(lines.size(), 1u + 20 + 1);
    ASSERT_LT(lines.size(), kQuartets + 2u) << "the resumed run ended before the signal";
    const long long recorded = static_cast<long long>(lines.size()) - 2;
    const Json end = Json::parse(lines.back());
    EXPECT_EQ(end["status"], "interrupted");
    EXPECT_EQ(end["exit_status"], 130);
    EXPECT_EQ(end["quartets_written"], recorded);
    const std::string console = read_file(dir.path("console.txt"));
    EXPECT_NE(console.find(resuming_at(first + 1)), std::string::npos) << console.substr(0, 300);
    EXPECT_NE(console.find("\n Stopped by signal 2: " + std::to_string(recorded) + " of " + std::to_string(kQuartets) +
                           " quartets written."),
              std::string::npos)
        << console;

    const Finished resumed = run_in(dir, resume_with(1));
    EXPECT_EQ(resumed.end.status, 0);
    EXPECT_NE(resumed.console.find(resuming_at(recorded + 1)), std::string::npos) << resumed.console.substr(0, 300);
    expect_reference(dir);
}

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
    {
        BackgroundRun run = start(dir, Command{});
        ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), lines, run));
        run.send(SIGKILL);
        ASSERT_TRUE(run.wait(kTimeout));
        if (run.end().exited)  // it finished first: all that is left is a complete run
            ASSERT_EQ(run.end().status, 0);
        else
            ASSERT_EQ(run.end().signal, SIGKILL);
    }
    const std::string killed_json = read_file(dir.path("run.jsonl"));
    const long long recorded = expect_killed_files(dir);
    const bool complete = line_count(killed_json) == kQuartets + 2u;
    const std::string said = complete ? "\n The run recorded in run.jsonl is already complete (completed)"
                             : killed_json.find('\n') == std::string::npos
                                 ? "\n Nothing of the run was recorded in run.jsonl; it starts from the beginning.\n"
                             : recorded == kQuartets ? kNothingLeft
                                                     : resuming_at(recorded + 1);
    const Finished resumed = run_in(dir, resume_with(lines % 2 == 0 ? 3 : 1));
    EXPECT_EQ(resumed.end.status, 0) << resumed.console;
    EXPECT_NE(resumed.console.find(said), std::string::npos) << resumed.console.substr(0, 300);
    expect_reference(dir);
}

// Before the first quartet is complete (the record is written together
// with it), after the first, in the middle, and after the last.
INSTANTIATE_TEST_SUITE_P(Moments, Killed, ::testing::Values(0u, 2u, 9u, 40u, kQuartets + 1u),
                         [](const ::testing::TestParamInfo<std::size_t> &param_info) {
                             return "After" + std::to_string(param_info.param) + "Lines";
                         });

// The last record line torn by the kill: it is dropped, and the quartet
// it described is analysed again.
TEST(Resume, TornLastLineIsDropped)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    TempDir dir;
    prepare(dir);
    {
        BackgroundRun run = start(dir, Command{});
        ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), 1 + 12, run));
        ASSERT_TRUE(run.send(SIGKILL));
        ASSERT_TRUE(run.wait(kTimeout));
        ASSERT_EQ(run.end().signal, SIGKILL);
    }
    const std::string json = read_file(dir.path("run.jsonl"));
    const std::vector<std::string> lines = whole_lines(json);
    ASSERT_GE(lines.size(), 1u + 12);
    const long long whole = static_cast<long long>(lines.size()) - 1;
    const std::string kept = head(json, lines.size() - 1);
    write_file(dir.path("run.jsonl"), kept + lines.back().substr(0, lines.back().size() / 2));
    const Finished resumed = run_in(dir, resume_with(3));
    EXPECT_EQ(resumed.end.status, 0);
    EXPECT_NE(resumed.console.find(resuming_at(whole)), std::string::npos) << resumed.console.substr(0, 300);
    expect_reference(dir);
}

// A torn line that a line feed happens to end is no record line either;
// report and TSV longer than the record says are cut back.
TEST(Resume, TornLineEndedByChanceIsDropped)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    TempDir dir;
    prepare(dir);
    Files files = quick_reference().files;
    const std::vector<std::string> lines = whole_lines(files.json);
    files.json = head(files.json, 1 + 50) + lines[1 + 50].substr(0, 40) + "\n";
    write_files(dir, files);
    Command command = resume_with(2);
    command.t = kQuickT;
    const Finished resumed = run_in(dir, command);
    EXPECT_EQ(resumed.end.status, 0);
    EXPECT_NE(resumed.console.find(resuming_at(51)), std::string::npos) << resumed.console.substr(0, 300);
    expect_files(dir, quick_reference().files);
}

// A record without a whole first line holds nothing: the run starts afresh.
TEST(Resume, RecordWithoutAWholeFirstLineStartsAfresh)
{
    ASSERT_NO_FATAL_FAILURE(check_reference());
    TempDir dir;
    prepare(dir);
    Files files = reference().files;
    files.json = files.json.substr(0, 60);
    files.report = files.report.substr(0, 100);
    files.tsv = "";
    write_files(dir, files);
    const Finished resumed = run_in(dir, resume_with(2));
    EXPECT_EQ(resumed.end.status, 0);
    EXPECT_NE(resumed.console.find("\n Nothing of the run was recorded in run.jsonl; it starts from the beginning.\n"),
              std::string::npos)
        << resumed.console.substr(0, 300);
    EXPECT_EQ(resumed.errors, "kelto: seed " + kSeed + " (from --seed)\n");
    expect_reference(dir);
}

// --- Finished records --------------------------------------------------------

TEST(Resume, CompleteRunIsLeftAsItIs)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    TempDir dir;
    prepare(dir);
    const Files &files = quick_reference().files;
    write_files(dir, files);
    for (const char *name : {"in.txt", "out.txt", "run.jsonl", "run.tsv"})
        age(dir.path(name));
    Command command = resume_with(3);
    command.t = kQuickT;
    const Finished resumed = run_in(dir, command);
    EXPECT_EQ(resumed.end.status, 0);
    const std::string complete = "\n The run recorded in run.jsonl is already complete (completed); nothing to do.\n";
    EXPECT_NE(resumed.console.find(complete), std::string::npos) << resumed.console;
    expect_untouched(dir.path("out.txt"), files.report);
    expect_untouched(dir.path("run.jsonl"), files.json);
    expect_untouched(dir.path("run.tsv"), files.tsv);
    expect_untouched(dir.path("in.txt"), run_input());
}

// A run that stopped at a "Too many" limit is finished as well; killed
// before its end line, the resume only adds that line.
TEST(Resume, RunStoppedAtALimit)
{
    // Pair 3 against the plain pairs 1 and 2 fills the maximum window list
    // at quartet (1,3), the sixth.
    std::mt19937 engine(9);
    const std::string plain(320, 'A');
    const std::string block_first = std::string(256, 'I') + std::string(64, 'A');
    const std::string block_second = std::string(256, 'V') + std::string(64, 'A');
    const std::vector<std::string> records{random_sequence(engine, 320), random_sequence(engine, 320),
                                           plain, plain, plain, plain, block_first, block_second,
                                           random_sequence(engine, 320), random_sequence(engine, 320)};
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(records));
    Command command;
    command.t = "40";
    command.threads = 3;
    const Finished first = run_in(dir, command);
    ASSERT_EQ(first.end.status, 2);
    const Files limited = read_files(dir);
    const std::vector<std::string> lines = whole_lines(limited.json);
    ASSERT_EQ(lines.size(), 1u + 6 + 1);
    ASSERT_EQ(Json::parse(lines[6])["stop"], "too_many_maximum");
    ASSERT_EQ(Json::parse(lines.back())["status"], "too_many_maximum");

    command.resume = true;
    command.threads = 1;
    for (const char *name : {"out.txt", "run.jsonl", "run.tsv"})
        age(dir.path(name));
    const Finished finished = run_in(dir, command);
    EXPECT_EQ(finished.end.status, 0);
    EXPECT_NE(finished.console.find("already complete (too_many_maximum)"), std::string::npos) << finished.console;
    expect_untouched(dir.path("out.txt"), limited.report);
    expect_untouched(dir.path("run.jsonl"), limited.json);
    expect_untouched(dir.path("run.tsv"), limited.tsv);

    write_file(dir.path("run.jsonl"), head(limited.json, 1 + 6));
    const Finished resumed = run_in(dir, command);
    EXPECT_EQ(resumed.end.status, 2);
    EXPECT_NE(resumed.console.find(kNothingLeft), std::string::npos) << resumed.console;
    expect_files(dir, limited);
}

// --- Refusals ------------------------------------------------------------------

// A record of a run killed after 20 quartets, the files as it left them.
Files interrupted_files(const Reference &run)
{
    const Files &all = run.files;
    const Json last = Json::parse(whole_lines(all.json)[20]);
    return Files{all.report.substr(0, last["report_bytes"].get<std::size_t>()), head(all.json, 1 + 20),
                 all.tsv.substr(0, last["tsv_bytes"].get<std::size_t>())};
}

// The record the refusals below start from resumes when nothing differs; the seed comes from the
// record and the matrix may be given by its number.
TEST(Resume, RecordCutBackByHandResumes)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    TempDir dir;
    prepare(dir);
    write_files(dir, interrupted_files(quick_reference()));
    Command command = resume_with(3);
    command.t = kQuickT;
    command.seed.clear();
    command.matrix = "2";
    const Finished resumed = run_in(dir, command);
    EXPECT_EQ(resumed.end.status, 0);
    EXPECT_NE(resumed.console.find(resuming_at(21)), std::string::npos) << resumed.console.substr(0, 300);
    expect_files(dir, quick_reference().files);
}

struct Refusal {
    const char *name;
    void (*change)(Files &files, std::string &input, Command &command);
    const char *removed;  // a file taken away, or null
    const char *reason;   // what the message names
};

void replace_once(std::string &text, const std::string &from, const std::string &to)
{
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

void PrintTo(const Refusal &refusal, std::ostream *out) { *out << refusal.name; }

class Refused : public ::testing::TestWithParam<Refusal> {};

// Refused with a message naming what differs, exit status 2, and every
// file as it was.
TEST_P(Refused, TouchesNothing)
{
    ASSERT_NO_FATAL_FAILURE(check_reference(quick_reference()));
    const Refusal &refusal = GetParam();
    TempDir dir;
    Files files = interrupted_files(quick_reference());
    std::string input = run_input();
    Command command = resume_with(3);
    command.t = kQuickT;
    ASSERT_NO_FATAL_FAILURE(refusal.change(files, input, command));
    write_files(dir, files);
    write_file(dir.path("in.txt"), input);
    if (refusal.removed != nullptr) {
        ASSERT_EQ(std::remove(dir.path(refusal.removed).c_str()), 0);
    }
    const auto removed = [&](const std::string &name) { return refusal.removed != nullptr && name == refusal.removed; };
    const std::vector<std::pair<std::string, std::string>> kept{
        {"in.txt", input}, {"out.txt", files.report}, {"run.jsonl", files.json}, {"run.tsv", files.tsv}};
    for (const auto &[name, bytes] : kept)
        if (!removed(name))
            age(dir.path(name));

    const Finished result = run_in(dir, command);
    EXPECT_EQ(result.end.status, 2);
    EXPECT_NE(result.console.find("\n Cannot resume: "), std::string::npos) << result.console;
    EXPECT_NE(result.console.find(refusal.reason), std::string::npos) << result.console;
    for (const auto &[name, bytes] : kept) {
        if (!removed(name)) {
            expect_untouched(dir.path(name), bytes);
        } else {
            struct stat info;
            EXPECT_NE(stat(dir.path(name).c_str(), &info), 0) << name << " was created";
        }
    }
}

const char *const kReportDiffers = "the report is missing, from another run, or shorter than the record says";
const char *const kTsvDiffers = "the TSV file is missing, from another run, or shorter than the record says";

INSTANTIATE_TEST_SUITE_P(
    Records, Refused,
    ::testing::Values(
        Refusal{"OtherInput",
                [](Files &, std::string &input, Command &) {
                    // One residue of the last record, the size unchanged.
                    char &residue = input[input.size() - 10];
                    residue = residue == 'W' ? 'Y' : 'W';
                },
                nullptr, "the input file differs from the recorded run's"},
        Refusal{"OtherT", [](Files &, std::string &, Command &command) { command.t = "21"; }, nullptr,
                "T differs: the recorded run used T = 20"},
        Refusal{"OtherMatrix", [](Files &, std::string &, Command &command) { command.matrix = "PAM250"; }, nullptr,
                "the matrix differs: the recorded run used BLOSUM62"},
        Refusal{"OtherSeed", [](Files &, std::string &, Command &command) { command.seed = "20261208"; }, nullptr,
                "the seed differs: the recorded run used 20261207"},
        Refusal{"ShardOfAWholeRun",
                [](Files &, std::string &, Command &command) { command.extra = {"--shard", "1/2"}; }, nullptr,
                "the shard differs from the recorded run's"},
        Refusal{"MissingRecord", [](Files &, std::string &, Command &) {}, "run.jsonl",
                "there is no record of the run to resume: run.jsonl cannot be read"},
        Refusal{"MissingReport", [](Files &, std::string &, Command &) {}, "out.txt", kReportDiffers},
        Refusal{"ShortReport", [](Files &files, std::string &, Command &) { files.report.pop_back(); }, nullptr,
                kReportDiffers},
        Refusal{"ReportOfAnotherRun",
                [](Files &files, std::string &, Command &) {
                    replace_once(files.report, "\nT = 20 \n", "\nT = 40 \n");
                },
                nullptr, kReportDiffers},
        Refusal{"MissingTsv", [](Files &, std::string &, Command &) {}, "run.tsv", kTsvDiffers},
        Refusal{"ShortTsv", [](Files &files, std::string &, Command &) { files.tsv.pop_back(); }, nullptr,
                kTsvDiffers},
        Refusal{"TsvOfAnotherRun", [](Files &files, std::string &, Command &) { files.tsv[0] = 'Q'; }, nullptr,
                kTsvDiffers},
        Refusal{"RecordOfAnotherFormat",
                [](Files &files, std::string &, Command &) {
                    replace_once(files.json, "\"format\":1,", "\"format\":2,");
                },
                nullptr, "does not start with the run line"},
        Refusal{"QuartetOutOfOrder",
                [](Files &files, std::string &, Command &) {
                    const std::string third = whole_lines(files.json)[3] + "\n";
                    replace_once(files.json, third, third + third);
                },
                nullptr, "line 5 is not the next quartet"},
        Refusal{"QuartetLineWithoutItsFields",
                [](Files &files, std::string &, Command &) {
                    replace_once(files.json, whole_lines(files.json)[3], R"({"type":"quartet"})");
                },
                nullptr, "line 4 is not the next quartet"}),
    [](const ::testing::TestParamInfo<Refusal> &param_info) { return std::string(param_info.param.name); });

// --- Promptness ------------------------------------------------------------------

// Two long quartets at the longest profiles and a large T would take
// minutes; SIGTERM stops both workers within seconds. The first quartet,
// of two alike pairs, is written at once and shows that the run is under way.
TEST(Resume, StopIsPromptInsideLongQuartets)
{
    std::mt19937 engine(77);
    const std::string first = random_sequence(engine, 1099), second = random_sequence(engine, 1099);
    const std::vector<std::string> records{first, second, first, second, random_sequence(engine, 1099),
                                           random_sequence(engine, 1099)};
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(records));
    Command command;
    command.t = "100000";
    BackgroundRun run = start(dir, command);
    ASSERT_TRUE(wait_for_lines(dir.path("run.jsonl"), 2, run));
    const Json identical = Json::parse(whole_lines(read_file(dir.path("run.jsonl")))[1]);
    ASSERT_EQ(identical["identical"], true);

    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_TRUE(run.send(SIGTERM));
    ASSERT_TRUE(run.wait(kTimeout)) << "no end within " << kTimeout.count() << " s of SIGTERM";
    const auto took = std::chrono::steady_clock::now() - signalled;
    EXPECT_LT(took, 5s) << std::chrono::duration<double>(took).count() << " s";
    ASSERT_TRUE(run.end().exited);
    EXPECT_EQ(run.end().status, 143);

    const std::vector<std::string> lines = whole_lines(read_file(dir.path("run.jsonl")));
    ASSERT_EQ(lines.size(), 3u);
    const Json end = Json::parse(lines[2]);
    EXPECT_EQ(end["status"], "interrupted");
    EXPECT_EQ(end["quartets_written"], 1);
    EXPECT_EQ(read_file(dir.path("out.txt")).size(), identical["report_bytes"].get<std::size_t>());
    EXPECT_EQ(read_file(dir.path("run.tsv")).size(), identical["tsv_bytes"].get<std::size_t>());
}

}  // namespace
}  // namespace kelto
