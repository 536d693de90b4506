// The input in any form: a pair file, aligned FASTA as aligners write it,
// Stockholm, Clustal, A2M or A3M. Its pairs are taken in file order or as a pairs file chooses them,
// and the chosen records are echoed to the console as a pair file's are.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "input/forms.hpp"
#include "input/pair_file.hpp"

namespace kelto {

// The pairs a pairs file chooses, by record name (a header's first word).
struct PairChoice {
    std::string path;  // empty: the records pair up in file order
    uint64_t xxh3 = 0;  // of the file's bytes
    std::vector<std::array<std::string, 2>> pairs;
    std::vector<int> lines;  // each pair's line in the file
    std::vector<int> places;  // instead of names: the records' places in the input, pair order (a recorded choice)
};

// Reads a pairs file: one pair per line, two names separated by blanks or
// a tab; empty lines and lines that start with '#' are skipped. False with
// what is wrong in `why`.
bool read_pair_choice(const std::string &path, PairChoice &choice, std::string &why);

enum class InputOutcome {
    kRead,
    kUnreadable,    // the input is not a readable alignment: the message ends the console text
    kRefused,  // refused before anything is written (a form not read, a malformed Stockholm, Clustal,
               // A2M or A3M file, a pairs file that does not match): `message` says why, in one sentence
};

// Where the input comes from: its path (whose ending can name A2M or A3M)
// and the form --format or the record names; empty: told by the content.
struct InputSource {
    std::string path;
    std::string form;
};

// Reads the input from its current position in the form `source` names or
// its content shows, arranges the pairs, echoes them to `console`, and
// notes cut header lines and disagreeing coordinates in the set's warnings.
// `chosen` receives the file places of the chosen records in pair order
// (empty when the records pair up in file order).
InputOutcome read_alignment(FILE *in, const InputSource &source, const PairChoice &choice, std::string &console,
                            std::string &message, SequenceSet &set, int &shortest, InputForm &form,
                            std::vector<int> &chosen);

// Puts the records in the order a recorded run chose them: `indices` are
// their places in the file, in pair order. False with why not.
bool arrange_by_indices(std::vector<SequenceRecord> &records, const std::vector<int> &indices, std::string &why);

}  // namespace kelto
