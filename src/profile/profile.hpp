// The C(k)12 profile of a gene quartet: per position, the score of pair A
// minus the score of pair B under the working substitution matrix.
#pragma once

#include <string>
#include <vector>

#include "input/matrices.hpp"
#include "input/pair_file.hpp"

namespace kelto {

// Two pairs of aligned records, in the order pair A first, pair A second,
// pair B first, pair B second. Points into the run's SequenceSet.
struct Quartet {
    const SequenceRecord *records[4];
};

// Position-by-position substitution scores of two sequences of equal length
// (residues only, no gaps).
std::vector<int> pair_scores(const std::string &first, const std::string &second, const SubstitutionMatrix &matrix);

// The scores of every pair of the set, pair p from records 2p and 2p+1.
std::vector<std::vector<int>> all_pair_scores(const SequenceSet &set, const SubstitutionMatrix &matrix);

struct QuartetProfile {
    std::vector<int> score_a;  // pair-A score per position
    std::vector<int> score_b;  // pair-B score per position
    std::vector<int> diff;     // C(k)12 = score_a - score_b
};

// Builds the profile from the two pairs' score arrays.
QuartetProfile build_profile(const std::vector<int> &score_a, const std::vector<int> &score_b);

// True when every C(k)12 value is zero (also for an empty profile).
bool is_identical(const QuartetProfile &profile);

// The texts that close an identical quartet.
void append_identical(std::string &console, std::string &report);

}  // namespace kelto
