// Writing the merged files from the parts.
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
bool copy_quartet_lines(const Part &part, uint64_t report_base, uint64_t tsv_base, Packer &packer, TextSink &out)
{
    const uint64_t header = part.tsv_header.size();
    RecordVisitor visitor;
    std::string text;
    visitor.quartet = [&](const QuartetLine &line, std::string &why) {
        if (line.report_bytes < part.heading_bytes || line.tsv_bytes < header) {
            why = "its lengths are shorter than its heading";
            return false;
        }
        text.clear();
        append_quartet_line(text, line.result, line.names, line.report_bytes - part.heading_bytes + report_base,
                            line.tsv_bytes - header + tsv_base, line.sums);
        sink_write(out, packed(packer, text));
        return true;
    };
    RecordSummary again;
    std::string message;
    return read_record(part.path, again, message, visitor) && again.quartet_lines == part.record.quartet_lines;
}

}  // namespace

bool check_outputs(const StagedFiles &outputs, const std::vector<Part> &parts, const std::string &input,
                   TextSink &console)
{
    std::vector<PathUse> uses;
    for (const Part &part : parts) {
        uses.push_back({"part " + part.path + "'s record", part.path, false, false});
        uses.push_back({"part " + part.path + "'s report", part.shard().report, false, false});
        if (!part.shard().tsv.empty())
            uses.push_back({"part " + part.path + "'s TSV", part.shard().tsv, false, false});
    }
    if (!input.empty())
        uses.push_back({"the run's input", input, false, false});
    for (const StagedFile &output : outputs.files)
        uses.push_back({std::string("the ") + output.role + " file", output.path, true, true});
    std::string message;
    if (check_paths(uses, message))
        return true;
    sink_error(console, "merge: %s", message.c_str());
    return false;
}

long long write_merged(const std::vector<const Part *> &used, const std::string &heading, StagedFile &report,
                       StagedFile *tsv, StagedFile *json, TextSink &console)
{
    // The heading and the header row as the parts' files hold them (one
    // unit each when compressed), then each part's quartets as they are.
    uint64_t report_base = heading.size();
    uint64_t tsv_base = used.front()->tsv_header.size();
    long long written = 0;
    double wall = 0;
    Packer packer = make_packer(json != nullptr ? compression_of(json->path) : Compression::kNone);
    sink_write(report.sink, heading);
    if (tsv != nullptr)
        sink_write(tsv->sink, used.front()->tsv_header);
    if (json != nullptr) {
        RunLine run = used.front()->record.run;
        run.sharded = false;
        sink_write(json->sink, packed(packer, run_line_text(run)));
    }
    for (const Part *part : used) {
        const RecordSummary &record = part->record;
        const uint64_t header = part->tsv_header.size();
        const uint64_t report_length = record.quartet_lines > 0 ? record.report_bytes : part->heading_bytes;
        const uint64_t tsv_length = record.quartet_lines > 0 ? record.tsv_bytes : header;
        bool copied = copy_bytes(part->shard().report, part->heading_bytes, report_length - part->heading_bytes,
                                 report.sink);
        if (copied && tsv != nullptr)
            copied = copy_bytes(part->shard().tsv, header, tsv_length - header, tsv->sink);
        if (copied && json != nullptr)
            copied = copy_quartet_lines(*part, report_base, tsv_base, packer, json->sink);
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
        sink_write(json->sink, packed(packer, end_line_text(last.limit_stop,
                                                            last.limit_stop == StopReason::kNone ? kExitOk : kExitStopped,
                                                            written, wall)));
    return written;
}

}  // namespace kelto
