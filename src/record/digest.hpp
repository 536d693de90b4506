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

}  // namespace kelto
