// The report's heading: the program's banner box and the "T = " line, as
// the report and the console show them.
#pragma once

#include <string>

#include "common/text.hpp"

namespace kelto {

// The four lines of the banner box, between its rules.
void write_banner_box(TextSink &sink);

// The report's heading: the banner box and the "T = " line.
std::string report_heading(int randomisations);

// The report's heading as its file holds it: one unit, compressed as the
// file's name says.
std::string heading_unit(int randomisations, const std::string &report_path);

}  // namespace kelto
