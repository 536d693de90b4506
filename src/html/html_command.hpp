// `kelto html RUN.jsonl IN_FILE PAGE.html`: the HTML page of a recorded run,
// built again from its JSON Lines record and its input file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace kelto {

struct HtmlRequest {
    std::vector<std::string> positionals;  // RUN.jsonl IN_FILE PAGE.html
};

inline constexpr const char *kHtmlUsage = "kelto html: usage: kelto html RUN.jsonl IN_FILE PAGE.html\n";

// An argument error of `html` on `out`: the error, then the usage line.
inline void html_usage_error(const std::string &error, FILE *out)
{
    std::fprintf(out, "kelto html: %s\n%s", error.c_str(), kHtmlUsage);
    std::fflush(out);
}

// The positionals are the record, the input file and the page. Checks that
// the input is the run's (size and XXH3-128), reads and trims it, takes the
// run's matrix and writes the page. The page is written beside its target
// and put in place only when complete; it never replaces the record, the
// input, a directory or a file that is not a regular file. Returns 0, or 2
// after a one-line message on `errors` (standard error), every file then as it was.
int html_command(const HtmlRequest &request, FILE *errors);

}  // namespace kelto
