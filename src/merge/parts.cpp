// Reading and checking the parts of a merge.
#include "merge/parts.hpp"

#include <filesystem>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "common/files.hpp"
#include "common/status.hpp"
#include "record/run_line_compare.hpp"
#include "tsv/tsv.hpp"

namespace kelto {

namespace {

bool file_size(const std::string &path, uint64_t &size)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

// A used part must have ended by itself: completed with every quartet of
// its block, or stopped at a "Too many" limit after its last quartet line.
bool check_complete(const Part &part, std::string &why)
{
    const RecordSummary &record = part.record;
    const EndLine &end = record.end;
    if (record.torn || !record.has_end) {
        why = std::string(record.torn ? "its last line is cut off" : "it has no end line") +
              ": the shard did not finish (rerun it)";
        return false;
    }
    const long long block = part.shard().end - part.shard().first;
    if (end.status == stop_name(StopReason::kNone)) {
        if (record.quartet_lines != block || end.quartets_written != record.quartet_lines ||
            end.exit_status != kExitOk || record.limit_stop != StopReason::kNone) {
            why = "incomplete: it holds " + std::to_string(record.quartet_lines) + " of the " + std::to_string(block) +
                  " quartets of its block (rerun the shard)";
            return false;
        }
        return true;
    }
    if (limit_stop_from_name(end.status) != StopReason::kNone) {
        if (record.quartet_lines < 1 || stop_name(record.limit_stop) != end.status ||
            end.quartets_written != record.quartet_lines || end.exit_status != kExitStopped) {
            why = "its end line (" + end.status + ") does not agree with its quartet lines";
            return false;
        }
        return true;
    }
    why = "the shard stopped (" + end.status + "): rerun it";
    return false;
}

// The first unit of a compressed file: its bytes as the file holds them
// and its text; false when the file does not start with a whole unit.
bool first_unit(const std::string &path, Compression kind, std::string &bytes, std::string &text)
{
    const std::string prefix = read_start(path, 1 << 16);
    std::size_t used = 0;
    if (unpack_unit(kind, prefix, text, used) != Unpacked::kWhole)
        return false;
    bytes = prefix.substr(0, used);
    return true;
}

// The report's heading: the bytes up to and including its T line (in a
// compressed report, its first unit, which ends with that line).
bool find_heading(const Part &part, long long randomisations, std::string &heading, std::string &why)
{
    const std::string t_line = "\nT = " + std::to_string(randomisations) + " \n";
    const Compression kind = compression_of(part.shard().report);
    std::string text;
    if (kind != Compression::kNone && first_unit(part.shard().report, kind, heading, text) &&
        text.ends_with(t_line))
        return true;
    const std::string prefix = kind == Compression::kNone ? read_start(part.shard().report, 1 << 16) : "";
    const std::size_t at = prefix.find(t_line);
    if (at == std::string::npos) {
        why = "its report " + part.shard().report + " does not begin with the heading of a run with T = " +
              std::to_string(randomisations);
        return false;
    }
    heading = prefix.substr(0, at + t_line.size());
    return true;
}

// A part's report and TSV must be compressed as the merged ones are.
bool check_kinds(const Part &part, const MergedKinds &kinds, std::string &why)
{
    const std::pair<const std::string *, Compression> files[] = {{&part.shard().report, kinds.report},
                                                                 {&part.shard().tsv, kinds.tsv}};
    for (const auto &[path, merged] : files) {
        if (path->empty() || (path == &part.shard().tsv && !kinds.want_tsv) || compression_of(*path) == merged)
            continue;
        why = "its " + std::string(path == &part.shard().tsv ? "TSV " : "report ") + *path + " is " +
              compression_name(compression_of(*path)) + ", the merged one would be " + compression_name(merged) +
              ": name the merged files with the parts' endings";
        return false;
    }
    return true;
}

// The TSV's header row as the part's file holds it.
bool find_tsv_header(Part &part, std::string &why)
{
    const Compression kind = compression_of(part.shard().tsv);
    std::string text;
    if (kind == Compression::kNone)
        text = part.tsv_header = read_start(part.shard().tsv, std::string(kTsvHeader).size());
    else if (!first_unit(part.shard().tsv, kind, part.tsv_header, text))
        text.clear();
    if (text != kTsvHeader) {
        why = "its TSV " + part.shard().tsv + " does not begin with the header row";
        return false;
    }
    return true;
}

bool check_files(Part &part, const std::string &reference_heading, long long randomisations, bool want_tsv,
                 std::string &heading, std::string &why)
{
    uint64_t size = 0;
    if (!file_size(part.shard().report, size)) {
        why = "its report " + part.shard().report + " is missing";
        return false;
    }
    if (!find_heading(part, randomisations, heading, why))
        return false;
    if (!reference_heading.empty() && heading != reference_heading) {
        why = "its report " + part.shard().report + " has another heading than the first part's";
        return false;
    }
    part.heading_bytes = heading.size();
    const RecordSummary &record = part.record;
    const uint64_t expected = record.quartet_lines > 0 ? record.report_bytes : part.heading_bytes;
    if (size != expected || (record.quartet_lines > 0 && record.report_bytes <= part.heading_bytes)) {
        why = "its report " + part.shard().report + " holds " + std::to_string(size) + " bytes, its record says " +
              std::to_string(expected) + " (rerun the shard)";
        return false;
    }
    if (!verify_spans(part.shard().report, SpanFile::kReport, part.heading_bytes, part.spans, why))
        return false;
    if (!want_tsv) {
        // Its record's TSV lengths count from the header row it wrote.
        part.tsv_header = tsv_header_unit(part.shard().tsv);
        return true;
    }
    if (part.shard().tsv.empty()) {
        why = "the shard wrote no TSV (run it with --tsv)";
        return false;
    }
    if (!file_size(part.shard().tsv, size)) {
        why = "its TSV " + part.shard().tsv + " is missing";
        return false;
    }
    if (!find_tsv_header(part, why))
        return false;
    const uint64_t tsv_expected = record.quartet_lines > 0 ? record.tsv_bytes : part.tsv_header.size();
    if (size != tsv_expected) {
        why = "its TSV " + part.shard().tsv + " holds " + std::to_string(size) + " bytes, its record says " +
              std::to_string(tsv_expected) + " (rerun the shard)";
        return false;
    }
    return verify_spans(part.shard().tsv, SpanFile::kTsv, part.tsv_header.size(), part.spans, why);
}

// The fields where the run lines of two shards of one run may not differ
// (the thread count, the shard and the input's path may), in the order they
// are checked, with their names in the refusal.
constexpr NamedField kShardFields[] = {
    {RunField::kVersion, "version"},
    {RunField::kSeed, "seed"},
    {RunField::kSeedSource, "seed_source"},
    {RunField::kRandomisations, "T"},
    {RunField::kFamilyTest, "family-wise test"},
    {RunField::kFamilyRandomisations, "family_randomisations"},
    {RunField::kFamilyExceedances, "family-wise h"},
    {RunField::kFamilyBlock, "family-wise null"},
    {RunField::kMatrix, "matrix"},
    {RunField::kMatrixValues, "matrix_values"},
    {RunField::kInputForm, "input form"},
    {RunField::kPairsFile, "pairs_file"},
    {RunField::kPairsPlaces, "pairs_file records"},
    {RunField::kInputBytes, "input bytes"},
    {RunField::kInputXxh3, "input xxh3_128"},
    {RunField::kNames, "pairs"},
    {RunField::kRecordLengths, "record_lengths"},
    {RunField::kGapColumns, "gap_columns"},
    {RunField::kNMinimum, "n_minimum"},
    {RunField::kQuartets, "quartets"},
};

}  // namespace

void refuse(TextSink &console, const std::string &part, const std::string &why)
{
    sink_error(console, "merge: %s: %s", part.c_str(), why.c_str());
}

bool read_parts(const std::vector<std::string> &paths, std::vector<Part> &parts, TextSink &console)
{
    parts.clear();
    parts.resize(paths.size());
    std::string message;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        parts[i].path = paths[i];
        if (!lock_existing(paths[i], LockKind::kShared, parts[i].lock, message)) {
            sink_error(console, "merge: %s", message.c_str());
            return false;
        }
        if (!read_record(paths[i], parts[i].record, message, checked_spans(parts[i].spans))) {
            sink_error(console, "merge: %s", message.c_str());
            return false;
        }
        if (!parts[i].record.run.sharded) {
            refuse(console, paths[i], "its record is not a shard's (no \"shard\" in its run line)");
            return false;
        }
        // The shard's files from the record's folder, where the record says
        // where they lie from there; as the shard saw them otherwise.
        ShardBlock &shard = parts[i].record.run.shard;
        const std::filesystem::path folder = std::filesystem::path(paths[i]).parent_path();
        if (!shard.report_from_record.empty()) {
            shard.report = (folder / shard.report_from_record).string();
            if (!shard.tsv.empty())
                shard.tsv = (folder / shard.tsv_from_record).string();
        }
    }
    return true;
}

