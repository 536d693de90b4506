// The machine-readable records of a run: JSON Lines (a run line, a line per
// quartet, an end line) and a TSV of the final windows. Texts are built in
// memory; the run driver writes them in quartet order beside the report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/pair_file.hpp"
#include "results/digest.hpp"
#include "results/quartet_result.hpp"

namespace kelto {

inline constexpr int kRecordFormat = 1;

// The settings and input of a run, for its first JSON line.
struct RunRecord {
    const char *version = "";
    uint64_t seed = 0;
    bool seed_from_option = false;
    int randomisations = 0;
    const char *matrix = "";
    std::string input_path;
    FileDigest input;
    const SequenceSet *trimmed = nullptr;  // names of every record
    std::vector<int> record_lengths;       // residues as read, before gap removal
    int gap_columns = 0;
    int n_minimum = 0;
    long long quartets = 0;
    int threads = 0;
    // A shard's block of quartets [first, end) and its output files.
    bool shard = false;
    int shard_index = 0, shard_count = 0;
    long long shard_first = 0, shard_end = 0;
    std::string shard_report, shard_tsv;
};

// A record name as kept in the records: the header text without its line end.
std::string record_name(const SequenceRecord &record);

// The first JSON line, with its line feed.
std::string json_run_line(const RunRecord &run);

// Appends the quartet's JSON line. `names` are the four records in quartet
// order; the byte counts are the report's and the TSV's lengths once this
// quartet is written.
void append_json_quartet_line(std::string &out, const QuartetResult &result, const SequenceRecord *const names[4],
                              uint64_t report_bytes, uint64_t tsv_bytes);

// The last JSON line.
std::string json_end_line(StopReason reason, int exit_status, long long quartets_written, double wall_seconds);

// The TSV header row.
extern const char *const kTsvHeader;

// Appends one row per final window of the quartet (maximum windows first).
void append_tsv_rows(std::string &out, const QuartetResult &result, const SequenceRecord *const names[4]);

// A name made safe for a TSV field: control characters become a blank, '"'
// becomes '\'', bytes that are not UTF-8 become U+FFFD.
std::string tsv_text(const std::string &name);

}  // namespace kelto
