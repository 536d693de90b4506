// Removal of gap columns: every record is cut to the common length
// N_minimum, without any column that holds a gap in some record.
#pragma once

#include <string>

#include "input/pair_file.hpp"

namespace kelto {

// Removes, from every record, each column among the first `shortest` that
// holds '-' in any record, cuts every record to the remaining length and
// returns it (N_minimum). Prints the gap count and N_minimum to `console`.
int remove_gap_columns(SequenceSet &set, int shortest, std::string &console);

}  // namespace kelto