bool check_one_run(const std::vector<Part> &parts, TextSink &console)
{
    const Part &model = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].shard().count != model.shard().count) {
            refuse(console, parts[i].path, "it is shard " + std::to_string(parts[i].shard().index) + "/" +
                                               std::to_string(parts[i].shard().count) + ", " + model.path +
                                               " one of " + std::to_string(model.shard().count) + " shards");
            return false;
        }
        const char *differs = first_difference(parts[i].record.run, model.record.run, kShardFields);
        if (differs != nullptr) {
            refuse(console, parts[i].path, "not the same run as " + model.path + ": its " + differs + " differs");
            return false;
        }
    }
    return true;
}

bool check_coverage(const std::vector<Part *> &order, TextSink &console)
{
    const long long quartets = order.front()->record.run.quartets;
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i]->shard().index == order[i - 1]->shard().index) {
            refuse(console, order[i]->path, "shard " + std::to_string(order[i]->shard().index) + "/" +
                                                std::to_string(order[i]->shard().count) + " again (also " +
                                                order[i - 1]->path + ")");
            return false;
        }
    const int count = order.front()->shard().count;
    for (int k = 1; k <= count; ++k)
        if (static_cast<std::size_t>(k) > order.size() || order[static_cast<std::size_t>(k - 1)]->shard().index != k) {
            // Its block lies between the parts before and after it.
            const std::size_t at = static_cast<std::size_t>(k - 1);
            const long long first = k == 1 ? 0 : order[at - 1]->shard().end;
            const long long end = at < order.size() ? order[at]->shard().first : quartets;
            sink_error(console, "merge: shard %d/%d is missing: no part holds its block [%lld, %lld)", k,
                         count, first, end);
            return false;
        }
    for (std::size_t i = 0; i < order.size(); ++i) {
        const long long expected = i == 0 ? 0 : order[i - 1]->shard().end;
        if (order[i]->shard().first != expected) {
            refuse(console, order[i]->path,
                   "its block [" + std::to_string(order[i]->shard().first) + ", " + std::to_string(order[i]->shard().end) + ") " +
                       (order[i]->shard().first < expected ? "overlaps" : "leaves a gap after") + " the block [" +
                       std::to_string(i == 0 ? 0 : order[i - 1]->shard().first) + ", " + std::to_string(expected) + ")" +
                       (i == 0 ? std::string(" at the start") : " of " + order[i - 1]->path));
            return false;
        }
    }
    if (order.back()->shard().end != quartets) {
        refuse(console, order.back()->path,
               "its block ends at quartet " + std::to_string(order.back()->shard().end) + " of " + std::to_string(quartets));
        return false;
    }
    return true;
}

bool choose_used(const std::vector<Part *> &order, const MergedKinds &kinds, std::vector<const Part *> &used,
                 std::string &heading, TextSink &console)
{
    const long long randomisations = order.front()->record.run.randomisations;
    std::string error;
    for (Part *part : order) {
        std::string own;
        if (!check_complete(*part, error) || !check_kinds(*part, kinds, error) ||
            !check_files(*part, heading, randomisations, kinds.want_tsv, own, error)) {
            refuse(console, part->path, error);
            return false;
        }
        heading = own;
        used.push_back(part);
        if (part->record.limit_stop != StopReason::kNone)
            break;
    }
    return true;
}

}  // namespace kelto
