// Both input forms, the chosen pairs and the echo of the records.
#include "input/alignment.hpp"

#include <unordered_map>

#include "common/files.hpp"
#include "common/text.hpp"
#include "input/byte_reader.hpp"
#include "input/residues.hpp"
#include "record/digest.hpp"

namespace kelto {

namespace {

// A record's name as a pairs file names it: its header's first word.
std::string first_word(const std::string &header)
{
    const std::size_t end = header.find_first_of(" \t");
    return header.substr(0, end);
}

// Aligned FASTA: every record in file order. The first byte is '>'.
bool read_aligned_fasta(FILE *in, std::vector<SequenceRecord> &records, std::string &message)
{
    ByteReader reader{in};
    long long stored = 0;
    int c = reader.next();
    while (c == '>') {
        if (records.size() == static_cast<std::size_t>(kMaxAlignmentRecords)) {
            appendf(message, "\n The alignment holds more than %d records.\n", kMaxAlignmentRecords);
            return false;
        }
        SequenceRecord record;
        take_header(record, read_header(reader));
        for (c = reader.next(); c != EOF && c != '>'; c = reader.next()) {
            if (!is_stored_character(c))
                continue;
            if (record.residues.size() == static_cast<std::size_t>(kMaxAlignmentColumns) ||
                ++stored > kMaxAlignmentBytes) {
                appendf(message, "\n Sequence %d has more than %d columns, or the alignment more than %lld.\n",
                        static_cast<int>(records.size()), kMaxAlignmentColumns, kMaxAlignmentBytes);
                return false;
            }
            record.residues.push_back(static_cast<char>(c));
        }
        records.push_back(std::move(record));
    }
    return true;
}

// The records in the order the pairs file names them.
bool choose_pairs(std::vector<SequenceRecord> &records, const PairChoice &choice, std::vector<int> &chosen,
                  std::string &why)
{
    constexpr int kAmbiguous = -1;
    std::unordered_map<std::string, int> place;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto [it, fresh] = place.emplace(first_word(records[i].header), static_cast<int>(i));
        if (!fresh)
            it->second = kAmbiguous;
    }
    std::vector<char> used(records.size(), 0);
    std::string problems;
    for (std::size_t p = 0; p < choice.pairs.size(); ++p)
        for (const std::string &name : choice.pairs[p]) {
            const auto it = place.find(name);
            std::string problem;
            if (it == place.end())
                problem = "no record of the input is named '" + name + "'";
            else if (it->second == kAmbiguous)
                problem = "several records of the input are named '" + name + "'";
            else if (used[static_cast<std::size_t>(it->second)]++ != 0)
                problem = "'" + name + "' is named a second time (a record belongs to one pair)";
            else
                chosen.push_back(it->second);
            if (!problem.empty())
                problems += "\n   line " + std::to_string(choice.lines[p]) + ": " + problem;
        }
    if (!problems.empty()) {
        why = "the pairs file " + choice.path + " does not match the input:" + problems;
        return false;
    }
    return arrange_by_indices(records, chosen, why);
}

// The echo of a pair file's records, for records read otherwise or
// rearranged: the pairs line, every record, the length lines.
Status echo_records(const SequenceSet &set, std::string &console, std::string &message, int &shortest)
{
    if (check_pair_count(set.pair_count(), console, message) != Status::kContinue)
        return Status::kStopInput;
    for (const SequenceRecord &record : set.records) {
        console += "\n>";
        appendf(console, "%s", record.name.c_str());
        console += record.residues;
    }
    appendf(console, "\n------------------------------------------------------------\n");
    return list_lengths(set, console, message, shortest);
}

void add_header_warnings(SequenceSet &set)
{
    for (std::size_t r = 0; r < set.records.size(); ++r) {
        const SequenceRecord &record = set.records[r];
        if (!record.header_cut)
            continue;
        std::string detail = "its header line is longer than " + std::to_string(kMaxNameLength) +
                             " characters; the report's name keeps the first " + std::to_string(kMaxNameLength) +
                             " and the rest of the line is skipped";
        if (record.header_line_cut)
            detail += " (the data keep its first " + std::to_string(kMaxHeaderLength) + ")";
        set.warnings.push_back(InputWarning{"header_cut", static_cast<int>(r), detail});
    }
}

}  // namespace

