// Test helpers: temporary directories, files and program runs.
#include "test_support.hpp"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/run.hpp"

namespace kelto::testing {

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kelto-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    dir = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool file_exists(const std::string &path)
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

namespace {

std::string read_stream(FILE *file)
{
    std::string text;
    std::rewind(file);
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    return text;
}

// Reads the report back when it is a regular file (not /dev/null or /dev/full).
void read_report(const std::vector<std::string> &args, RunResult &result)
{
    struct stat info;
    if (args.size() >= 2 && stat(args[1].c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        result.report_exists = true;
        result.report = read_file(args[1]);
    }
}

}  // namespace

RunResult run_in_process(const std::vector<std::string> &args, const std::string &menu, uint64_t seed, int workers)
{
    std::vector<const char *> argv{"kelto"};
    for (const std::string &arg : args)
        argv.push_back(arg.c_str());
    FILE *input = std::tmpfile();
    FILE *console = std::tmpfile();
    std::fwrite(menu.data(), 1, menu.size(), input);
    std::rewind(input);

    RunIo io;
    io.menu_input = input;
    io.console = console;
    RunResult result;
    result.status = run(static_cast<int>(argv.size()), argv.data(), io, seed, workers);
    std::fflush(console);
    result.console = read_stream(console);
    std::fclose(input);
    std::fclose(console);
    read_report(args, result);
    return result;
}

RunResult run_executable(const std::vector<std::string> &args, const std::string &menu, bool keep_console)
{
    TempDir io_dir;
    const std::string in_path = io_dir.path("stdin");
    const std::string out_path = keep_console ? io_dir.path("stdout") : "/dev/null";
    write_file(in_path, menu);

    RunResult result;
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
    int wait_status = 0;
    struct rusage usage {};
    wait4(child, &wait_status, 0, &usage);
    result.peak_rss_kib = usage.ru_maxrss;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    if (keep_console)
        result.console = read_file(out_path);
    read_report(args, result);
    return result;
}

std::string pair_file(const std::vector<std::string> &residues, int pairs)
{
    std::string text = "# " + std::to_string(pairs >= 0 ? pairs : static_cast<int>(residues.size() / 2)) + "\n";
    for (std::size_t i = 0; i < residues.size(); ++i)
        text += ">s" + std::to_string(i) + "\n" + residues[i] + "\n";
    return text;
}

}  // namespace kelto::testing
