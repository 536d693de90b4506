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
    std::string residues;  // stored residues and gaps, at most 1099
};

// All 2P records in file order.
struct SequenceSet {
    std::vector<SequenceRecord> records;
    std::vector<std::string> warnings;  // what reading and trimming changed, one line each
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

}  // namespace kelto
