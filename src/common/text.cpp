// In-memory formatted text and the buffered sinks behind console and report.
#include "common/text.hpp"

#include <cerrno>
#include <cstdarg>

#include <unistd.h>

namespace kelto {

namespace {

constexpr std::size_t kSinkFlushBytes = 1 << 16;

void vappendf(std::string &out, const char *format, va_list args)
{
    char small[256];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (n < 0)
        return;
    if (static_cast<std::size_t>(n) < sizeof small) {
        out.append(small, static_cast<std::size_t>(n));
        return;
    }
    std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(&out[old], static_cast<std::size_t>(n) + 1, format, args);
    out.resize(old + static_cast<std::size_t>(n));
}

void write_out(TextSink &sink)
{
    if (sink.file == nullptr || sink.text.empty())
        return;
    if (!sink.failed && std::fwrite(sink.text.data(), 1, sink.text.size(), sink.file) != sink.text.size())
        sink.failed = true;
    sink.text.clear();
}

}  // namespace

void appendf(std::string &out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    vappendf(out, format, args);
    va_end(args);
}

// Formats into the sink's buffer, counting the bytes, and writes the buffer
// out once it is large.
void sink_vprintf(TextSink &sink, const char *format, va_list args)
{
    const std::size_t before = sink.text.size();
    vappendf(sink.text, format, args);
    sink.bytes += sink.text.size() - before;
    if (sink.text.size() >= kSinkFlushBytes)
        write_out(sink);
}

void sink_printf(TextSink &sink, const char *format, ...)
{
    if (sink.quiet)
        return;
    va_list args;
    va_start(args, format);
    sink_vprintf(sink, format, args);
    va_end(args);
}

void sink_message(TextSink &sink, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    sink_vprintf(sink, format, args);
    va_end(args);
}

void sink_error(TextSink &sink, const char *format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    vappendf(text, format, args);
    va_end(args);
    if (sink.errors == nullptr) {
        sink_message(sink, "\n %s.\n", text.c_str());
        return;
    }
    // Standard output first, so that a shared log keeps the order of events.
    write_out(sink);
    if (sink.file != nullptr)
        std::fflush(sink.file);
    std::fprintf(sink.errors, "kelto: %s\n", text.c_str());
    std::fflush(sink.errors);
}

void sink_write(TextSink &sink, const std::string &text)
{
    if (sink.quiet)
        return;
    sink.bytes += text.size();
    if (sink.file != nullptr && sink.text.empty() && text.size() >= kSinkFlushBytes) {
        if (!sink.failed && std::fwrite(text.data(), 1, text.size(), sink.file) != text.size())
            sink.failed = true;
        return;
    }
    sink.text += text;
    if (sink.text.size() >= kSinkFlushBytes)
        write_out(sink);
}

bool sink_flush(TextSink &sink)
{
    write_out(sink);
    if (sink.file != nullptr && std::fflush(sink.file) != 0)
        sink.failed = true;
    return !sink.failed;
}

bool sink_sync(TextSink &sink)
{
    if (!sink_flush(sink) || sink.file == nullptr)
        return !sink.failed;
    if (fsync(fileno(sink.file)) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS)
        sink.failed = true;
    return !sink.failed;
}

}  // namespace kelto
