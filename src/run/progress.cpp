// Progress line on standard error.
#include "run/progress.hpp"

namespace kelto {

namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(250);

void append_duration(char *out, std::size_t size, long long seconds)
{
    std::snprintf(out, size, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
}

}  // namespace

Progress progress_start(FILE *stream, bool shares_console, long long total)
{
    Progress progress;
    progress.stream = stream;
    progress.shares_console = shares_console;
    progress.total = total;
    progress.start = std::chrono::steady_clock::now();
    progress.last_drawn = progress.start;
    return progress;
}

void progress_update(Progress &progress, long long done, TextSink &console)
{
    if (progress.stream == nullptr)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - progress.last_drawn < kRedrawInterval || done >= progress.total)
        return;
    progress.last_drawn = now;
    sink_flush(console);

    const double elapsed = std::chrono::duration<double>(now - progress.start).count();
    const double left = done > 0 ? elapsed / static_cast<double>(done) * static_cast<double>(progress.total - done) : 0.0;
    char elapsed_text[32];
    char left_text[32];
    append_duration(elapsed_text, sizeof elapsed_text, static_cast<long long>(elapsed));
    append_duration(left_text, sizeof left_text, static_cast<long long>(left + 0.5));
    std::fprintf(progress.stream, "\r kelto: %lld of %lld quartets, elapsed %s, about %s left\033[K", done,
                 progress.total, elapsed_text, left_text);
    std::fflush(progress.stream);
    progress.visible = true;
}

void progress_before_console(Progress &progress)
{
    if (progress.shares_console)
        progress_erase(progress);
}

void progress_erase(Progress &progress)
{
    if (progress.stream == nullptr || !progress.visible)
        return;
    std::fputs("\r\033[K", progress.stream);
    std::fflush(progress.stream);
    progress.visible = false;
}

}  // namespace kelto
