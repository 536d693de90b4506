// The TSV table of a run's final windows: one row per final window, in
// quartet order, maximum windows before minimum ones, then the quartet's
// scan window (kind "scan") when it had a family-wise test.
#pragma once

#include <array>
#include <string>

#include "report/quartet_result.hpp"

namespace kelto {

// The header row.
extern const char *const kTsvHeader;

// The header row as the TSV file holds it: one unit, compressed as the
// file's name says.
std::string tsv_header_unit(const std::string &tsv_path);

// Appends one row per final window of the quartet and its scan row. `names` are the four
// record names (as recorded) in quartet order.
void append_tsv_rows(std::string &out, const QuartetResult &result, const std::array<std::string, 4> &names);

// A name made safe for a TSV field: control characters become a blank, '"'
// becomes '\'', bytes that are not UTF-8 become U+FFFD.
std::string tsv_text(const std::string &name);

}  // namespace kelto
