// Reader of the pair file: a "# P" count line, then 2P FASTA records, records
// 2p and 2p+1 forming pair p.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "common/status.hpp"

namespace kelto {

inline constexpr int kMinPairs = 2;
inline constexpr int kMaxPairs = 1000;
inline constexpr int kMaxNameLength = 79;
inline constexpr int kMaxResidues = 1099;

struct SequenceRecord {
    std::string name;      // header line, at most 79 characters, ends with '\n' when the line fit
    std::string residues;  // stored residues and gaps, at most 1099 in a pair file
    std::string header;    // the whole header line without its line end
    bool header_cut = false;       // the name holds only the line's first 79 characters
    bool header_line_cut = false;  // the line was too long even for `header`
    std::string accession;  // a Stockholm "#=GS ID AC" line's accession, or empty
    int first_residue = 1;  // the protein's number of the row's first residue ("ID/start-end")
};

// Something reading and trimming changed in the user's data, shown on
// standard error and kept in the record. `record` is -1 where no one
// record is concerned.
struct InputWarning {
    std::string kind;  // "header_cut", "unscored_letter", "unequal_lengths", "insert_columns", "coordinates", "extra_arguments"
    int record = -1;
    std::string detail;
};

// The line of a warning on standard error (without "kelto: warning: ").
std::string warning_text(const InputWarning &warning);

// All 2P records in pair order: records 2p and 2p+1 form pair p.
struct SequenceSet {
    std::vector<SequenceRecord> records;
    std::vector<InputWarning> warnings;  // what reading and trimming changed
    // After gap-column removal, for each position kept: its column in the
    // input alignment (from 1), and per record the residue number there
    // (letters counted from 1, gaps and '*' not counted).
    std::vector<int> columns;
    std::vector<std::vector<int>> residue_numbers;
    // Stockholm and A2M/A3M: lower case and '.' mark insert states, whose
    // columns are removed with the gap columns; `reference` is the
    // "#=GC RF" line, where '.', '-', '_' or '~' marks an insert column.
    bool insert_states = false;
    std::string reference;
    int pair_count() const { return static_cast<int>(records.size() / 2); }
};

// Reads the whole pair file from `in`, echoing it and the record lengths to
// `console`. On success fills `set` and `shortest` (length of the shortest
// record) and returns kContinue; otherwise the message is already in
// `console` and the returned status says how to stop. A carriage return
// directly before a line feed is treated as part of the line end. Does not
// close `in`.
Status read_pair_file(FILE *in, std::string &console, SequenceSet &set, int &shortest);

// The same with the stop message, when reading fails, in `message` instead
// of at the end of `console` (the console text is then the echo before it).
Status read_pair_file(FILE *in, std::string &console, std::string &message, SequenceSet &set, int &shortest);

// The "Pairs of Sequences" line, or the stop message of a count outside
// 2 to 1000.
Status check_pair_count(int pairs, std::string &console, std::string &message);

// The length lines of the records ("N[ i] = ..."), as the reader prints
// them after the echo, and the length of the shortest; an empty record
// stops with its message.
Status list_lengths(const SequenceSet &set, std::string &console, std::string &message, int &shortest);

}  // namespace kelto
