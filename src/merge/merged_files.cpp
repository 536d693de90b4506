// Writing the merged files: the whole run's report, TSV and record into
// temporary files beside the outputs, renamed into place only when all of
// them were written in full.
#include "merge/merged_files.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "common/files.hpp"
#include "common/status.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

Outputs::~Outputs()
{
    for (Output &output : files) {
        if (output.sink.file != nullptr)
            std::fclose(output.sink.file);
        if (!committed && !output.temp.empty())
            unlink(output.temp.c_str());
    }
}

namespace {

// Copies bytes [from, from + length) of a file; false when the file holds
// fewer (it changed since it was checked) or cannot be read.
bool copy_bytes(const std::string &path, uint64_t from, uint64_t length, TextSink &out)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bool ok = fseeko(file, static_cast<off_t>(from), SEEK_SET) == 0;
    std::string buffer;
    while (ok && length > 0) {
        buffer.resize(static_cast<std::size_t>(std::min<uint64_t>(length, 1 << 20)));
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        ok = got == buffer.size();
        buffer.resize(got);
        sink_write(out, buffer);
        length -= got;
    }
    std::fclose(file);
    return ok;
}

// Writes a part's quartet lines with the byte counts of the merged files:
// its own counts less its heading (header), plus what the merged file held
// before it.
bool copy_quartet_lines(const Part &part, uint64_t report_base, uint64_t tsv_base, TextSink &out)
{
    const uint64_t header = std::string(kTsvHeader).size();
    RecordVisitor visitor;
    std::string text;
    visitor.quartet = [&](const QuartetLine &line, std::string &why) {
        if (line.report_bytes < part.heading_bytes || line.tsv_bytes < header) {
            why = "its lengths are shorter than its heading";
            return false;
        }
        text.clear();
        append_quartet_line(text, line.result, line.names, line.report_bytes - part.heading_bytes + report_base,
                            line.tsv_bytes - header + tsv_base);
        sink_write(out, text);
        return true;
    };
    RecordSummary again;
    std::string message;
    return read_record(part.path, again, message, visitor) && again.quartet_lines == part.record.quartet_lines;
}

}  // namespace

bool open_temp(Output &output, std::string &why)
{
    const std::filesystem::path target(output.path);
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string hidden = ".";
    hidden += target.filename().string();
    hidden += ".kelto-XXXXXX";
    std::string name = (dir / hidden).string();
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        why = "cannot create a file beside " + output.path;
        return false;
    }
    output.temp = name;
    // The permissions a plain run gives its files.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    output.sink.file = fdopen(fd, "wb");
    if (output.sink.file == nullptr) {
        close(fd);
        why = "cannot create a file beside " + output.path;
        return false;
    }
    return true;
}

bool close_output(Output &output)
{
    const bool written = sink_sync(output.sink);
    const bool closed = std::fclose(output.sink.file) == 0;
    output.sink.file = nullptr;
    return written && closed;
}

bool check_outputs(const std::vector<Output> &outputs, const std::vector<Part> &parts, TextSink &console)
{
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        const Output &output = outputs[o];
        for (std::size_t p = 0; p < o; ++p)
            if (same_target(output.path, outputs[p].path)) {
                sink_message(console, "kelto merge: the %s file %s is the same file as the %s file %s\n",
                             output.role, output.path.c_str(), outputs[p].role, outputs[p].path.c_str());
                return false;
            }
        for (const Part &part : parts) {
            const char *clash = same_target(output.path, part.path)          ? "record"
                                : same_target(output.path, part.shard().report) ? "report"
                                : !part.shard().tsv.empty() && same_target(output.path, part.shard().tsv) ? "TSV"
                                                                                                    : nullptr;
            if (clash != nullptr) {
                refuse(console, part.path, "the output " + output.path + " is this part's " + clash);
                return false;
            }
        }
    }
    return true;
}

long long write_merged(const std::vector<const Part *> &used, const std::string &heading, Output &report, Output *tsv,
                       Output *json, TextSink &console)
{
    const uint64_t header = std::string(kTsvHeader).size();
    uint64_t report_base = heading.size();
    uint64_t tsv_base = header;
    long long written = 0;
    double wall = 0;
    sink_write(report.sink, heading);
    if (tsv != nullptr)
        sink_write(tsv->sink, kTsvHeader);
    if (json != nullptr) {
        RunLine run = used.front()->record.run;
        run.sharded = false;
        sink_write(json->sink, run_line_text(run));
    }
    for (const Part *part : used) {
        const RecordSummary &record = part->record;
        const uint64_t report_length = record.quartet_lines > 0 ? record.report_bytes : part->heading_bytes;
        const uint64_t tsv_length = record.quartet_lines > 0 ? record.tsv_bytes : header;
        bool copied = copy_bytes(part->shard().report, part->heading_bytes, report_length - part->heading_bytes,
                                 report.sink);
        if (copied && tsv != nullptr)
            copied = copy_bytes(part->shard().tsv, header, tsv_length - header, tsv->sink);
        if (copied && json != nullptr)
            copied = copy_quartet_lines(*part, report_base, tsv_base, json->sink);
        if (!copied) {
            refuse(console, part->path, "its files changed while they were merged");
            return -1;
        }
        report_base += report_length - part->heading_bytes;
        tsv_base += tsv_length - header;
        written += record.quartet_lines;
        wall += record.end.wall_seconds;
    }
    const RecordSummary &last = used.back()->record;
    if (json != nullptr)
        sink_write(json->sink, end_line_text(last.limit_stop, last.limit_stop == StopReason::kNone ? kExitOk : kExitStopped,
                                             written, wall));
    return written;
}

}  // namespace kelto
