// Checking a report or TSV against the spans of its record.
#include "record/verify.hpp"


#include "common/files.hpp"
#include "record/digest.hpp"

namespace kelto {

RecordVisitor collect_spans(RecordSpans &spans)
{
    RecordVisitor visitor;
    visitor.quartet = [&spans](const QuartetLine &line, std::string &) {
        if (spans.quartets.empty())
            spans.first = line.result.index;
        spans.quartets.push_back(QuartetSpan{line.report_bytes, line.tsv_bytes, line.sums});
        return true;
    };
    return visitor;
}

bool verify_spans(const std::string &path, SpanFile which, uint64_t start, const RecordSpans &spans,
                  std::string &why)
{
    const char *name = which == SpanFile::kReport ? "report" : "TSV";
    FileHandle file(open_regular(path, why));
    if (!file || fseeko(file.get(), static_cast<off_t>(start), SEEK_SET) != 0) {
        why = std::string("the ") + name + " " + path + " cannot be read";
        return false;
    }
    uint64_t at = start;
    for (std::size_t q = 0; q < spans.quartets.size(); ++q) {
        const QuartetSpan &span = spans.quartets[q];
        const uint64_t end = which == SpanFile::kReport ? span.report_end : span.tsv_end;
        uint64_t hash = 0;
        const long long index = spans.first + static_cast<long long>(q);
        if (end < at || !stream_xxh3_64(file.get(), end - at, hash)) {
            why = std::string("the ") + name + " " + path + " is shorter than the record says at quartet " +
                  std::to_string(index);
            return false;
        }
        if (span.sums.present && hash != (which == SpanFile::kReport ? span.sums.report : span.sums.tsv)) {
            why = std::string("the ") + name + " " + path + " differs from the record at quartet " +
                  std::to_string(index) + " (changed, or another run's)";
            return false;
        }
        at = end;
    }
    return true;
}

}  // namespace kelto
