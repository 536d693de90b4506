// gzip members (zlib) and zstd frames (libzstd), one per unit of text.
#include "common/compress.hpp"

#include <algorithm>
#include <new>

#include <sys/types.h>

#define ZLIB_CONST
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

namespace kelto {

// zlib's default level and zstd's: the usual trade of speed for size.
constexpr int kGzipLevel = 6;
constexpr int kZstdLevel = 3;

// zlib counts bytes in unsigned int: larger texts go in pieces.
constexpr std::size_t kZlibPiece = std::size_t{1} << 30;

struct PackerContexts {
    z_stream gzip{};
    bool gzip_ready = false;
    ZSTD_CCtx *zstd = nullptr;
};

void PackerContextsDeleter::operator()(PackerContexts *contexts) const
{
    if (contexts->gzip_ready)
        deflateEnd(&contexts->gzip);
    ZSTD_freeCCtx(contexts->zstd);
    delete contexts;
}

namespace {

bool ends_with(const std::string &text, const std::string &end)
{
    return text.size() > end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

void deflate_unit(z_stream &z, std::string_view text, std::string &out)
{
    if (deflateReset(&z) != Z_OK)
        throw std::bad_alloc();
    z.next_in = reinterpret_cast<const Bytef *>(text.data());
    z.avail_in = 0;
    std::size_t left = text.size();
    for (;;) {
        if (z.avail_in == 0) {
            const std::size_t take = std::min(left, kZlibPiece);
            z.avail_in = static_cast<uInt>(take);
            left -= take;
        }
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        const std::size_t at = out.size();
        const std::size_t room = deflateBound(&z, z.avail_in) + 64;
        out.resize(at + room);
        z.next_out = reinterpret_cast<Bytef *>(&out[at]);
        z.avail_out = static_cast<uInt>(room);
        const int result = deflate(&z, flush);
        out.resize(at + room - z.avail_out);
        if (result == Z_STREAM_END)
            return;
        if (result != Z_OK && result != Z_BUF_ERROR)
            throw std::bad_alloc();
    }
}

Unpacked inflate_unit(z_stream &z, std::string_view bytes, std::string &plain, std::size_t &used)
{
    if (inflateReset(&z) != Z_OK)
        throw std::bad_alloc();
    z.next_in = reinterpret_cast<const Bytef *>(bytes.data());
    z.avail_in = 0;
    std::size_t left = bytes.size();
    char buffer[1 << 16];
    for (;;) {
        if (z.avail_in == 0 && left > 0) {
            const std::size_t take = std::min(left, kZlibPiece);
            z.avail_in = static_cast<uInt>(take);
            left -= take;
        }
        z.next_out = reinterpret_cast<Bytef *>(buffer);
        z.avail_out = sizeof buffer;
        const int result = inflate(&z, Z_NO_FLUSH);
        plain.append(buffer, sizeof buffer - z.avail_out);
        if (result == Z_STREAM_END) {
            used = bytes.size() - left - z.avail_in;
            return Unpacked::kWhole;
        }
        if (result == Z_MEM_ERROR)
            throw std::bad_alloc();
        if (result != Z_OK && result != Z_BUF_ERROR)
            return Unpacked::kBroken;
        if (z.avail_in == 0 && left == 0 && z.avail_out != 0)
            return Unpacked::kCut;
    }
}

Unpacked zstd_unit(ZSTD_DCtx *context, std::string_view bytes, std::string &plain, std::size_t &used)
{
    const std::size_t frame = ZSTD_findFrameCompressedSize(bytes.data(), bytes.size());
    if (ZSTD_isError(frame))
        return ZSTD_getErrorCode(frame) == ZSTD_error_srcSize_wrong ? Unpacked::kCut : Unpacked::kBroken;
    ZSTD_DCtx_reset(context, ZSTD_reset_session_only);
    ZSTD_inBuffer in{bytes.data(), frame, 0};
    char buffer[1 << 16];
    for (;;) {
        ZSTD_outBuffer out{buffer, sizeof buffer, 0};
        const std::size_t result = ZSTD_decompressStream(context, &out, &in);
        if (ZSTD_isError(result)) {
            if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation)
                throw std::bad_alloc();
            return Unpacked::kBroken;
        }
        plain.append(buffer, out.pos);
        if (result == 0) {
            used = in.pos;
            return Unpacked::kWhole;
        }
        if (in.pos == in.size && out.pos < out.size)
            return Unpacked::kBroken;  // the frame's own size said it was whole
    }
}

// The decompressors of one stream, reused from unit to unit.
struct Unpacker {
    Compression kind;
    z_stream gzip{};
    ZSTD_DCtx *zstd = nullptr;

    explicit Unpacker(Compression k) : kind(k)
    {
        if (kind == Compression::kGzip && inflateInit2(&gzip, 16 + MAX_WBITS) != Z_OK)
            throw std::bad_alloc();
        if (kind == Compression::kZstd && (zstd = ZSTD_createDCtx()) == nullptr)
            throw std::bad_alloc();
    }
    ~Unpacker()
    {
        if (kind == Compression::kGzip)
            inflateEnd(&gzip);
        ZSTD_freeDCtx(zstd);
    }
    Unpacker(const Unpacker &) = delete;
    Unpacker &operator=(const Unpacker &) = delete;

