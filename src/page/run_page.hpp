// The page of a recorded run drawn from its JSON Lines record and its input
// file, for `kelto merge` and `kelto html`.
#pragma once

#include <cstdio>
#include <string>

namespace kelto {

// Draws the page of the run recorded at `record_path` into `page`, reading
// the input at `input_path`: checks that the input is the run's (size and
// XXH3-128), reads and trims it and takes the run's matrix. False with a
// one-line message.
bool draw_page(const std::string &record_path, const std::string &input_path, FILE *page, std::string &message);

}  // namespace kelto
