// Test helpers: temporary directories, files, inputs, fixed texts, program runs and records.
#include "test_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "cli/entry.hpp"

extern char **environ;

namespace kelto::testing {

TempDir::TempDir() : dir((std::filesystem::temp_directory_path() / "kelto-test-XXXXXX").string())
{
    if (mkdtemp(dir.data()) == nullptr)
        std::abort();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string read_file(const std::string &path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::map<std::string, std::string> directory_files(const TempDir &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
        files[entry.path().filename().string()] =
            entry.is_symlink()        ? "-> " + std::filesystem::read_symlink(entry.path()).string()
            : entry.is_regular_file() ? read_file(entry.path())
                                      : "(not a regular file)";
    return files;
}

namespace {

// Reads the report back when it is a regular file (not /dev/null or /dev/full).
void read_report(const std::vector<std::string> &args, RunResult &result)
{
    struct stat info;
    result.report_exists = args.size() >= 2 && stat(args[1].c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (result.report_exists)
        result.report = read_file(args[1]);
}

// The arguments a run of the suite gets: `--family-randomisations 999` in
// front unless the test names a family-wise setting itself. A quartet
// stronger than any arrangement draws all J_max arrangements, 10^6 by
// default; the suite's related pairs have many such quartets, which would
// take minutes each under emulation and the sanitizers. The calibration and
// power tests set their own values; merge and html take no such option.
std::vector<std::string> suite_args(const std::vector<std::string> &args)
{
    if (args.empty() || args[0] == "merge" || args[0] == "html")
        return args;
    for (const std::string &arg : args)
        if (arg.rfind("--family-", 0) == 0 || arg == "--")
            return args;
    std::vector<std::string> with = {"--family-randomisations", "999"};
    with.insert(with.end(), args.begin(), args.end());
    return with;
}

// Starts the executable with its standard streams on the files given, in
// `dir` unless it is empty, with KELTO_TEST_PAUSE set to `pause` unless it
// is empty. Everything the child needs is prepared before the fork: between
// fork and exec it only makes system calls.
pid_t spawn(const std::vector<std::string> &args, const std::string &dir, const std::string &in,
            const std::string &out, const std::string &err, const std::string &pause = "")
{
    const std::vector<std::string> given = suite_args(args);
    std::vector<char *> argv{const_cast<char *>(KELTO_EXE)};
    for (const std::string &arg : given)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> env;
    for (char **entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind("KELTO_TEST_PAUSE=", 0) != 0)
            env.push_back(*entry);
    const std::string pause_entry = "KELTO_TEST_PAUSE=" + pause;
    if (!pause.empty())
        env.push_back(const_cast<char *>(pause_entry.c_str()));
    env.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int fds[3] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int i = 0; i < 3; ++i)
            if (fds[i] < 0 || dup2(fds[i], i) < 0)
                _exit(127);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            _exit(127);
        execve(KELTO_EXE, argv.data(), env.data());
        _exit(127);
    }
    return child;
}

}  // namespace

RunResult run_in_process(const std::vector<std::string> &args, const std::string &menu, uint64_t clock_seed,
                         int workers)
{
    const std::vector<std::string> given = suite_args(args);
    std::vector<const char *> argv{"kelto"};
    for (const std::string &arg : given)
        argv.push_back(arg.c_str());
    TempDir io_dir;
    write_file(io_dir.path("stdin"), menu);
    RunIo io;
    io.menu_input = std::fopen(io_dir.path("stdin").c_str(), "rb");
    io.console = std::fopen(io_dir.path("stdout").c_str(), "wb");
    io.errors = std::fopen(io_dir.path("stderr").c_str(), "wb");
    RunResult result;
    result.status = run(static_cast<int>(argv.size()), argv.data(), io, clock_seed, workers);
    for (FILE *file : {io.menu_input, io.console, io.errors})
        std::fclose(file);
    result.console = read_file(io_dir.path("stdout"));
    result.errors = read_file(io_dir.path("stderr"));
    read_report(args, result);
    return result;
}

RunResult run_executable(const std::vector<std::string> &args, const std::string &menu, bool keep_console)
{
    TempDir io;
    write_file(io.path("stdin"), menu);
    const pid_t child =
        spawn(args, "", io.path("stdin"), keep_console ? io.path("stdout") : "/dev/null", io.path("stderr"));
    RunResult result;
    int wait_status = 0;
    struct rusage usage {};
    wait4(child, &wait_status, 0, &usage);
#if defined(__APPLE__)
    result.peak_rss_kib = usage.ru_maxrss / 1024;  // bytes there, KiB elsewhere
#else
    result.peak_rss_kib = usage.ru_maxrss;
#endif
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    result.console = read_file(io.path("stdout"));
    result.errors = read_file(io.path("stderr"));
    read_report(args, result);
    return result;
}

RunResult run_on(const TempDir &dir, const std::string &bytes, const std::string &t, const std::string &menu)
{
    write_file(dir.path("in.txt"), bytes);
    return run_executable({dir.path("in.txt"), dir.path("out.txt"), t}, menu);
}

BackgroundRun::BackgroundRun(const std::vector<std::string> &args, const std::string &dir,
                             const std::string &stdout_path, const std::string &stderr_path, const std::string &pause)
    : pid_(spawn(args, dir, "/dev/null", stdout_path, stderr_path, pause))
{
}

// The end of a child as waitpid reported it.
static ProcessEnd process_end(int status)
{
    return ProcessEnd{true, WIFEXITED(status), WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                      WIFSIGNALED(status) ? WTERMSIG(status) : 0};
}

bool BackgroundRun::wait_stopped(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0 && !end_.ended) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG | WUNTRACED);
        if (done == pid_ && WIFSTOPPED(status))
            return true;
        if (done == pid_)
            end_ = process_end(status);
        else if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

BackgroundRun::~BackgroundRun()
{
    if (pid_ > 0 && !end_.ended) {
        kill(pid_, SIGKILL);
        int ignored = 0;
        waitpid(pid_, &ignored, 0);
    }
}

bool BackgroundRun::send(int number) { return pid_ > 0 && !end_.ended && kill(pid_, number) == 0; }

bool BackgroundRun::wait(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0 && !end_.ended) {
        int status = 0;
        const pid_t done = waitpid(pid_, &status, WNOHANG);
        if (done == pid_)
            end_ = process_end(status);
        else if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return end_.ended;
}

std::string random_residues(std::mt19937 &engine, std::size_t length)
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::string s(length, 'A');
    for (char &c : s)
        c = letters[engine() % 20];
    return s;
}

