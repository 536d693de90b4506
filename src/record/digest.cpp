// File checksums with the xxHash library, used header-only so that no
// library of the target machine is needed to link.
#include "record/digest.hpp"

#define XXH_INLINE_ALL
#include <xxhash.h>

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

}  // namespace kelto
