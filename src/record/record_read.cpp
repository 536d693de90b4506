// The validating reader of a whole record: each line checked against the
// format, then against the lines before it.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/files.hpp"
#include "record/record.hpp"
#include "record/record_fields.hpp"

namespace kelto {

namespace {

// One line of a stream with POSIX getline; `ended`: it ends with a line feed.
struct LineReader {
    FILE *file;
    char *buffer = nullptr;
    size_t capacity = 0;
    long long number = 0;
    uint64_t offset = 0;  // bytes before the line just read
    uint64_t next = 0;    // bytes through it
    ~LineReader() { std::free(buffer); }
};

bool next_line(LineReader &reader, std::string &line, bool &ended)
{
    const ssize_t length = getline(&reader.buffer, &reader.capacity, reader.file);
    if (length < 0)
        return false;
    ++reader.number;
    reader.offset = reader.next;
    reader.next += static_cast<uint64_t>(length);
    ended = length > 0 && reader.buffer[length - 1] == '\n';
    line.assign(reader.buffer, static_cast<std::size_t>(ended ? length - 1 : length));
    return true;
}

// Checks a quartet line against the record so far and takes it in.
bool take_quartet(const QuartetLine &quartet, RecordSummary &summary, std::string &why)
{
    const long long index = quartet.result.index;
    if (summary.limit_stop != StopReason::kNone) {
        why = "a quartet after the quartet that stopped the run";
        return false;
    }
    if (index != summary.next_quartet()) {
        why = "quartet " + std::to_string(index) + " where quartet " + std::to_string(summary.next_quartet()) +
              " is due";
        return false;
    }
    if (index >= summary.run.end_quartet()) {
        why = "quartet " + std::to_string(index) + " is past the end of the run's block (" +
              std::to_string(summary.run.end_quartet()) + ")";
        return false;
    }
    if (summary.quartet_lines > 0 &&
        (quartet.report_bytes < summary.report_bytes || quartet.tsv_bytes < summary.tsv_bytes)) {
        why = "the report or TSV length it records goes backwards";
        return false;
    }
    ++summary.quartet_lines;
    summary.report_bytes = quartet.report_bytes;
    summary.tsv_bytes = quartet.tsv_bytes;
    summary.limit_stop = quartet.result.stop;
    return true;
}

// The end line must tell what the quartet lines show: as many quartets
// written, a completed run only after the last quartet of its range, a
// limit stop only after the quartet that hit it.
bool end_fits(const RecordSummary &summary, std::string &why)
{
    const EndLine &end = summary.end;
    if (end.quartets_written != summary.quartet_lines) {
        why = "the end line counts " + std::to_string(end.quartets_written) + " quartets written, the record holds " +
              std::to_string(summary.quartet_lines);
        return false;
    }
    const StopReason limit = limit_stop_from_name(end.status);
    const bool completed = end.status == stop_name(StopReason::kNone);
    if (completed && (summary.next_quartet() != summary.run.end_quartet() || summary.limit_stop != StopReason::kNone)) {
        why = "the end line says completed after " + std::to_string(summary.quartet_lines) + " of the " +
              std::to_string(summary.run.end_quartet() - summary.run.first_quartet()) + " quartets";
        return false;
    }
    const bool write_error = end.status == stop_name(StopReason::kWriteError);
    if ((limit != StopReason::kNone && limit != summary.limit_stop) ||
        (summary.limit_stop != StopReason::kNone && limit == StopReason::kNone && !write_error)) {
        why = "the end line's status " + end.status + " is not the stop of the last quartet";
        return false;
    }
    return true;
}

// One line after the run line; false with why it does not fit.
bool take_line(const std::string &text, RecordSummary &summary, const RecordVisitor &visitor, QuartetLine &quartet,
               std::string &why)
{
    nlohmann::json line;
    std::string type;
    if (!parse_object(text, line, type, why))
        return false;
    if (summary.has_end) {
        why = "a line after the end line";
        return false;
    }
    if (type == "end") {
        summary.has_end = end_line_from(line, type, summary.end, why) && end_fits(summary, why);
        return summary.has_end;
    }
    if (type != "quartet") {
        why = "unknown line type \"" + type + "\"";
        return false;
    }
    return quartet_line_from(line, type, summary.run, quartet, why) && take_quartet(quartet, summary, why) &&
           (!visitor.quartet || visitor.quartet(quartet, why));
}

bool at_end(FILE *file)
{
    const int c = std::getc(file);
    if (c == EOF)
        return true;
    std::ungetc(c, file);
    return false;
}

bool read_lines(FILE *file, const std::string &name, RecordSummary &summary, std::string &message,
                const RecordVisitor &visitor)
{
    summary = RecordSummary{};
    LineReader reader{file};
    std::string text, why;
    bool ended = false;
    QuartetLine quartet;
    while (next_line(reader, text, ended)) {
        if (text.size() > kRecordMaxLine) {
            message = name + " line " + std::to_string(reader.number) + ": longer than " +
                      std::to_string(kRecordMaxLine >> 20) + " MiB";
            return false;
        }
        const bool last = at_end(file);
        // A last line cut off by a kill: without its line feed, or not JSON.
        if (last && (!ended || !nlohmann::json::accept(text))) {
            summary.torn = true;
            break;
        }
        const bool fits = reader.number == 1 ? parse_run_line(text, summary.run, why)
                                             : take_line(text, summary, visitor, quartet, why);
        if (!fits) {
            message = name + " line " + std::to_string(reader.number) + ": " + why;
            return false;
        }
        if (reader.number == 1 && visitor.run && !visitor.run(summary.run, why)) {
            message = name + ": " + why;
            return false;
        }
        if (!summary.has_end)
            summary.kept_bytes = reader.next;
    }
    if (std::ferror(file)) {
        message = name + ": cannot be read";
        return false;
    }
    if (reader.number == 0 || (reader.number == 1 && summary.torn)) {
        message = name + ": holds no complete run line: nothing was recorded";
        return false;
    }
    return true;
}

bool read_first_line(FILE *file, const std::string &name, RunLine &run, std::string &message)
{
    LineReader reader{file};
    std::string text, why;
    bool ended = false;
    if (!next_line(reader, text, ended) || !ended) {
        message = name + (std::ferror(file) ? ": cannot be read" : ": holds no complete run line: nothing was recorded");
        return false;
    }
    if (!parse_run_line(text, run, why)) {
        message = name + " line 1: " + why;
        return false;
    }
    return true;
}

// A compressed record from the current position of `file`, unpacked into
// a temporary file (at most `units` units); null after a message.
FILE *unpack_record(FILE *file, Compression kind, const std::string &name, Unpacking &unpacking, std::string &message,
                    std::size_t units = static_cast<std::size_t>(-1))
{
    FileHandle plain(std::tmpfile());
    if (!plain) {
        message = name + ": cannot be unpacked (no temporary file)";
        return nullptr;
    }
    if (!unpack_stream(file, kind, plain.get(), unpacking, units)) {
        message = name + ": " + unpacking.why;
        return nullptr;
    }
    std::rewind(plain.get());
    return plain.release();
}

// A compressed record's lengths in its compressed bytes: the kept lines
// end where a unit ends.
void take_compressed_lengths(const Unpacking &unpacking, RecordSummary &summary)
{
    summary.torn = summary.torn || unpacking.cut;
    summary.cuttable = false;
    for (const UnitEnd &end : unpacking.ends)
        if (end.plain == summary.kept_bytes) {
            summary.kept_bytes = end.packed;
            summary.cuttable = true;
            break;
        }
}

}  // namespace

bool read_record(FILE *file, const std::string &name, RecordSummary &summary, std::string &message,
                 const RecordVisitor &visitor)
{
    const Compression kind = sniff_compression(file);
    if (kind == Compression::kNone)
        return read_lines(file, name, summary, message, visitor);
    Unpacking unpacking;
    FileHandle plain(unpack_record(file, kind, name, unpacking, message));
    if (!plain || !read_lines(plain.get(), name, summary, message, visitor))
        return false;
    summary.compression = kind;
    take_compressed_lengths(unpacking, summary);
    return true;
}

bool read_run_line(FILE *file, const std::string &name, RunLine &run, std::string &message)
{
    const Compression kind = sniff_compression(file);
    if (kind == Compression::kNone)
        return read_first_line(file, name, run, message);
    Unpacking unpacking;
    FileHandle plain(unpack_record(file, kind, name, unpacking, message, 1));
    return plain && read_first_line(plain.get(), name, run, message);
}

bool read_record(const std::string &path, RecordSummary &summary, std::string &message,
                 const RecordVisitor &visitor)
{
    std::string why;
    FILE *file = open_regular(path, why);
    if (file == nullptr) {
        message = path + ": cannot be read (" + why + ")";
        return false;
    }
    const bool read = read_record(file, path, summary, message, visitor);
    std::fclose(file);
    return read;
}

}  // namespace kelto