    Unpacked unit(std::string_view bytes, std::string &plain, std::size_t &used)
    {
        return kind == Compression::kGzip ? inflate_unit(gzip, bytes, plain, used)
                                          : zstd_unit(zstd, bytes, plain, used);
    }
};

bool read_rest(FILE *in, std::string &bytes)
{
    char buffer[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0)
        bytes.append(buffer, got);
    return !std::ferror(in);
}

}  // namespace

Compression compression_of(const std::string &path)
{
    if (ends_with(path, ".gz"))
        return Compression::kGzip;
    if (ends_with(path, ".zst"))
        return Compression::kZstd;
    return Compression::kNone;
}

const char *compression_name(Compression kind)
{
    switch (kind) {
    case Compression::kGzip: return "gzip-compressed";
    case Compression::kZstd: return "zstd-compressed";
    case Compression::kNone: break;
    }
    return "plain";
}

Compression compression_by_magic(std::string_view start)
{
    if (start.size() >= 2 && start.substr(0, 2) == "\x1f\x8b")
        return Compression::kGzip;
    if (start.size() >= 4 && start.substr(0, 4) == "\x28\xb5\x2f\xfd")
        return Compression::kZstd;
    return Compression::kNone;
}

Packer make_packer(Compression kind)
{
    Packer packer;
    packer.kind = kind;
    if (kind == Compression::kNone)
        return packer;
    packer.contexts.reset(new PackerContexts);
    PackerContexts &contexts = *packer.contexts;
    if (kind == Compression::kGzip) {
        // 16 + window bits: a gzip header and trailer around the deflate data.
        if (deflateInit2(&contexts.gzip, kGzipLevel, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::bad_alloc();
        contexts.gzip_ready = true;
    } else {
        contexts.zstd = ZSTD_createCCtx();
        if (contexts.zstd == nullptr ||
            ZSTD_isError(ZSTD_CCtx_setParameter(contexts.zstd, ZSTD_c_compressionLevel, kZstdLevel)) ||
            ZSTD_isError(ZSTD_CCtx_setParameter(contexts.zstd, ZSTD_c_checksumFlag, 1)))
            throw std::bad_alloc();
    }
    return packer;
}

void pack_append(Packer &packer, std::string_view text, std::string &out)
{
    if (packer.kind == Compression::kNone) {
        out.append(text);
        return;
    }
    if (text.empty())
        return;
    if (packer.kind == Compression::kGzip) {
        deflate_unit(packer.contexts->gzip, text, out);
        return;
    }
    const std::size_t at = out.size();
    const std::size_t bound = ZSTD_compressBound(text.size());
    out.resize(at + bound);
    const std::size_t size = ZSTD_compress2(packer.contexts->zstd, &out[at], bound, text.data(), text.size());
    if (ZSTD_isError(size))
        throw std::bad_alloc();
    out.resize(at + size);
}

std::string packed(Packer &packer, const std::string &text)
{
    if (packer.kind == Compression::kNone)
        return text;
    std::string out;
    pack_append(packer, text, out);
    return out;
}

Unpacked unpack_unit(Compression kind, std::string_view bytes, std::string &plain, std::size_t &used)
{
    Unpacker unpacker(kind);
    return unpacker.unit(bytes, plain, used);
}

bool unpack_stream(FILE *in, Compression kind, FILE *out, Unpacking &unpacking, std::size_t max_units)
{
    unpacking = Unpacking{};
    std::string bytes;
    if (!read_rest(in, bytes)) {
        unpacking.why = "cannot be read";
        return false;
    }
    Unpacker unpacker(kind);
    std::string plain;
    std::size_t at = 0;
    uint64_t plain_bytes = 0;
    while (at < bytes.size() && unpacking.ends.size() < max_units) {
        plain.clear();
        std::size_t used = 0;
        const Unpacked result = unpacker.unit(std::string_view(bytes).substr(at), plain, used);
        if (result == Unpacked::kCut) {
            unpacking.cut = true;
            return true;
        }
        if (result == Unpacked::kBroken) {
            unpacking.why = std::string("not ") + compression_name(kind) + " data at byte " + std::to_string(at);
            return false;
        }
        if (!plain.empty() && std::fwrite(plain.data(), 1, plain.size(), out) != plain.size()) {
            unpacking.why = "cannot be unpacked (a temporary file cannot be written)";
            return false;
        }
        at += used;
        plain_bytes += plain.size();
        unpacking.ends.push_back(UnitEnd{plain_bytes, at});
    }
    return true;
}

Compression sniff_compression(FILE *file)
{
    const off_t at = ftello(file);
    if (at < 0)
        return Compression::kNone;
    char start[4];
    const std::size_t got = std::fread(start, 1, sizeof start, file);
    std::clearerr(file);
    fseeko(file, at, SEEK_SET);
    return compression_by_magic(std::string_view(start, got));
}

}  // namespace kelto
