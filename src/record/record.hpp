// The JSON Lines record of a run, in one place: its three kinds of line as
// types, the writer and the validating reader of each, and the reader of a
// whole record. Resume, merge, the html command and the page read records
// only through this header.
//
// A record is a run line, one quartet line per quartet written (in quartet
// order, from the first quartet of the run or of its shard's block), and an
// end line once the run has stopped.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/compress.hpp"
#include "common/status.hpp"
#include "input/pair_file.hpp"
#include "common/digest.hpp"
#include "report/quartet_result.hpp"

namespace kelto {

// The format written; records of format 1 (without the input's form, the
// matrix's values, the chosen pairs and the warnings) and of format 2 (the
// min-P family-wise test) are read too.
inline constexpr int kRecordFormat = 3;

// Arrays and objects nest at most this deep in a line of a record (a window
// inside a quartet line's window list is 3).
inline constexpr int kRecordMaxDepth = 8;

// No line of a record is longer (a quartet line with the most final windows
// a run allows is about 12 MiB).
inline constexpr std::size_t kRecordMaxLine = std::size_t{32} << 20;

// A shard's block of quartets [first, end) and the files it wrote.
struct ShardBlock {
    int index = 0;  // K of K/N
    int count = 0;  // N
    long long first = 0;
    long long end = 0;
    std::string report;  // the paths' exact bytes (the record also keeps them as hex)
    std::string tsv;     // empty: no TSV was written
    // The same files as paths from the record's own folder, so that merge
    // finds them from any working folder and after the run's folder moved
    // (empty in records of earlier versions).
    std::string report_from_record;
    std::string tsv_from_record;
};

// The settings and input of a run: its first line.
struct RunLine {
    int format = kRecordFormat;  // as read; written always as kRecordFormat
    std::string version;
    uint64_t seed = 0;
    bool seed_from_option = false;  // "seed_source": "option" or "clock"
    int randomisations = 0;         // T
    // The family-wise test: "scan" (format 3), "min-P" (format 2), "none"
    // (format 1, or a run without the test). J_max of the scan test or J
    // of min-P; h and the arranged block length of the scan test.
    std::string family_test = "scan";
    long long family_randomisations = 0;
    int family_exceedances = 0;
    int family_block = 1;
    std::string matrix;              // the built-in's name, or the matrix file's base name
    std::vector<int> matrix_values;  // 400, row by row in residue order (from the name in format 1)
    std::string matrix_path;         // the matrix file read; empty for a built-in
    uint64_t matrix_xxh3 = 0;        // of the matrix file's bytes
    std::string input_path;
    FileDigest input;
    std::string input_form = "pair_file";  // or "aligned_fasta", "stockholm", "clustal", "a2m", "a3m"
    std::string pairs_path;                // the --pairs file; empty: records pair up in file order
    uint64_t pairs_xxh3 = 0;
    std::vector<int> record_places;   // with a pairs file: each record's place in the input, pair order
    std::vector<std::string> names;   // 2P whole header lines in pair order (the "pairs")
    std::vector<std::string> accessions;  // per record in pair order, "#=GS ID AC"; empty: none (or not recorded)
    std::vector<int> record_lengths;  // residues as read, before gap removal
    int gap_columns = 0;
    int n_minimum = 0;
    long long quartets = 0;  // of the whole run
    int threads = 0;
    std::vector<InputWarning> warnings;
    bool sharded = false;
    ShardBlock shard;  // when sharded

