// Test helpers: temporary directories, files, fixed texts and program runs.
#include "test_support.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "app/run.hpp"

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

namespace {

// Reads the report back when it is a regular file (not /dev/null or /dev/full).
void read_report(const std::vector<std::string> &args, RunResult &result)
{
    struct stat info;
    result.report_exists = args.size() >= 2 && stat(args[1].c_str(), &info) == 0 && S_ISREG(info.st_mode);
    if (result.report_exists)
        result.report = read_file(args[1]);
}

}  // namespace

RunResult run_in_process(const std::vector<std::string> &args, const std::string &menu, uint64_t seed, int workers)
{
    std::vector<const char *> argv{"kelto"};
    for (const std::string &arg : args)
        argv.push_back(arg.c_str());
    TempDir io_dir;
    write_file(io_dir.path("stdin"), menu);
    RunIo io;
    io.menu_input = std::fopen(io_dir.path("stdin").c_str(), "rb");
    io.console = std::fopen(io_dir.path("stdout").c_str(), "wb");
    RunResult result;
    result.status = run(static_cast<int>(argv.size()), argv.data(), io, seed, workers);
    std::fclose(io.menu_input);
    std::fclose(io.console);
    result.console = read_file(io_dir.path("stdout"));
    read_report(args, result);
    return result;
}

RunResult run_executable(const std::vector<std::string> &args, const std::string &menu, bool keep_console)
{
    TempDir io_dir;
    const std::string in_path = io_dir.path("stdin");
    const std::string out_path = keep_console ? io_dir.path("stdout") : "/dev/null";
    write_file(in_path, menu);
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(in_path.c_str(), "r", stdin) || !std::freopen(out_path.c_str(), "w", stdout))
            _exit(127);
        std::vector<char *> argv{const_cast<char *>(KELTO_EXE)};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KELTO_EXE, argv.data());
        _exit(127);
    }
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
    if (keep_console)
        result.console = read_file(out_path);
    read_report(args, result);
    return result;
}

pid_t start_executable(const std::vector<std::string> &args, const std::string &dir, const std::string &stdout_path,
                       const std::string &stderr_path)
{
    // Everything the child needs is prepared before the fork: between fork
    // and exec it only makes system calls.
    std::vector<char *> argv{const_cast<char *>(KELTO_EXE)};
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 || dup2(out, STDOUT_FILENO) < 0 ||
            dup2(err, STDERR_FILENO) < 0 || chdir(dir.c_str()) != 0)
            _exit(127);
        execv(KELTO_EXE, argv.data());
        _exit(127);
    }
    return child;
}

