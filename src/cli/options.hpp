// Command-line options of every command: one table drives the parser, the
// --help text and the checks of every value; the parsed values land in one
// RunOptions, from which each command receives its own request.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "html/html_command.hpp"
#include "merge/request.hpp"
#include "run/request.hpp"

namespace kelto {

inline constexpr int kMaxThreads = 1024;

// The program's commands: a run, `kelto merge` and `kelto html`.
enum class Command { kRun, kMerge, kHtml };

// The parsed command line: a run's request (whose arguments and output
// paths are also those merge and html take), and the two options that
// answer before any command runs.
struct RunOptions {
    RunRequest run;
    bool help = false;
    bool version = false;
};

// The command named by argv[1] ("merge", "html"), or a run.
Command command_of(int argc, const char *const *argv);

// Parses the arguments of `command`: argv[1 .. argc-1] for a run, argv[2 ..]
// for the others. Options are "--name value" or "--name=value" and may stand
// anywhere; "--" ends them; every other argument (also "-5") is a
// positional. An option of another command is unknown here. Returns false
// with a one-line message in `error` (no line feed) on an unknown option, a
// missing or bad value.
bool parse_options(Command command, int argc, const char *const *argv, RunOptions &options, std::string &error);

// The usage lines and one line per option.
std::string help_text();

// The line printed after an option error of a run.
inline constexpr const char *kUsageLine = "Usage: kelto [OPTIONS] IN_FILE OUT_FILE T   (kelto --help lists the options)\n";

// Prints an argument error of `merge` or `html` on `out`: the error named
// after the command, then its usage line.
void usage_error(Command command, const std::string &error, FILE *out);

// The parsed options as each command's request.
RunRequest run_request(const RunOptions &options);
MergeRequest merge_request(const RunOptions &options);
HtmlRequest html_request(const RunOptions &options);

// Matrix index 0-5 for "1".."6" or a matrix name in any case; -1 otherwise.
int matrix_from_text(const std::string &text);

}  // namespace kelto