    int pairs() const { return static_cast<int>(names.size() / 2); }
    // The first quartet a record of this run holds, and the end of its range.
    long long first_quartet() const { return sharded ? shard.first : 0; }
    long long end_quartet() const { return sharded ? shard.end : quartets; }
};

// How the scan test's penalty is named in the run line.
inline constexpr const char *kScanPenaltyText = "sqrt(2 ln(e N / min(w, N - w)))";

// The arranged unit as the run line names it: "positions" or "blocks:L".
std::string family_block_name(int block);
// The block length of such a name; 0 for any other text.
int family_block_from_name(const std::string &name);

// XXH3-64 checksums of one quartet's bytes in the report and of its TSV
// rows, so that a file can be checked against its record quartet by
// quartet (records of earlier versions have none).
struct QuartetChecksums {
    bool present = false;
    uint64_t report = 0;
    uint64_t tsv = 0;
};

// One quartet as recorded, with the report's and TSV's lengths once it was
// written.
struct QuartetLine {
    QuartetResult result;
    std::array<std::string, 4> names;  // quartet order
    uint64_t report_bytes = 0;
    uint64_t tsv_bytes = 0;
    QuartetChecksums sums;
};

// The last line: how the run ended.
struct EndLine {
    std::string status;  // stop_name() of the reason
    int exit_status = 0;
    long long quartets_written = 0;
    double wall_seconds = 0.0;
};

// --- Writers: each returns or appends one line with its line feed. ---

std::string run_line_text(const RunLine &run);
void append_quartet_line(std::string &out, const QuartetResult &result, const std::array<std::string, 4> &names,
                         uint64_t report_bytes, uint64_t tsv_bytes, const QuartetChecksums &sums);
std::string end_line_text(const EndLine &end);
std::string end_line_text(StopReason reason, int exit_status, long long quartets_written, double wall_seconds);

// --- Reading a whole record. ---

// What a record holds, read and checked line by line against the format:
// field types and ranges, quartets in order from the run's first one and
// within its range, each one's pairs those of its index, lengths that never
// go backwards, nothing after a quartet that stopped the run at a limit or
// after the end line, nesting at most kRecordMaxDepth deep.
struct RecordSummary {
    RunLine run;
    long long quartet_lines = 0;  // complete quartet lines
    // The last quartet line's lengths and limit stop (when quartet_lines > 0).
    uint64_t report_bytes = 0;
    uint64_t tsv_bytes = 0;
    StopReason limit_stop = StopReason::kNone;
    uint64_t kept_bytes = 0;  // the record up to its last quartet line, or its run line
    bool has_end = false;
    EndLine end;
    // The record ends inside a line (no line feed, or not JSON): that last
    // line was dropped, the way a write cut off by a kill leaves it. In a
    // compressed record also a last unit cut off.
    bool torn = false;
    // A record written compressed, one line a gzip member or zstd frame
    // (read either way); its lengths above (kept_bytes) are then of the
    // compressed bytes. Not `cuttable` when kept_bytes falls inside a unit
    // (a record compressed whole afterwards): it can be read, not cut back.
    Compression compression = Compression::kNone;
    bool cuttable = true;

    long long next_quartet() const { return run.first_quartet() + quartet_lines; }
};

// What a reader does with the lines as they are read, after they were
// checked; each returns false with a reason to stop reading. Either may be
// empty.
struct RecordVisitor {
    std::function<bool(const RunLine &run, std::string &why)> run;
    std::function<bool(const QuartetLine &line, std::string &why)> quartet;
};

// Reads the record at `path`, plain or compressed (told by its first
// bytes, whatever its name). On failure returns false with one line in
// `message`: "PATH line N: what is wrong", or "PATH: what is wrong" where
// no line is at fault (the run visitor's refusals among them).
bool read_record(const std::string &path, RecordSummary &summary, std::string &message,
                 const RecordVisitor &visitor = {});

// The same from an open stream, from its current position; `name` stands
// for the file in messages.
bool read_record(FILE *file, const std::string &name, RecordSummary &summary, std::string &message,
                 const RecordVisitor &visitor = {});

// Reads only the first line of `file` (from its current position) as the
// run line; messages as read_record's.
bool read_run_line(FILE *file, const std::string &name, RunLine &run, std::string &message);

// --- Single lines, for the readers above and for tests. ---

// Parses and checks one line of each kind; false with what is wrong in
// `why`. The quartet line is checked against its run line (pairs, N_minimum
// and T bound its fields).
bool parse_run_line(const std::string &text, RunLine &run, std::string &why);
bool parse_quartet_line(const std::string &text, const RunLine &run, QuartetLine &line, std::string &why);
bool parse_end_line(const std::string &text, EndLine &end, std::string &why);

// A path's exact bytes as hex digits, and back (false for text that is
// not such digits): file names need not be UTF-8, JSON strings must be.
std::string hex_bytes(const std::string &bytes);
bool bytes_from_hex(const std::string &hex, std::string &bytes);

// A record name as recorded: the header text without its line end.
std::string record_name(const std::string &header);

// Whether the recorded end status leaves nothing to do on resume: the run
// completed or stopped at a limit.
bool run_finished(const EndLine &end);

}  // namespace kelto
