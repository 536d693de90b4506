// Gap-column removal and the common length of the alignment.
#include "input/gaps.hpp"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

#include "common/text.hpp"
#include "input/residues.hpp"

namespace kelto {

namespace {

// Stockholm and A2M/A3M: the columns of insert states, where a record holds
// a lower-case letter or '.', or the reference line marks an insert.
std::vector<char> insert_columns(const SequenceSet &set, std::size_t columns)
{
    std::vector<char> insert(columns, 0);
    if (!set.insert_states)
        return insert;
    for (std::size_t k = 0; k < columns && k < set.reference.size(); ++k)
        insert[k] = std::string_view(".-_~").find(set.reference[k]) != std::string_view::npos;
    for (const SequenceRecord &record : set.records)
        for (std::size_t k = 0; k < columns; ++k) {
            const char c = record.residues[k];
            insert[k] = insert[k] || c == '.' || (c >= 'a' && c <= 'z');
        }
    return insert;
}

}  // namespace

int remove_gap_columns(SequenceSet &set, int shortest, std::string &console)
{
    const std::size_t columns = static_cast<std::size_t>(shortest);
    std::vector<char> gap(columns, 0);
    for (std::size_t r = 0; r < set.records.size(); ++r) {
        const std::string &residues = set.records[r].residues;
        std::map<char, std::pair<std::size_t, int>> unscored;  // letter: first column, columns
        for (std::size_t k = 0; k < columns; ++k) {
            if (!is_gap_like(residues[k]))
                continue;
            gap[k] = 1;
            if (residue_class(residues[k]) == kClassUnscored && unscored[residues[k]].second++ == 0)
                unscored[residues[k]].first = k + 1;
        }
        for (const auto &[letter, where] : unscored) {
            std::string detail = "'";
            detail += letter;
            detail += "', not one of the twenty residues, in ";
            detail += std::to_string(where.second);
            detail += " column(s) from column ";
            detail += std::to_string(where.first);
            detail += "; they are removed from every record";
            set.warnings.push_back(InputWarning{"unscored_letter", static_cast<int>(r), detail});
        }
    }
    std::size_t longest = 0;
    for (const SequenceRecord &record : set.records)
        longest = std::max(longest, record.residues.size());
    if (longest > columns)
        set.warnings.push_back(InputWarning{"unequal_lengths", -1,
                                            "the records are of unequal length (shortest " + std::to_string(columns) +
                                                ", longest " + std::to_string(longest) +
                                                "); every record is cut to the shortest"});

    // Insert columns are removed with the gap columns and counted apart.
    const std::vector<char> insert = insert_columns(set, columns);
    int gap_count = 0;
    int insert_count = 0;
    for (std::size_t k = 0; k < columns; ++k) {
        gap_count += gap[k] && !insert[k];
        insert_count += insert[k];
        gap[k] = gap[k] || insert[k];
    }
    if (insert_count > 0)
        set.warnings.push_back(InputWarning{
            "insert_columns", -1,
            std::to_string(insert_count) + " insert column(s) (a lower-case letter or '.' in some record, or an insert "
                                           "on the #=GC RF line) are removed from every record: inserts are not aligned"});

    set.columns.clear();
    for (std::size_t k = 0; k < columns; ++k)
        if (!gap[k])
            set.columns.push_back(static_cast<int>(k) + 1);
    set.residue_numbers.assign(set.records.size(), {});
    for (std::size_t r = 0; r < set.records.size(); ++r) {
        int letters = set.records[r].first_residue - 1;
        for (std::size_t k = 0; k < columns; ++k) {
            const unsigned char c = static_cast<unsigned char>(set.records[r].residues[k]);
            letters += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
            if (!gap[k])
                set.residue_numbers[r].push_back(letters);
        }
    }

    for (SequenceRecord &record : set.records) {
        std::size_t kept = 0;
        for (std::size_t k = 0; k < columns; ++k)
            if (!gap[k])
                record.residues[kept++] = record.residues[k];
        record.residues.resize(kept);
    }

    const int n_minimum = shortest - gap_count - insert_count;
    if (gap_count >= 1)
        appendf(console, "\n\n Gaps= %d", gap_count);
    if (insert_count >= 1)
        appendf(console, "\n\n Insert columns= %d", insert_count);
    appendf(console, "\n\n---->  N_minimum (Without gaps) = %d \n", n_minimum);
    appendf(console, "\n------------------------------------------------------------\n\n");
    return n_minimum;
}

}  // namespace kelto
