// Every input form, the chosen pairs and the echo of the records.
#include "input/alignment.hpp"

#include <unordered_map>

#include "common/files.hpp"
#include "common/text.hpp"
#include "input/byte_reader.hpp"
#include "input/residues.hpp"
#include "common/digest.hpp"

namespace kelto {

namespace {

// Aligned FASTA: every record in file order. The first byte is '>'.
bool read_aligned_fasta(FILE *in, std::vector<SequenceRecord> &records, std::string &message)
{
    ByteReader reader{in};
    long long stored = 0;
    int c = reader.next();
    while (is_space(c))  // blank lines before the first record
        c = reader.next();
    while (c == '>') {
        if (records.size() == static_cast<std::size_t>(kMaxAlignmentRecords)) {
            message = "the alignment holds more than " + std::to_string(kMaxAlignmentRecords) + " records";
            return false;
        }
        SequenceRecord record;
        take_header(record, read_header(reader));
        for (c = reader.next(); c != EOF && c != '>'; c = reader.next()) {
            if (!is_stored_character(c))
                continue;
            if (record.residues.size() == static_cast<std::size_t>(kMaxAlignmentColumns) ||
                ++stored > kMaxAlignmentBytes) {
                message = "sequence " + std::to_string(records.size()) + " has more than " +
                          std::to_string(kMaxAlignmentColumns) + " columns, or the alignment more than " +
                          std::to_string(kMaxAlignmentBytes) + " residues";
                return false;
            }
            record.residues.push_back(static_cast<char>(c));
        }
        records.push_back(std::move(record));
    }
    return true;
}

// For a name no record has: the one id that is the name with "/START-END"
// after it, as a suggestion.
std::string did_you_mean(const std::vector<SequenceRecord> &records, const std::string &name)
{
    std::string match;
    for (const SequenceRecord &record : records) {
        const std::string id = record_id(record);
        if (id.size() > name.size() && id[name.size()] == '/' && id.compare(0, name.size(), name) == 0) {
            if (!match.empty())
                return "";
            match = id;
        }
    }
    return match.empty() ? "" : " (did you mean '" + match + "'?)";
}

// The records in the order the pairs file names them.
bool choose_pairs(std::vector<SequenceRecord> &records, const PairChoice &choice, std::vector<int> &chosen,
                  std::string &why)
{
    constexpr int kAmbiguous = -1;
    std::unordered_map<std::string, int> place;
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto [it, fresh] = place.emplace(record_id(records[i]), static_cast<int>(i));
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
                problem = "no record of the input is named '" + name + "'" + did_you_mean(records, name);
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

// The first bytes of the input; the position is left where it was.
std::string peek_head(FILE *in)
{
    const long position = std::ftell(in);
    std::string head(4096, '\0');
    head.resize(std::fread(head.data(), 1, head.size(), in));
    std::clearerr(in);
    std::fseek(in, position, SEEK_SET);
    return head;
}

const char *form_title(InputForm form)
{
    switch (form) {
    case InputForm::kStockholm: return "Stockholm";
    case InputForm::kClustal: return "Clustal";
    case InputForm::kA2m: return "A2M";
    case InputForm::kA3m: return "A3M";
    default: return "aligned FASTA";
    }
}

// The records of any form but the pair file, in file order.
bool read_records(FILE *in, InputForm form, SequenceSet &set, std::string &why)
{
    if (form == InputForm::kAlignedFasta || form == InputForm::kA2m || form == InputForm::kA3m) {
        if (!read_aligned_fasta(in, set.records, why))
            return false;
        if (set.records.empty()) {
            why = "the first line that is not blank does not start a record with '>'";
            return false;
        }
        if (form == InputForm::kAlignedFasta)
            return true;
        set.insert_states = true;
        return line_up_inserts(set.records, why);
    }
    std::string text;
    constexpr std::size_t kMaxText = std::size_t{1} << 30;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) {
        if (text.size() + n > kMaxText) {
            why = "the file is larger than 1 GiB";
            return false;
        }
        text.append(buffer, n);
    }
    if (std::ferror(in)) {
        why = "the file cannot be read";
        return false;
    }
    if (form == InputForm::kClustal)
        return read_clustal(text, set.records, why);
    set.insert_states = true;
    return read_stockholm(text, set.records, set.reference, why);
}

// The pairs and records an alignment other than a pair file must have, said
// as a refusal rather than as the pair file's stop messages.
bool check_counts(const SequenceSet &set, std::string &why)
{
    const int pairs = set.pair_count();
    if (pairs < kMinPairs || pairs > kMaxPairs) {
        why = "the analysis takes " + std::to_string(kMinPairs) + " to " + std::to_string(kMaxPairs) + " pairs, not " +
              std::to_string(pairs);
        return false;
    }
    for (const SequenceRecord &record : set.records)
        if (record.residues.empty()) {
            why = "record " + record_id(record) + " holds no residue";
            return false;
        }
    return true;
}

// What every form shares after its records are in pair order: the residue
// numbers of "ID/START-END" names and the warnings of cut headers.
InputOutcome finish_reading(SequenceSet &set, std::string &message)
{
    if (!apply_coordinates(set, message))
        return InputOutcome::kRefused;
    add_header_warnings(set);
    return InputOutcome::kRead;
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

InputOutcome read_alignment(FILE *in, const InputSource &source, const PairChoice &choice, std::string &console,
                            std::string &message, SequenceSet &set, int &shortest, InputForm &form,
                            std::vector<int> &chosen)
{
    chosen.clear();
    if (!source.form.empty() ? !input_form_from_name(source.form, form)
                             : !detect_form(peek_head(in), source.path, form, message)) {
        if (message.empty())
            message = "'" + source.form + "' names no input form";
        return InputOutcome::kRefused;
    }
    if (form == InputForm::kPairFile && choice.path.empty()) {
        if (read_pair_file(in, console, message, set, shortest) != Status::kContinue)
            return InputOutcome::kUnreadable;
        return finish_reading(set, message);
    }
    if (form == InputForm::kPairFile) {
        std::string echo;  // replaced by the echo of the chosen records
        if (read_pair_file(in, echo, message, set, shortest) != Status::kContinue) {
            console += echo;
            return InputOutcome::kUnreadable;
        }
    } else if (!read_records(in, form, set, message)) {
        message = std::string("cannot read ") + source.path + " as " + form_title(form) + ": " + message;
        return InputOutcome::kRefused;
    }
    if (!choice.places.empty()) {
        chosen = choice.places;
        if (!arrange_by_indices(set.records, chosen, message))
            return InputOutcome::kRefused;
    } else if (!choice.path.empty()) {
        if (!choose_pairs(set.records, choice, chosen, message))
            return InputOutcome::kRefused;
    } else if (set.records.size() % 2 != 0) {
        message = "the alignment holds an odd number of records (" + std::to_string(set.records.size()) +
                  "): records pair up in file order (1 with 2, 3 with 4, ...); choose the pairs with --pairs FILE";
        return InputOutcome::kRefused;
    }
    if (form != InputForm::kPairFile && !check_counts(set, message))
        return InputOutcome::kRefused;
    std::string echo;
    if (echo_records(set, echo, message, shortest) != Status::kContinue) {
        console += echo;
        return InputOutcome::kUnreadable;
    }
    console += echo;
    return finish_reading(set, message);
}

}  // namespace kelto
