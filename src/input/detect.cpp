// Telling the input forms apart by their first line, and what the readers
// of the forms share.
#include <algorithm>
#include <cctype>

#include "input/alignment.hpp"
#include "input/byte_reader.hpp"
#include "input/forms.hpp"
#include "input/residues.hpp"

namespace kelto {

namespace {

struct FormName {
    InputForm form;
    const char *name;
};

constexpr FormName kFormNames[] = {
    {InputForm::kPairFile, "pair_file"}, {InputForm::kAlignedFasta, "aligned_fasta"},
    {InputForm::kStockholm, "stockholm"}, {InputForm::kClustal, "clustal"},
    {InputForm::kA2m, "a2m"},           {InputForm::kA3m, "a3m"},
    {InputForm::kPairFile, "pairs"},     {InputForm::kAlignedFasta, "fasta"},
};

bool starts_with(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool ends_with(const std::string &text, const char *suffix)
{
    const std::string_view tail(suffix);
    if (text.size() < tail.size())
        return false;
    return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

// "#", blanks, an optional sign and a digit: a pair file's count line.
bool count_line(std::string_view line)
{
    std::size_t at = line.find_first_not_of(" \t\v\f", 1);
    if (at != std::string_view::npos && (line[at] == '+' || line[at] == '-'))
        ++at;
    return at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]));
}

// What a first line that starts no form read here most likely is; null
// when it looks like nothing known.
const char *looks_like(std::string_view line)
{
    if (line.size() >= 2 && static_cast<unsigned char>(line[0]) == 0x1f && static_cast<unsigned char>(line[1]) == 0x8b)
        return "a gzip-compressed file: decompress it first";
    if (starts_with(line, "\x28\xb5\x2f\xfd"))
        return "a zstd-compressed file: decompress it first";
    if (starts_with(line, "!!AA_MULTIPLE_ALIGNMENT") || starts_with(line, "PileUp") ||
        line.find("MSF:") != std::string_view::npos)
        return "GCG MSF";
    if (starts_with(line, "#NEXUS"))
        return "NEXUS";
    if (starts_with(line, "LOCUS") || starts_with(line, "ID   "))
        return "a GenBank or EMBL flat file";
    if (starts_with(line, "<"))
        return "XML or HTML";
    if (starts_with(line, "#"))
        return "a comment, or a pair file's count line without its number";
    const std::vector<std::string_view> words = split_words(line);
    const auto number = [](std::string_view w) {
        return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (words.size() >= 2 && number(words[0]) && number(words[1]))
        return "a PHYLIP header (sequences and columns)";
    return nullptr;
}

// The line as a message can show it: at most 60 bytes, others than
// printable ASCII as '?'.
std::string shown(std::string_view line)
{
    std::string out;
    for (const char c : line.substr(0, 60))
        out.push_back(c >= ' ' && c <= '~' ? c : '?');
    if (line.size() > 60)
        out += "...";
    return out;
}

}  // namespace

const char *input_form_name(InputForm form)
{
    for (const FormName &entry : kFormNames)
        if (entry.form == form)
            return entry.name;
    return "pair_file";
}

bool input_form_from_name(const std::string &name, InputForm &form)
{
    for (const FormName &entry : kFormNames)
        if (name == entry.name) {
            form = entry.form;
            return true;
        }
    return false;
}

bool detect_form(const std::string &head, const std::string &path, InputForm &form, std::string &why)
{
    if (head.empty()) {
        why = "the input " + path + " is empty";
        return false;
    }
    // The first line that holds more than blanks.
    LineCursor lines{head};
    std::string_view line;
    while (lines.next(line) && line.find_first_not_of(" \t\v\f") == std::string_view::npos) {
    }
    if (line.substr(0, 1) == ">") {
        form = ends_with(path, ".a2m") ? InputForm::kA2m
               : ends_with(path, ".a3m") ? InputForm::kA3m
                                         : InputForm::kAlignedFasta;
        return true;
    }
    if (line.find_first_not_of(" \t\v\f") == std::string_view::npos) {
        why = "the input " + path + " holds only blank lines";
        return false;
    }
    if (starts_with(line, "# STOCKHOLM")) {
        form = InputForm::kStockholm;
        return true;
    }
    if (starts_with(line, "CLUSTAL") || starts_with(line, "MUSCLE")) {
        form = InputForm::kClustal;
        return true;
    }
    if (head[0] == '#' && count_line(line)) {
        form = InputForm::kPairFile;
        return true;
    }
    const char *guess = looks_like(line);
    why = "the input " + path + " is in none of the forms read: its line " + std::to_string(lines.number) + ", \"" +
          shown(line) + "\", " + (guess != nullptr ? std::string("looks like ") + guess : "starts none of them") +
          " (a pair file starts with \"# P\", aligned FASTA, A2M and A3M with \">NAME\", Stockholm with "
          "\"# STOCKHOLM 1.0\", Clustal with \"CLUSTAL\" or \"MUSCLE\"; --format "
          "pairs|fasta|a2m|a3m|stockholm|clustal names the form)";
    return false;
}

std::vector<std::string_view> split_words(std::string_view line)
{
    std::vector<std::string_view> words;
    constexpr const char *kBlanks = " \t\v\f";
    for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string_view::npos;
         at = line.find_first_not_of(kBlanks, at)) {
        const std::size_t end = std::min(line.find_first_of(kBlanks, at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

bool append_row(std::string_view text, std::string &residues, long long &stored, std::string &why)
{
    for (const char c : text) {
        if (!is_stored_character(static_cast<unsigned char>(c))) {
            why = "byte '";
            why += shown(std::string_view(&c, 1));
            why += "' is neither a residue nor a gap";
            return false;
        }
        if (residues.size() == static_cast<std::size_t>(kMaxAlignmentColumns) || ++stored > kMaxAlignmentBytes) {
            why = "a record has more than " + std::to_string(kMaxAlignmentColumns) + " columns, or the alignment more than " +
                  std::to_string(kMaxAlignmentBytes) + " residues";
            return false;
        }
        residues.push_back(c);
    }
    return true;
}

SequenceRecord named_record(const std::string &id, const std::string &description)
{
    SequenceRecord record;
    record.header = id;
    if (!description.empty()) {
        record.header.push_back(' ');
        record.header.append(description);
    }
    // As a FASTA header line is kept: up to a NUL byte, at most kMaxHeaderLength bytes.
    record.header.resize(std::min(record.header.find('\0'), record.header.size()));
    if (record.header.size() > kMaxHeaderLength) {
        record.header.resize(kMaxHeaderLength);
        record.header_line_cut = true;
    }
    // As a header line is read: the line feed fits only after 78 bytes or fewer.
    const std::size_t fits = static_cast<std::size_t>(kMaxNameLength);
    record.header_cut = record.header.size() > fits;
    record.name = record.header.substr(0, fits);
    if (record.header.size() < fits)
        record.name.push_back('\n');
    return record;
}

std::string header_id(const std::string &header)
{
    return header.substr(0, header.find_first_of(" \t"));
}

std::string header_description(const std::string &header)
{
    constexpr const char *kBlanks = " \t\v\f\r";
    const std::size_t first = header.find_first_not_of(kBlanks, header.find_first_of(" \t"));
    if (first == std::string::npos)
        return "";
    return header.substr(first, header.find_last_not_of(kBlanks) + 1 - first);
}

}  // namespace kelto