std::vector<std::string> related_pairs(unsigned seed, int pairs, int length)
{
    std::mt19937 engine(seed);
    std::vector<std::string> records;
    for (int p = 0; p < pairs; ++p) {
        const std::string first = random_residues(engine, static_cast<std::size_t>(length));
        std::string second = random_residues(engine, static_cast<std::size_t>(length));
        const int stretch = 5 + static_cast<int>(engine() % 10);
        const int start = static_cast<int>(engine() % static_cast<unsigned>(length - stretch));
        std::copy_n(first.begin() + start, stretch, second.begin() + start);
        records.push_back(first);
        records.push_back(second);
    }
    return records;
}

std::vector<std::string> pairs_with_identical_quartets()
{
    std::mt19937 engine(8);
    const std::string common = random_residues(engine, 60);
    std::vector<std::string> records;
    for (int pair = 0; pair < 9; ++pair)
        for (int record = 0; record < 2; ++record)
            records.push_back(pair % 3 == 2 ? common : random_residues(engine, 60));
    return records;
}

std::vector<std::string> too_many_maximum_records()
{
    // Over the first 256 positions pair 3 scores I against V (3) where the
    // plain pairs 1 and 2 score A against A (4).
    std::mt19937 engine(9);
    const std::string plain(320, 'A');
    return {random_residues(engine, 320), random_residues(engine, 320), plain, plain, plain, plain,
            std::string(256, 'I') + std::string(64, 'A'), std::string(256, 'V') + std::string(64, 'A'),
            random_residues(engine, 320), random_residues(engine, 320)};
}

std::string pair_file(const std::vector<std::string> &residues, int pairs)
{
    std::string text = "# " + std::to_string(pairs >= 0 ? pairs : static_cast<int>(residues.size() / 2)) + "\n";
    for (std::size_t i = 0; i < residues.size(); ++i)
        text += ">s" + std::to_string(i) + "\n" + residues[i] + "\n";
    return text;
}

std::vector<std::string> whole_lines(const std::string &text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::vector<Json> json_lines(const std::string &text)
{
    EXPECT_TRUE(text.ends_with("\n")) << "the record does not end with a line feed";
    std::vector<Json> lines;
    for (const std::string &line : whole_lines(text)) {
        lines.push_back(Json::parse(line, nullptr, false));
        EXPECT_FALSE(lines.back().is_discarded()) << "line " << lines.size() << ": " << line;
    }
    return lines;
}

std::vector<std::string> comparable_lines(const std::string &text)
{
    std::vector<std::string> lines = whole_lines(text);
    for (std::string &line : lines) {
        Json json = Json::parse(line, nullptr, false);
        if (json.is_discarded())
            line = "not JSON: " + line;
        else if (json.is_object() && json.erase("threads") + json.erase("wall_seconds") > 0)
            line = json.dump();
    }
    if (!text.empty() && !text.ends_with("\n"))
        lines.push_back("no line feed: " + text.substr(text.rfind('\n') + 1));
    return lines;
}

std::size_t count(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size())
        ++n;
    return n;
}

const std::string kBanner = "\n============================================================\n"
                            "=            K  E  L  T  O   :  Version  1.0               =\n"
                            "============================================================\n"
                            "=   Gene quartets: windows of extreme C(k)12 differences   =\n"
                            "=   Permutation test over substitution-matrix profiles     =\n"
                            "============================================================\n\n";
const std::string kReportHead = kBanner.substr(1, kBanner.size() - 2);
const std::string kMenu = "Select matrix: \n\n   1- BLOSUM45\n   2- BLOSUM62\n   3- BLOSUM90\n   4- PAM30\n"
                          "   5- PAM70\n   6- PAM250\n\n\t\tOption= ";

std::string console_start(int t, int menus)
{
    std::string text = kBanner;
    while (menus-- > 0)
        text += kMenu;
    return text + std::string(60, '=') + "\n\n\nT = " + std::to_string(t) + " \n\n" + std::string(60, '-');
}

}  // namespace kelto::testing
