// Clustal reader: a "CLUSTAL" or "MUSCLE" header line, then blocks of one
// line per record (name, residues, an optional residue count), each block
// with an optional conservation line and ended by a blank line.
#include <unordered_set>

#include "input/forms.hpp"

namespace kelto {

namespace {

bool blank(std::string_view line) { return line.find_first_not_of(" \t\v\f") == std::string_view::npos; }

bool all_digits(std::string_view word)
{
    for (const char c : word)
        if (c < '0' || c > '9')
            return false;
    return !word.empty();
}

struct ClustalState {
    std::vector<SequenceRecord> &records;
    std::vector<std::string> ids;
    std::unordered_set<std::string> seen;
    int block = 0;     // from 0
    std::size_t row = 0;  // rows read in the current block
    long long stored = 0;
};

std::string line_text(int number) { return "line " + std::to_string(number); }

// The end of a block: every block holds the rows of the first, in order.
bool end_block(ClustalState &state, int number, std::string &why)
{
    if (state.row == 0)
        return true;
    if (state.block > 0 && state.row != state.ids.size()) {
        why = (number > 0 ? "the block ending at " + line_text(number) : std::string("the last block")) + " holds " +
              std::to_string(state.row) + " of the " + std::to_string(state.ids.size()) +
              " records of the first block: the file may be cut short";
        return false;
    }
    ++state.block;
    state.row = 0;
    return true;
}

bool take_row(std::string_view line, int number, ClustalState &state, std::string &why)
{
    std::vector<std::string_view> words = split_words(line);
    if (words.size() >= 3 && all_digits(words.back()))
        words.pop_back();  // the residue count at the end of the line
    if (words.size() < 2) {
        why = line_text(number) + ": a row is a name and its aligned residues";
        return false;
    }
    const std::string id(words[0]);
    if (state.block == 0) {
        if (!state.seen.insert(id).second) {
            why = line_text(number) + ": " + id + " appears twice in the first block";
            return false;
        }
        if (state.records.size() == static_cast<std::size_t>(kMaxAlignmentRecords)) {
            why = line_text(number) + ": more than " + std::to_string(kMaxAlignmentRecords) + " records";
            return false;
        }
        state.records.emplace_back();
        state.ids.push_back(id);
    } else if (state.row >= state.ids.size() || state.ids[state.row] != id) {
        why = line_text(number) + ": " + id + " where the first block has " +
              (state.row < state.ids.size() ? state.ids[state.row] : std::string("no further row"));
        return false;
    }
    std::string &residues = state.records[state.row].residues;
    for (std::size_t w = 1; w < words.size(); ++w)
        if (!append_row(words[w], residues, state.stored, why)) {
            why = line_text(number) + ", " + id + ": " + why;
            return false;
        }
    ++state.row;
    return true;
}

}  // namespace

bool read_clustal(const std::string &text, std::vector<SequenceRecord> &records, std::string &why)
{
    records.clear();
    ClustalState state{records, {}, {}};
    LineCursor lines{text};
    std::string_view line;
    bool started = false;
    while (lines.next(line)) {
        if (!started) {
            if (blank(line))
                continue;
            if (line.substr(0, 7) != "CLUSTAL" && line.substr(0, 6) != "MUSCLE") {
                why = line_text(lines.number) + ": the first line must start with \"CLUSTAL\" or \"MUSCLE\"";
                return false;
            }
            started = true;
            continue;
        }
        if (blank(line)) {
            if (!end_block(state, lines.number, why))
                return false;
            continue;
        }
        if (line[0] == ' ' || line[0] == '\t') {
            // The conservation line under a block.
            if (line.find_first_not_of(" \t.:*") != std::string_view::npos) {
                why = line_text(lines.number) + ": a line starting with a blank is a conservation line, of '*', ':' "
                      "and '.' only";
                return false;
            }
            continue;
        }
        if (!take_row(line, lines.number, state, why))
            return false;
    }
    if (!end_block(state, 0, why))
        return false;
    if (records.empty()) {
        why = "the alignment holds no sequence";
        return false;
    }
    for (std::size_t r = 0; r < records.size(); ++r) {
        if (records[r].residues.size() != records[0].residues.size()) {
            why = state.ids[r] + " has " + std::to_string(records[r].residues.size()) + " columns and " +
                  state.ids[0] + " " + std::to_string(records[0].residues.size()) + ": the blocks do not line up";
            return false;
        }
        std::string residues = std::move(records[r].residues);
        records[r] = named_record(state.ids[r], "");
        records[r].residues = std::move(residues);
    }
    return true;
}

}  // namespace kelto