bool wait_for_end(pid_t pid, std::chrono::milliseconds timeout, ProcessEnd &end)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int wait_status = 0;
        const pid_t done = waitpid(pid, &wait_status, WNOHANG);
        if (done == pid) {
            end.ended = true;
            end.exited = WIFEXITED(wait_status);
            end.status = end.exited ? WEXITSTATUS(wait_status) : -1;
            end.signal = WIFSIGNALED(wait_status) ? WTERMSIG(wait_status) : 0;
            return true;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

BackgroundRun::BackgroundRun(const std::vector<std::string> &args, const std::string &dir,
                             const std::string &stdout_path, const std::string &stderr_path)
    : pid_(start_executable(args, dir, stdout_path, stderr_path))
{
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

bool BackgroundRun::running()
{
    return pid_ > 0 && !end_.ended && !wait_for_end(pid_, std::chrono::milliseconds(0), end_);
}

bool BackgroundRun::wait(std::chrono::milliseconds timeout)
{
    return pid_ > 0 && (end_.ended || wait_for_end(pid_, timeout, end_));
}

RunResult run_on(const TempDir &dir, const std::string &bytes, const std::string &t, const std::string &menu)
{
    write_file(dir.path("in.txt"), bytes);
    return run_executable({dir.path("in.txt"), dir.path("out.txt"), t}, menu);
}

Captured run_captured(const std::vector<std::string> &args, const std::string &menu, uint64_t clock_seed, int workers)
{
    std::vector<const char *> argv{"kelto"};
    for (const std::string &arg : args)
        argv.push_back(arg.c_str());
    TempDir io_dir;
    write_file(io_dir.path("stdin"), menu);
    RunIo io;
    io.menu_input = std::fopen(io_dir.path("stdin").c_str(), "rb");
    io.console = std::fopen(io_dir.path("stdout").c_str(), "wb");
    io.errors = std::fopen(io_dir.path("stderr").c_str(), "wb");
    Captured result;
    result.status = run(static_cast<int>(argv.size()), argv.data(), io, clock_seed, workers);
    std::fclose(io.menu_input);
    std::fclose(io.console);
    std::fclose(io.errors);
    result.console = read_file(io_dir.path("stdout"));
    result.errors = read_file(io_dir.path("stderr"));
    return result;
}

Captured run_executable_captured(const std::vector<std::string> &args, const std::string &menu)
{
    TempDir io_dir;
    write_file(io_dir.path("stdin"), menu);
    const pid_t child = fork();
    if (child == 0) {
        if (!std::freopen(io_dir.path("stdin").c_str(), "r", stdin) ||
            !std::freopen(io_dir.path("stdout").c_str(), "w", stdout) ||
            !std::freopen(io_dir.path("stderr").c_str(), "w", stderr))
            _exit(127);
        std::vector<char *> argv{const_cast<char *>(KELTO_EXE)};
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        execv(KELTO_EXE, argv.data());
        _exit(127);
    }
    int wait_status = 0;
    waitpid(child, &wait_status, 0);
    Captured result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    result.console = read_file(io_dir.path("stdout"));
    result.errors = read_file(io_dir.path("stderr"));
    return result;
}

std::map<std::string, std::string> directory_files(const TempDir &dir)
{
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
        files[entry.path().filename().string()] =
            entry.is_symlink() ? "-> " + std::filesystem::read_symlink(entry.path()).string() : read_file(entry.path());
    return files;
}

std::vector<std::string> related_pairs(unsigned seed, int pairs, int length)
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::mt19937 engine(seed);
    auto random_text = [&](int n) {
        std::string s(static_cast<std::size_t>(n), 'A');
        for (char &c : s)
            c = letters[engine() % 20];
        return s;
    };
    std::vector<std::string> records;
    for (int p = 0; p < pairs; ++p) {
        const std::string first = random_text(length);
        std::string second = random_text(length);
        const int stretch = 5 + static_cast<int>(engine() % 10);
        const int start = static_cast<int>(engine() % static_cast<unsigned>(length - stretch));
        second.replace(static_cast<std::size_t>(start), static_cast<std::size_t>(stretch), first,
                       static_cast<std::size_t>(start), static_cast<std::size_t>(stretch));
        records.push_back(first);
        records.push_back(second);
    }
    return records;
}

std::vector<std::string> too_many_maximum_records()
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::mt19937 engine(9);
    auto random_text = [&]() {
        std::string s(320, 'A');
        for (char &c : s)
            c = letters[engine() % 20];
        return s;
    };
    const std::string plain(320, 'A');
    // Over the first 256 positions pair 3 scores I against V (3) where pairs 1 and 2 score A against A (4).
    const std::string block_first = std::string(256, 'I') + std::string(64, 'A');
    const std::string block_second = std::string(256, 'V') + std::string(64, 'A');
    std::vector<std::string> records{random_text(), random_text()};
    records.insert(records.end(), {plain, plain, plain, plain, block_first, block_second});
    records.push_back(random_text());
    records.push_back(random_text());
    return records;
}

std::string pair_file(const std::vector<std::string> &residues, int pairs)
{
    std::string text = "# " + std::to_string(pairs >= 0 ? pairs : static_cast<int>(residues.size() / 2)) + "\n";
    for (std::size_t i = 0; i < residues.size(); ++i)
        text += ">s" + std::to_string(i) + "\n" + residues[i] + "\n";
    return text;
}

const std::string kBanner = "\n" + std::string(60, '=') +
                            "\n=            K  E  L  T  O   :  Version  1.0               =\n" + std::string(60, '=') +
                            "\n=   Gene quartets: windows of extreme C(k)12 differences   =\n"
                            "=   Permutation test over substitution-matrix profiles     =\n" + std::string(60, '=') + "\n\n";
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
