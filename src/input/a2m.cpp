// A2M and A3M: lining up the insert residues, and the protein's own
// coordinates in "ID/START-END" names.
#include <algorithm>
#include <climits>

#include "input/forms.hpp"

namespace kelto {

namespace {

bool is_insert(char c) { return (c >= 'a' && c <= 'z') || c == '.'; }

// A row as match states and the inserts before each of them (and after the
// last): inserts[j] stands before match j.
struct StateRow {
    std::string matches;
    std::vector<std::string> inserts;
};

StateRow split_states(const std::string &residues)
{
    StateRow row;
    row.inserts.emplace_back();
    for (const char c : residues) {
        if (!is_insert(c)) {
            row.matches.push_back(c);
            row.inserts.emplace_back();
        } else if (c != '.') {
            row.inserts.back().push_back(c);
        }
    }
    return row;
}

// A decimal number of at most ten digits, filling `text`.
bool parse_number(std::string_view text, long long &value)
{
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

bool line_up_inserts(std::vector<SequenceRecord> &records, std::string &why)
{
    std::vector<StateRow> rows;
    rows.reserve(records.size());
    for (const SequenceRecord &record : records)
        rows.push_back(split_states(record.residues));
    if (rows.empty())
        return true;
    std::vector<std::size_t> widths(rows[0].inserts.size(), 0);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].matches.size() != rows[0].matches.size()) {
            why = record_id(records[r]) + " has " + std::to_string(rows[r].matches.size()) +
                  " match columns (upper case and '-') and " + record_id(records[0]) + " " +
                  std::to_string(rows[0].matches.size()) + ": the rows are not one A2M/A3M alignment";
            return false;
        }
        for (std::size_t j = 0; j < widths.size(); ++j)
            widths[j] = std::max(widths[j], rows[r].inserts[j].size());
    }
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string &residues = records[r].residues;
        residues.clear();
        for (std::size_t j = 0; j < widths.size(); ++j) {
            residues += rows[r].inserts[j];
            residues.append(widths[j] - rows[r].inserts[j].size(), '.');
            if (j < rows[r].matches.size())
                residues.push_back(rows[r].matches[j]);
        }
    }
    return true;
}

bool apply_coordinates(SequenceSet &set, std::string &why)
{
    for (std::size_t r = 0; r < set.records.size(); ++r) {
        SequenceRecord &record = set.records[r];
        const std::string id = record_id(record);
        const std::size_t slash = id.rfind('/');
        const std::size_t dash = id.find('-', slash == std::string::npos ? 0 : slash);
        long long start = 0, end = 0;
        if (slash == std::string::npos || dash == std::string::npos ||
            !parse_number(std::string_view(id).substr(slash + 1, dash - slash - 1), start) ||
            !parse_number(std::string_view(id).substr(dash + 1), end))
            continue;
        if (start < 1 || end < start || end > 1000000000) {
            why = "record " + id + ": the coordinates " + std::to_string(start) + "-" + std::to_string(end) +
                  " after its '/' cannot be residue numbers (they run from 1 up, the end not before the start)";
            return false;
        }
        const long long letters = std::count_if(record.residues.begin(), record.residues.end(), [](char c) {
            return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        });
        record.first_residue = static_cast<int>(start);
        if (end - start + 1 != letters)
            set.warnings.push_back(InputWarning{
                "coordinates", static_cast<int>(r),
                "its name gives residues " + std::to_string(start) + "-" + std::to_string(end) + " (" +
                    std::to_string(end - start + 1) + "), its row holds " + std::to_string(letters) +
                    "; residue numbers count from " + std::to_string(start)});
    }
    return true;
}

}  // namespace kelto
