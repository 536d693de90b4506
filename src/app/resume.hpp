// Where an interrupted run stands, read back from its JSON Lines record:
// the run line, the last quartet recorded as complete and the lengths the
// report and TSV had then.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace kelto {

struct ResumePoint {
    nlohmann::ordered_json run;  // the run line
    bool ended = false;          // an end line closes the record
    std::string end_status;      // its status
    long long next_quartet = 0;  // the first quartet not recorded
    long long recorded = 0;      // complete quartet lines
    std::string limit_stop;      // the last quartet's "Too many" stop, if it had one
    uint64_t json_bytes = 0;     // the record up to its last complete quartet line (or the run line)
    bool has_quartets = false;
    uint64_t report_bytes = 0;   // lengths after the last complete quartet (when has_quartets;
    uint64_t tsv_bytes = 0;      // the caller sets the heading's and header's otherwise)
};

// Reads the record at `path`. A torn last line (no line feed, or not JSON)
// is dropped; any other line that does not fit the record is refused.
// Returns false with a one-line reason in `message`.
bool read_resume_point(const std::string &path, ResumePoint &point, std::string &message);

// Whether the recorded run has nothing left to do.
inline bool run_finished(const ResumePoint &point)
{
    return point.ended && point.end_status != "interrupted" && point.end_status != "write_error" &&
           point.end_status != "memory";
}

}  // namespace kelto
