// The alignment forms read besides the pair file, told apart by their
// content: one reader per form, each filling the same records.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/pair_file.hpp"

namespace kelto {

// Bounds of an alignment in any form but the pair file: columns of one
// record and records of a file. The analysed length after gap-column
// removal is bounded by kMaxResidues.
inline constexpr int kMaxAlignmentColumns = 1000000;
inline constexpr int kMaxAlignmentRecords = 100000;
// Bytes of all records' residues together.
inline constexpr long long kMaxAlignmentBytes = 1LL << 28;

enum class InputForm { kPairFile, kAlignedFasta, kStockholm, kClustal, kA2m, kA3m };

// The form's name in the record and for --format: "pair_file",
// "aligned_fasta", "stockholm", "clustal", "a2m", "a3m".
const char *input_form_name(InputForm form);

// The form a name gives (the record's names, and "pairs" and "fasta" as
// --format spells them). False for any other name.
bool input_form_from_name(const std::string &name, InputForm &form);

// The form of an input from its first bytes `head` and the path's ending
// (".a2m", ".a3m" make aligned FASTA A2M or A3M). False with the refusal in
// `why`, which names what the first line looks like and the forms read.
bool detect_form(const std::string &head, const std::string &path, InputForm &form, std::string &why);

// Lines of a text, numbered from 1, without their line ends ("\r\n" or "\n").
struct LineCursor {
    const std::string &text;
    std::size_t at = 0;
    int number = 0;

    bool next(std::string_view &line)
    {
        if (at >= text.size())
            return false;
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        line = std::string_view(text).substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        at = end + 1;
        ++number;
        return true;
    }
};

// The blank-separated words of a line.
std::vector<std::string_view> split_words(std::string_view line);

// Appends a row's aligned residues to `residues`: false with why not when a
// byte is neither a residue nor a gap, or the alignment's size bounds
// (columns per record, bytes of all records, counted in `stored`) are passed.
bool append_row(std::string_view text, std::string &residues, long long &stored, std::string &why);

// Reads a Stockholm alignment: one alignment ending with "//"; "#=GS ID DE"
// and "#=GS ID AC" are kept, "#=GC RF" goes to `reference`, every other
// mark-up line is skipped. False with the line at fault in `why`.
bool read_stockholm(const std::string &text, std::vector<SequenceRecord> &records, std::string &reference,
                    std::string &why);

// Reads a Clustal alignment ("CLUSTAL" or "MUSCLE" header, blocks with
// optional residue counts, conservation lines). False with the line at
// fault in `why`.
bool read_clustal(const std::string &text, std::vector<SequenceRecord> &records, std::string &why);

// Lines up A2M or A3M rows: upper case and '-' are match columns, lower case
// and '.' inserts. The inserts between two match columns are padded with '.'
// to the longest of any record, so rows with or without the padding give
// the same columns. False when the records' match columns differ in number.
bool line_up_inserts(std::vector<SequenceRecord> &records, std::string &why);

// A record named by the form (a Stockholm or Clustal name and its
// description), with the 79-character name the report shows.
SequenceRecord named_record(const std::string &id, const std::string &description);

// A record's id, the first word of its header line, and its description,
// the rest of the line without the blanks around it.
std::string header_id(const std::string &header);
std::string header_description(const std::string &header);
inline std::string record_id(const SequenceRecord &record) { return header_id(record.header); }

// Reads "ID/START-END" in each record's id: residue numbers then count from
// START, with a warning where END - START + 1 is not the row's residue
// count. False with why for coordinates that cannot be (START of 0, END
// before START, beyond 1,000,000,000).
bool apply_coordinates(SequenceSet &set, std::string &why);

}  // namespace kelto
