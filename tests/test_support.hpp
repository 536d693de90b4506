// Shared helpers: temporary files, the program's fixed texts and its runs,
// in-process with a pinned seed or as the built executable.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <sys/types.h>

namespace kelto::testing {

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

struct RunResult {
    std::string console;  // standard output
    std::string report;   // the report file, empty if it was not created
    bool report_exists = false;
    int status = -1;      // exit status
    long peak_rss_kib = 0;  // peak resident memory of the executable
};

// Runs the library's entry with arguments (program name added), `menu` as
// standard input, a fixed seed and `workers` threads. The report is read
// back from args[1] when there are at least two arguments.
RunResult run_in_process(const std::vector<std::string> &args, const std::string &menu, uint64_t seed,
                         int workers = 1);

// Runs the built executable the same way, with standard input from `menu`;
// standard output is kept unless `keep_console` is false.
RunResult run_executable(const std::vector<std::string> &args, const std::string &menu, bool keep_console = true);

// Starts the built executable in the background, in the directory `dir`
// (relative paths in `args` name files there), with standard input from
// /dev/null and standard output and error written to the files given.
// Returns its process id, or -1 when it could not be started.
pid_t start_executable(const std::vector<std::string> &args, const std::string &dir, const std::string &stdout_path,
                       const std::string &stderr_path);

// How a process ended.
struct ProcessEnd {
    bool ended = false;   // it was reaped
    bool exited = false;  // by exit(); otherwise by a signal
    int status = -1;      // its exit status when it exited
    int signal = 0;       // the signal that ended it otherwise
};

// Waits up to `timeout` for the process to end and reaps it; false, with
// `end` untouched, when it is still running then.
bool wait_for_end(pid_t pid, std::chrono::milliseconds timeout, ProcessEnd &end);

// A started executable that is killed (SIGKILL) and reaped when the object
// goes while it still runs, so that a failed test leaves no process behind.
class BackgroundRun {
public:
    BackgroundRun(const std::vector<std::string> &args, const std::string &dir, const std::string &stdout_path,
                  const std::string &stderr_path);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun &) = delete;
    BackgroundRun &operator=(const BackgroundRun &) = delete;

    bool started() const { return pid_ > 0; }
    // Sends a signal; false when the process has already been reaped.
    bool send(int number);
    // Whether it still runs (reaps it when it has ended).
    bool running();
    // Waits up to `timeout` for its end; false when it still runs.
    bool wait(std::chrono::milliseconds timeout);
    const ProcessEnd &end() const { return end_; }

private:
    pid_t pid_ = -1;
    ProcessEnd end_;
};

// Writes `bytes` to dir/in.txt and runs the executable on it with report dir/out.txt.
RunResult run_on(const TempDir &dir, const std::string &bytes, const std::string &t, const std::string &menu = "2\n");

// Standard output, standard error and exit status of a run; the files it
// writes are left for the caller to read.
struct Captured {
    std::string console;
    std::string errors;
    int status = -1;
};

// Runs the library's entry with arguments (program name added), `menu` as
// standard input, `clock_seed` in place of the clock and `workers` threads
// unless --threads says otherwise.
Captured run_captured(const std::vector<std::string> &args, const std::string &menu, uint64_t clock_seed = 1,
                      int workers = 1);

// Runs the built executable the same way (its own clock and CPU count).
Captured run_executable_captured(const std::vector<std::string> &args, const std::string &menu);

// Every file of the directory (names and contents), to see that a run left it untouched.
std::map<std::string, std::string> directory_files(const TempDir &dir);

// `pairs` pairs of `length` random residues drawn with std::mt19937(seed):
// the second record of a pair repeats a stretch of its first, so most
// quartets have significant windows.
std::vector<std::string> related_pairs(unsigned seed, int pairs, int length);

// Records of five pairs whose sixth quartet, (1,3), fills the maximum window
// list at T = 40 under BLOSUM62: a "Too many" stop midway through the run.
std::vector<std::string> too_many_maximum_records();

// A pair file: "# P\n" then the records, each ">name\nresidues\n".
std::string pair_file(const std::vector<std::string> &residues, int pairs = -1);

// The console banner, the same box at the top of the report, the matrix question.
extern const std::string kBanner, kReportHead, kMenu;

// Console text from the banner up to the separator printed before reading.
std::string console_start(int t, int menus = 1);

}  // namespace kelto::testing
