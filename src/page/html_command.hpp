// `kelto html RUN.jsonl IN_FILE PAGE.html`: the HTML page of a recorded run,
// built again from its JSON Lines record and its input file.
#pragma once

#include <cstdio>

#include "cli/options.hpp"

namespace kelto {

// The positionals are the record, the input file and the page. Checks that
// the input is the run's (size and XXH3-128), reads and trims it, takes the
// run's matrix and writes the page. The page is written beside its target
// and put in place only when complete; it never replaces the record, the
// input, a directory or a file that is not a regular file. Returns 0, or 2
// after a one-line message on `errors` (standard error), every file then as it was.
int html_command(const RunOptions &options, FILE *errors);

// Draws the page of the run recorded at `record_path` into `page`, reading
// the input at `input_path`. False with a one-line message.
bool draw_page(const std::string &record_path, const std::string &input_path, FILE *page, std::string &message);

}  // namespace kelto
