// Checking a report or TSV against the spans of its record, and the record
// against itself.
#include "record/verify.hpp"

#include <array>
#include <filesystem>
#include <memory>

#include "common/files.hpp"
#include "input/matrix_file.hpp"
#include "common/digest.hpp"

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

namespace {

// Why the run line's matrix name contradicts its values or its file, or
// empty.
std::string matrix_contradiction(const RunLine &run)
{
    if (!run.matrix_path.empty()) {
        if (std::filesystem::path(run.matrix_path).filename().string() == run.matrix)
            return {};
        return "the run line's \"matrix\" " + run.matrix + " is not the name of its \"matrix_file\" " +
               run.matrix_path;
    }
    const int builtin = builtin_matrix_index(run.matrix);
    if (builtin >= 0 && builtin_matrix(builtin).name == run.matrix &&
        matrix_values(builtin_matrix(builtin).scores) == run.matrix_values)
        return {};
    return "the run line's \"matrix\" " + run.matrix + " does not go with its \"matrix_values\"";
}

}  // namespace

RecordVisitor checked_spans(RecordSpans &spans)
{
    RecordVisitor visitor = collect_spans(spans);
    auto run = std::make_shared<const RunLine *>(nullptr);
    visitor.run = [run](const RunLine &line, std::string &why) {
        *run = &line;
        why = matrix_contradiction(line);
        return why.empty();
    };
    const auto collect = visitor.quartet;
    visitor.quartet = [run, collect](const QuartetLine &line, std::string &why) {
        const std::vector<std::string> &names = (*run)->names;
        const auto a = static_cast<std::size_t>(2 * line.result.pair_a);
        const auto b = static_cast<std::size_t>(2 * line.result.pair_b);
        if (line.names != std::array<std::string, 4>{names[a], names[a + 1], names[b], names[b + 1]}) {
            why = "quartet " + std::to_string(line.result.index) + "'s \"names\" are not those the run line's \"pairs\" "
                  "give pairs " + std::to_string(line.result.pair_a) + " and " + std::to_string(line.result.pair_b);
            return false;
        }
        return collect(line, why);
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
