// Files compressed by their name: `.gz` as gzip, `.zst` as zstd. Text is
// compressed in units (the report's heading, one quartet's text, one line of
// the record), each a whole gzip member or zstd frame. Members and frames
// joined end to end are a valid file of their kind, so a file can be cut
// back after any unit and the units of several files copied into one, byte
// for byte, exactly as plain text can.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelto {

enum class Compression { kNone, kGzip, kZstd };

// By the name's ending: ".gz" gzip, ".zst" zstd, anything else none.
Compression compression_of(const std::string &path);

// "gzip-compressed", "zstd-compressed" or "plain", for messages.
const char *compression_name(Compression kind);

// What the first bytes of a file are: a gzip member, a zstd frame, or
// anything else (plain).
Compression compression_by_magic(std::string_view start);

struct PackerContexts;
struct PackerContextsDeleter {
    void operator()(PackerContexts *contexts) const;
};

// A compressor of one kind, its library state kept from unit to unit. Used
// by one thread at a time (each worker has its own).
struct Packer {
    Compression kind = Compression::kNone;
    std::unique_ptr<PackerContexts, PackerContextsDeleter> contexts;
};

Packer make_packer(Compression kind);

// Appends `text` to `out` as one unit: a whole gzip member or zstd frame,
// or the text itself when the packer does not compress. Empty text appends
// nothing. The same text always gives the same bytes (no time stamp, no
// file name). Throws std::bad_alloc when the library gets no memory.
void pack_append(Packer &packer, std::string_view text, std::string &out);

// `text` as one unit (itself when the packer does not compress).
std::string packed(Packer &packer, const std::string &text);

// The end of one unit: bytes of plain text and of the compressed file
// through it.
struct UnitEnd {
    uint64_t plain = 0;
    uint64_t packed = 0;
};

enum class Unpacked { kWhole, kCut, kBroken };

// Unpacks the unit at the start of `bytes` (a gzip member or zstd frame, by
// `kind`), appending its text to `plain` and setting `used` to its length.
// kCut: the bytes end inside the unit (a write cut off); kBroken: they are
// not data of that kind. Throws std::bad_alloc.
Unpacked unpack_unit(Compression kind, std::string_view bytes, std::string &plain, std::size_t &used);

// A compressed stream unpacked unit by unit, from the current position of
// `in` to its end, into `out` (at most `max_units` units): where each whole
// unit ends, and whether a last unit is cut off. False with why (naming the
// byte offset) when the data are broken or a file cannot be read or written.
struct Unpacking {
    std::vector<UnitEnd> ends;
    bool cut = false;
    std::string why;
};
bool unpack_stream(FILE *in, Compression kind, FILE *out, Unpacking &unpacking,
                   std::size_t max_units = static_cast<std::size_t>(-1));

// The compression of an open file from its current position, by its first
// bytes; the position is kept. A file too short to tell is plain.
Compression sniff_compression(FILE *file);

}  // namespace kelto
