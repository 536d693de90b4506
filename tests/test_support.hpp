// Shared helpers: temporary files, test inputs, the program's fixed texts,
// its runs (in-process with a pinned clock, or as the built executable) and
// its JSON Lines records.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <sys/types.h>

#include <nlohmann/json.hpp>

namespace kelto::testing {

using Json = nlohmann::ordered_json;

// A fresh empty directory, removed with its files when the object goes.
struct TempDir {
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string path(const std::string &name) const { return dir + "/" + name; }
    std::string dir;
};

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);

// Every file of the directory (names and contents; a link's target; no
// content for a FIFO or directory), to see that a run left it untouched.
std::map<std::string, std::string> directory_files(const TempDir &dir);

struct RunResult {
    std::string console, errors;  // standard output and error
    std::string report;           // the file args[1] when it is a regular file
    bool report_exists = false;
    int status = -1;        // exit status
    long peak_rss_kib = 0;  // peak resident memory (the executable only)
};

// Runs the library's entry with arguments (program name added), `menu` as
// standard input, `clock_seed` in place of the clock and `workers` threads
// unless --threads says otherwise.
RunResult run_in_process(const std::vector<std::string> &args, const std::string &menu, uint64_t clock_seed = 1,
                         int workers = 1);

// Runs the built executable the same way (its own clock and CPU count);
// standard output is thrown away unless `keep_console`.
RunResult run_executable(const std::vector<std::string> &args, const std::string &menu = "",
                         bool keep_console = true);

// Writes `bytes` to dir/in.txt and runs the executable on it with report dir/out.txt.
RunResult run_on(const TempDir &dir, const std::string &bytes, const std::string &t, const std::string &menu = "2\n");

// How a process ended: reaped, by exit() with a status or by a signal.
struct ProcessEnd {
    bool ended = false, exited = false;
    int status = -1, signal = 0;
};

// The built executable started in the background in `dir` (relative paths
// in `args` name files there), standard input from /dev/null; killed
// (SIGKILL) and reaped when the object goes while it still runs. With a
// `pause` point it stops itself there (KELTO_TEST_PAUSE): wait_stopped()
// sees it stop, send(SIGCONT) lets it go on.
class BackgroundRun {
public:
    BackgroundRun(const std::vector<std::string> &args, const std::string &dir, const std::string &stdout_path,
                  const std::string &stderr_path, const std::string &pause = "");
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun &) = delete;
    BackgroundRun &operator=(const BackgroundRun &) = delete;

    bool send(int number);  // false when the process has already been reaped
    bool wait(std::chrono::milliseconds timeout);  // reaps it; false when it still runs then
    // True once it has stopped; false when it ended (reaped) or still runs at the timeout.
    bool wait_stopped(std::chrono::milliseconds timeout);
    const ProcessEnd &end() const { return end_; }

private:
    pid_t pid_ = -1;
    ProcessEnd end_;
};

// `length` residues drawn from the twenty letters.
std::string random_residues(std::mt19937 &engine, std::size_t length);

// `pairs` pairs of `length` random residues drawn with std::mt19937(seed):
// the second record of a pair repeats a stretch of its first, so most
// quartets have significant windows.
std::vector<std::string> related_pairs(unsigned seed, int pairs, int length);

// Nine pairs of 60 random residues; pairs 2, 5 and 8 alike, so quartets
// (2,5), (2,8) and (5,8) are identical.
std::vector<std::string> pairs_with_identical_quartets();

// Records of five pairs whose sixth quartet, (1,3), fills the maximum window
// list at T = 40 under BLOSUM62, after the identical quartet (1,2): a "Too
// many" stop midway through the run.
std::vector<std::string> too_many_maximum_records();

// A pair file: "# P\n" then the records, each ">sI\nresidues\n".
std::string pair_file(const std::vector<std::string> &residues, int pairs = -1);

// The whole lines of a text, without their line feeds.
std::vector<std::string> whole_lines(const std::string &text);

// Every line of a JSON Lines text, parsed strictly; a line that does not
// parse, or a text without a final line feed, is a test failure.
std::vector<Json> json_lines(const std::string &text);

// The lines of a JSON Lines text as far as two runs of the same analysis
// agree: the run line without `threads`, the end line without
// `wall_seconds`, every other line as written; a broken or unterminated
// line is marked so that it never equals a good one.
std::vector<std::string> comparable_lines(const std::string &text);

// How often `what` occurs in `text`.
std::size_t count(const std::string &text, const std::string &what);

// The console banner, the same box at the top of the report, the matrix question.
extern const std::string kBanner, kReportHead, kMenu;

// Console text from the banner up to the separator printed before reading.
std::string console_start(int t, int menus = 1);

}  // namespace kelto::testing
