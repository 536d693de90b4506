// The start of a run as a plan: every argument, file and record is checked
// and the input read before anything is opened for writing. A fresh run, a
// shard and a resumed run each make one; the execution that follows is the
// same for all three and never asks again which one it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/locks.hpp"
#include "common/run_io.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "input/alignment.hpp"
#include "input/matrix_file.hpp"
#include "input/pair_file.hpp"
#include "record/record.hpp"
#include "run/quartets.hpp"
#include "run/request.hpp"

namespace kelto {

// One file the run writes: created (truncated), or cut back to `length`
// bytes and appended to.
struct PlannedFile {
    const char *role = "";  // "report", "JSON", "TSV", "HTML"
    std::string path;       // empty: not written
    bool cut_back = false;
    uint64_t length = 0;
    bool device = false;  // /dev/null on resume: appended to, never cut back
};

// How the start of a run ends when start-up stops it after opening
// the report: T out of range (the report is created and stays empty), or a
// pair file that cannot be read (the report holds its heading).
enum class EarlyStop { kNone, kAfterReportOpened, kAfterReading };

// What the planner decided: go, refuse, or stop early at the start.
struct PlanDecision {
    // Refused while planning: the message is printed, no file was touched.
    Status refused = Status::kContinue;
    // A resumed run that has nothing left to do: exit 0, no file touched.
    bool nothing_to_do = false;
    EarlyStop early_stop = EarlyStop::kNone;
    Status early_status = Status::kContinue;
    std::string early_message;
};

// The run's files: the input read, the outputs written, and their locks.
struct PlanFiles {
    std::string input_path;
    PlannedFile report{"report", {}}, json{"JSON", {}}, tsv{"TSV", {}}, html{"HTML", {}};
    bool json_temporary = false;  // the record is kept only for the page, in a temporary file
    bool write_headings = true;  // the report's heading, the TSV header and the run line are written

    // The run's one-writer locks on its report, record, TSV and page (each
    // that is or will be a regular file), taken while planning before any of
    // them is changed: a file not there yet is created empty to be locked
    // (and removed again unless the run writes it). The execution writes
    // these files through their locks.
    std::vector<FileLock> locks;
    std::vector<std::string> locked;  // their paths
};

// The input as read and scored, the settings of its analysis and the run line.
struct PlanInput {
    std::string input_form;  // forced by --format or, for A2M and A3M, by the record; empty: told by the content
    int randomisations = 0;  // T
    RunMatrix matrix;        // built-in or read from a file
    PairChoice choice;       // the pairs by name, or by their recorded places on resume
    uint64_t seed = 0;
    std::string seed_line;   // the lines on standard error naming the matrix file read and the seed's source

    SequenceSet set;  // the trimmed records
    std::vector<std::vector<int>> scores;  // per pair, under the matrix
    std::string setup_console;  // the reader's echo and the gap-removal text
    bool setup_quiet = false;   // not shown again on resume
    RunLine record;             // the run line: written with the headings, or the recorded one
};

// The quartets this process analyses and where they start.
struct PlanQuartets {
    QuartetRange range;           // the quartets to analyse and the first draw
    long long range_begin = 0;    // the first quartet of the run or of its shard's block
    long long range_size = 0;     // quartets of the run (of its block for a shard)
    long long written_before = 0;  // quartets already in the files
    uint64_t tsv_bytes = 0;       // the TSV's length before the first quartet
    std::string resume_note;      // the console line that says where the run resumes
    StopReason recorded_stop = StopReason::kNone;  // resumed after a limit stop: only the end line is missing
    int workers = 1;
};

struct RunPlan {
    PlanDecision decision;
    PlanFiles files;
    PlanInput input;
    PlanQuartets quartets;
};

// The lock taken on the planned file at `path`, or null when it is not
// locked (a device, a pipe).
FileLock *lock_of(PlanFiles &files, const std::string &path);

// A fresh run, or with --shard K/N one block of it. The menu is asked here
// when no --matrix is given.
RunPlan plan_fresh(const RunRequest &request, const RunIo &io, uint64_t clock_seed, int workers, TextSink &console);

// Narrows a fresh plan to its shard's block and records the block.
void plan_shard(const RunRequest &request, RunPlan &plan);

// A run continued from its record (--resume).
RunPlan plan_resume(const RunRequest &request, int workers, TextSink &console);

// Whether the record at `json_path` exists but holds not even a whole first
// line: a run stopped before it wrote anything, which starts afresh.
bool nothing_recorded(const std::string &json_path);

}  // namespace kelto
