// Reading input bytes for both input forms: line ends folded, header lines
// taken apart into the 79-character name and the whole line.
#pragma once

#include <cstdio>
#include <string>

#include "input/pair_file.hpp"

namespace kelto {

// Byte source that folds "\r\n" into "\n", as a text-mode stream would.
struct ByteReader {
    FILE *in;
    bool has_pending = false;  // a byte was read ahead after a lone '\r'
    int pending = EOF;

    int next()
    {
        const int c = has_pending ? pending : std::getc(in);
        has_pending = false;
        if (c != '\r')
            return c;
        pending = std::getc(in);
        if (pending == '\n')
            return '\n';
        has_pending = true;
        return c;
    }
};

inline bool is_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The data keep at most this much of a header line.
inline constexpr std::size_t kMaxHeaderLength = 65536;

// A header line as read after its '>'.
struct Header {
    std::string name;  // at most 79 bytes, with the line feed when the line fit
    std::string line;  // the whole line without its line end (at most kMaxHeaderLength bytes)
    bool cut = false;  // the line was longer than the name holds
    bool line_cut = false;  // the line was longer than kMaxHeaderLength
};

// Reads a header line up to and including its line feed. A NUL byte ends
// the name and the line as it would end a C string. Past the name's 79
// bytes the line is never read as residues, and a '>' in it does not end
// the record.
Header read_header(ByteReader &reader);

// Moves a header into its record.
void take_header(SequenceRecord &record, Header &&header);

}  // namespace kelto
