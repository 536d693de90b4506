// File checksums with the xxHash library, used header-only so that no
// library of the target machine is needed to link.
#include "common/digest.hpp"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace kelto {

bool digest_stream(FILE *file, FileDigest &digest)
{
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return false;
    std::vector<char> buffer(1 << 16);
    digest.bytes = 0;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got > 0) {
            XXH3_128bits_update(state.get(), buffer.data(), got);
            digest.bytes += got;
        }
        if (got < buffer.size())
            break;
    }
    if (std::ferror(file))
        return false;
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    digest.xxh3_128 = hex;
    return true;
}

bool digest_file(const std::string &path, FileDigest &digest)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    const bool ok = digest_stream(file, digest);
    std::fclose(file);
    return ok;
}

uint64_t text_xxh3_64(const std::string &text)
{
    return XXH3_64bits(text.data(), text.size());
}

bool stream_xxh3_64(FILE *file, uint64_t length, uint64_t &hash)
{
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_64bits_reset(state.get()) != XXH_OK)
        return false;
    std::vector<char> buffer(1 << 16);
    while (length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(length, buffer.size()));
        if (std::fread(buffer.data(), 1, want, file) != want)
            return false;
        XXH3_64bits_update(state.get(), buffer.data(), want);
        length -= want;
    }
    hash = XXH3_64bits_digest(state.get());
    return true;
}

std::string hex64(uint64_t value)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(value));
    return hex;
}

bool parse_hex64(const std::string &text, uint64_t &value)
{
    if (text.size() != 16)
        return false;
    value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<uint64_t>(digit);
    }
    return true;
}

}  // namespace kelto
