// C(k)12 profile of a quartet and the identical-quartet test.
#include "profile/profile.hpp"

#include "common/text.hpp"
#include "input/residues.hpp"

namespace kelto {

std::vector<int> pair_scores(const std::string &first, const std::string &second, const SubstitutionMatrix &matrix)
{
    std::vector<int> scores(first.size());
    for (std::size_t k = 0; k < first.size(); ++k)
        scores[k] = matrix[static_cast<std::size_t>(residue_class(first[k]))]
                          [static_cast<std::size_t>(residue_class(second[k]))];
    return scores;
}

std::vector<std::vector<int>> all_pair_scores(const SequenceSet &set, const SubstitutionMatrix &matrix)
{
    std::vector<std::vector<int>> scores;
    for (int p = 0; p < set.pair_count(); ++p)
        scores.push_back(pair_scores(set.records[static_cast<std::size_t>(2 * p)].residues,
                                     set.records[static_cast<std::size_t>(2 * p + 1)].residues, matrix));
    return scores;
}

QuartetProfile build_profile(const std::vector<int> &score_a, const std::vector<int> &score_b)
{
    QuartetProfile profile{score_a, score_b, std::vector<int>(score_a.size())};
    for (std::size_t k = 0; k < score_a.size(); ++k)
        profile.diff[k] = score_a[k] - score_b[k];
    return profile;
}

bool is_identical(const QuartetProfile &profile)
{
    for (int value : profile.diff)
        if (value != 0)
            return false;
    return true;
}

void append_identical(std::string &console, std::string &report)
{
    appendf(console, "\n\n IDENTICAL SEQUENCES! \n");
    appendf(report, "\n\n\n\t IDENTICAL SEQUENCES! \n\n");
}

}  // namespace kelto
