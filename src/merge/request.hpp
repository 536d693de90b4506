// What `kelto merge` is asked to do: the merged report, the parts, and the
// optional record, table and page.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kelto {

struct MergeRequest {
    std::vector<std::string> positionals;  // OUT_REPORT PART.jsonl...
    std::string json_path;  // empty: not written
    std::string tsv_path;
    std::string html_path;
};

inline constexpr const char *kMergeUsage =
    "kelto merge: usage: kelto merge [--json OUT.jsonl] [--tsv OUT.tsv] [--html PAGE.html] OUT_REPORT PART.jsonl...\n";

// An argument error of `merge` on `out`: the error, then the usage line.
inline void merge_usage_error(const std::string &error, FILE *out)
{
    std::fprintf(out, "kelto merge: %s\n%s", error.c_str(), kMergeUsage);
    std::fflush(out);
}

}  // namespace kelto
