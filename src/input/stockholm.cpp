// Stockholm reader: "# STOCKHOLM" header, sequence lines in one or more
// blocks, mark-up lines, "//" at the end.
#include <unordered_map>

#include "input/forms.hpp"

namespace kelto {

namespace {

bool starts_with(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// The text after the first `count` words of a line, without the blanks
// around it.
std::string_view after_words(std::string_view line, int count)
{
    constexpr const char *kBlanks = " \t\v\f";
    std::size_t at = 0;
    for (int i = 0; i < count; ++i) {
        at = line.find_first_not_of(kBlanks, at);
        at = at == std::string_view::npos ? line.size() : std::min(line.find_first_of(kBlanks, at), line.size());
    }
    at = std::min(line.find_first_not_of(kBlanks, at), line.size());
    std::size_t end = line.find_last_not_of(kBlanks);
    end = end == std::string_view::npos || end < at ? at : end + 1;
    return line.substr(at, end - at);
}

struct Annotation {
    std::string description;  // "#=GS ID DE"
    std::string accession;    // "#=GS ID AC"
};

struct StockholmState {
    std::vector<SequenceRecord> &records;
    std::vector<std::string> ids;
    std::vector<int> last_line;  // each record's last sequence line
    std::unordered_map<std::string, std::size_t> place;
    std::unordered_map<std::string, Annotation> annotations;
    std::string &reference;
    long long stored = 0;
};

// One line inside the alignment; false with why when it is malformed.
bool take_line(std::string_view line, int number, StockholmState &state, std::string &why)
{
    if (starts_with(line, "#=GS")) {
        const std::vector<std::string_view> words = split_words(line);
        if (words.size() >= 3 && (words[2] == "DE" || words[2] == "AC")) {
            Annotation &note = state.annotations[std::string(words[1])];
            std::string &field = words[2] == "DE" ? note.description : note.accession;
            if (!field.empty())
                field.push_back(' ');
            field.append(after_words(line, 3));
        }
        return true;
    }
    if (starts_with(line, "#=GC")) {
        const std::vector<std::string_view> words = split_words(line);
        if (words.size() >= 3 && words[1] == "RF")
            for (std::size_t w = 2; w < words.size(); ++w)
                state.reference += words[w];
        return true;
    }
    if (line[0] == '#')  // "#=GF", "#=GR" and comments: not needed for the analysis
        return true;
    const std::vector<std::string_view> words = split_words(line);
    if (words.size() != 2) {
        why = "line " + std::to_string(number) +
              ": a sequence line is a name and the aligned residues, without blanks inside either";
        return false;
    }
    const std::string id(words[0]);
    const auto [it, fresh] = state.place.emplace(id, state.records.size());
    if (fresh) {
        if (state.records.size() == static_cast<std::size_t>(kMaxAlignmentRecords)) {
            why = "line " + std::to_string(number) + ": more than " + std::to_string(kMaxAlignmentRecords) + " records";
            return false;
        }
        state.records.emplace_back();
        state.ids.push_back(id);
        state.last_line.push_back(0);
    }
    state.last_line[it->second] = number;
    if (!append_row(words[1], state.records[it->second].residues, state.stored, why)) {
        why = "line " + std::to_string(number) + ", " + id + ": " + why;
        return false;
    }
    return true;
}

// The records' names and annotations, and the check that every row and the
// reference line span the same columns.
bool finish(StockholmState &state, std::string &why)
{
    if (state.records.empty()) {
        why = "the alignment holds no sequence";
        return false;
    }
    const std::size_t columns = state.records[0].residues.size();
    for (std::size_t r = 0; r < state.records.size(); ++r) {
        if (state.records[r].residues.size() != columns) {
            why = state.ids[r] + " has " + std::to_string(state.records[r].residues.size()) + " columns and " +
                  state.ids[0] + " " + std::to_string(columns) + " (its last line is line " +
                  std::to_string(state.last_line[r]) + "): the blocks do not line up";
            return false;
        }
        const Annotation &note = state.annotations[state.ids[r]];
        std::string residues = std::move(state.records[r].residues);
        state.records[r] = named_record(state.ids[r], note.description);
        state.records[r].residues = std::move(residues);
        state.records[r].accession = note.accession;
    }
    if (!state.reference.empty() && state.reference.size() != columns) {
        why = "the #=GC RF line has " + std::to_string(state.reference.size()) + " columns and the sequences " +
              std::to_string(columns);
        return false;
    }
    return true;
}

}  // namespace

bool read_stockholm(const std::string &text, std::vector<SequenceRecord> &records, std::string &reference,
                    std::string &why)
{
    records.clear();
    reference.clear();
    StockholmState state{records, {}, {}, {}, {}, reference};
    LineCursor lines{text};
    std::string_view line;
    bool started = false;
    bool ended = false;
    while (lines.next(line)) {
        if (line.find_first_not_of(" \t\v\f") == std::string_view::npos)
            continue;
        if (ended) {
            why = "line " + std::to_string(lines.number) +
                  (starts_with(line, "# STOCKHOLM")
                       ? ": a second alignment starts here; kelto reads one alignment per file (split the file)"
                       : ": text after the \"//\" line that ends the alignment");
            return false;
        }
        if (!started) {
            if (!starts_with(line, "# STOCKHOLM")) {
                why = "line " + std::to_string(lines.number) + ": the first line must be \"# STOCKHOLM 1.0\"";
                return false;
            }
            started = true;
            continue;
        }
        if (starts_with(line, "//")) {
            ended = true;
            continue;
        }
        if (!take_line(line, lines.number, state, why))
            return false;
    }
    if (!ended) {
        why = started ? "the alignment does not end with a \"//\" line: the file may be cut short"
                      : "the input holds no line";
        return false;
    }
    return finish(state, why);
}

}  // namespace kelto
