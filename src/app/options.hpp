// Command-line options: one table drives the parser, the --help text and
// the checks of every value; the parsed values land in one RunOptions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelto {

inline constexpr const char *kProgramVersion = "1.1.0";
inline constexpr int kMaxThreads = 1024;

struct RunOptions {
    std::vector<std::string> positionals;  // IN_FILE OUT_FILE T, and any ignored extras
    bool seed_given = false;
    uint64_t seed = 0;
    int matrix = -1;   // index into kMatrixSet, or -1: ask at the menu
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

// Parses argv[1 .. argc-1]. Options are "--name value" or "--name=value"
// and may stand anywhere; "--" ends them; every other argument (also "-5")
// is a positional. Returns false with a one-line message in `error` (no
// line feed) on an unknown option, a missing or bad value.
bool parse_options(int argc, const char *const *argv, RunOptions &options, std::string &error);

// The usage lines and one line per option.
std::string help_text();

// The line printed after an option error.
inline constexpr const char *kUsageLine = "Usage: kelto [OPTIONS] IN_FILE OUT_FILE T   (kelto --help lists the options)\n";

// Matrix index 0-5 for "1".."6" or a matrix name in any case; -1 otherwise.
int matrix_from_text(const std::string &text);

}  // namespace kelto
