// Size and XXH3-128 checksum of a file's bytes, to tell whether a record of
// a run belongs to the input at hand.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace kelto {

struct FileDigest {
    uint64_t bytes = 0;
    std::string xxh3_128;  // 32 lower-case hex digits, high half first
};

// Reads `file` from its current position to the end. Returns false when a
// read fails.
bool digest_stream(FILE *file, FileDigest &digest);

// Opens `path` and digests it; false when it cannot be opened or read.
bool digest_file(const std::string &path, FileDigest &digest);

// XXH3-64 of a text, and of the next `length` bytes of a stream (false when
// the stream holds fewer or cannot be read).
uint64_t text_xxh3_64(const std::string &text);
bool stream_xxh3_64(FILE *file, uint64_t length, uint64_t &hash);

// A 64-bit checksum as 16 lower-case hex digits, and back.
std::string hex64(uint64_t value);
bool parse_hex64(const std::string &text, uint64_t &value);

}  // namespace kelto
