// `kelto html RUN.jsonl IN_FILE PAGE.html`: the HTML page of a recorded run,
// built again from its JSON Lines record and its input file.
#pragma once

#include <cstdio>

#include "cli/options.hpp"

namespace kelto {

// The positionals are the record, the input file and the page. Checks that the input is the run's (size and
// XXH3-128), reads and trims it, takes the run's matrix and writes the page.
// Returns 0, or 2 after a one-line message on `console`; on any error the
// page is not left behind, and a page path that is the record or the input
// file is refused before anything is written.
int html_command(const RunOptions &options, FILE *console);

}  // namespace kelto
