// Command-line options of every command: one table drives the parser, the
// --help text and the checks of every value; the parsed values land in one
// RunOptions, which each command receives as its own request.
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

struct RunOptions {
    std::vector<std::string> positionals;  // a run: IN_FILE OUT_FILE T, and any ignored extras
    bool seed_given = false;
    uint64_t seed = 0;
    int matrix = -1;   // index into kMatrixSet, or -1: a matrix file, or ask at the menu
    std::string matrix_path;  // --matrix naming no built-in: a matrix file, read while planning
    std::string pairs_path;   // --pairs: the pairs chosen by name
    std::string format;       // --format: the input's form as the record names it; empty: told by the content
    long long family_randomisations = -1;  // J_max of the family-wise test; -1: kDefaultFamilyCap
    int family_exceedances = -1;            // h; -1: kDefaultFamilyExceedances
    int family_block = -1;                  // 1: arrange single positions, L: blocks of L; -1: 1
    int threads = 0;   // 0: the CPUs this process may use
    bool quiet = false;
    bool help = false;
    bool version = false;
    bool resume = false;
    std::string json_path;  // empty: not written
    std::string tsv_path;
    std::string html_path;
    int shard_index = 0;  // K of --shard K/N, 0 when not sharded
    int shard_count = 0;
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
