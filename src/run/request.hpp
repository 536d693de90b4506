// What a run is asked to do, as the command line gave it: its arguments,
// its options and the outputs it writes. The program's entry fills it; the
// planning reads it and nothing else of the command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelto {

inline constexpr const char *kProgramVersion = "1.3.0";
inline constexpr long long kDefaultFamilyCap = 999999;
inline constexpr int kDefaultFamilyExceedances = 10;

struct RunRequest {
    std::vector<std::string> positionals;  // IN_FILE OUT_FILE T, and any ignored extras
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
    bool resume = false;
    std::string json_path;  // empty: not written
    std::string tsv_path;
    std::string html_path;
    int shard_index = 0;  // K of --shard K/N, 0 when not sharded
    int shard_count = 0;
};

}  // namespace kelto