std::string warning_text(const InputWarning &warning)
{
    if (warning.record < 0)
        return warning.detail;
    return "record " + std::to_string(warning.record) + ": " + warning.detail;
}

bool read_pair_choice(const std::string &path, PairChoice &choice, std::string &why)
{
    std::string text;
    if (!read_text_file(path, std::size_t{16} << 20, text, why)) {
        why = "the pairs file " + path + " " + why;
        return false;
    }
    choice = PairChoice{path, text_xxh3_64(text), {}, {}, {}};
    int line_number = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::vector<std::string> words;
        for (std::size_t at = line.find_first_not_of(" \t"); at != std::string::npos;
             at = line.find_first_not_of(" \t", at)) {
            const std::size_t word_end = std::min(line.find_first_of(" \t", at), line.size());
            words.push_back(line.substr(at, word_end - at));
            at = word_end;
        }
        if (words.empty() || words[0][0] == '#')
            continue;
        if (words.size() != 2) {
            why = "the pairs file " + path + " line " + std::to_string(line_number) +
                  ": a pair is two record names separated by blanks or a tab";
            return false;
        }
        choice.pairs.push_back({words[0], words[1]});
        choice.lines.push_back(line_number);
    }
    if (choice.pairs.empty()) {
        why = "the pairs file " + path + " names no pair";
        return false;
    }
    return true;
}

bool arrange_by_indices(std::vector<SequenceRecord> &records, const std::vector<int> &indices, std::string &why)
{
    std::vector<SequenceRecord> arranged;
    arranged.reserve(indices.size());
    for (const int i : indices) {
        if (i < 0 || static_cast<std::size_t>(i) >= records.size()) {
            why = "the input has no record " + std::to_string(i);
            return false;
        }
        arranged.push_back(records[static_cast<std::size_t>(i)]);
    }
    records = std::move(arranged);
    return true;
}

InputOutcome read_alignment(FILE *in, const PairChoice &choice, std::string &console, std::string &message,
                            SequenceSet &set, int &shortest, InputForm &form, std::vector<int> &chosen)
{
    const int first = std::getc(in);
    if (first != EOF)
        std::ungetc(first, in);
    form = first == '>' ? InputForm::kAlignedFasta : InputForm::kPairFile;
    chosen.clear();
    if (form == InputForm::kPairFile && choice.path.empty()) {
        if (read_pair_file(in, console, message, set, shortest) != Status::kContinue)
            return InputOutcome::kUnreadable;
        add_header_warnings(set);
        return InputOutcome::kRead;
    }
    if (form == InputForm::kPairFile) {
        std::string echo;  // replaced by the echo of the chosen records
        if (read_pair_file(in, echo, message, set, shortest) != Status::kContinue) {
            console += echo;
            return InputOutcome::kUnreadable;
        }
    } else if (!read_aligned_fasta(in, set.records, message)) {
        return InputOutcome::kUnreadable;
    }
    if (!choice.places.empty()) {
        chosen = choice.places;
        if (!arrange_by_indices(set.records, chosen, message))
            return InputOutcome::kPairsRefused;
    } else if (!choice.path.empty()) {
        if (!choose_pairs(set.records, choice, chosen, message))
            return InputOutcome::kPairsRefused;
    } else if (set.records.size() % 2 != 0) {
        appendf(message,
                "\n The alignment holds an odd number of records (%d): records pair up in file order "
                "(1 with 2, 3 with 4, ...); choose the pairs with --pairs FILE.\n",
                static_cast<int>(set.records.size()));
        return InputOutcome::kUnreadable;
    }
    if (echo_records(set, console, message, shortest) != Status::kContinue)
        return InputOutcome::kUnreadable;
    add_header_warnings(set);
    return InputOutcome::kRead;
}

}  // namespace kelto
