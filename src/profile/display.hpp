// Block display of a quartet: 18 positions per block, 11 rows per block.
#pragma once

#include <string>

#include "profile/profile.hpp"

namespace kelto {

inline constexpr int kDisplayBlockWidth = 18;

// Appends the display of the quartet's first `n_minimum` positions to `out`;
// the same text goes to the console and then to the report.
void append_display(std::string &out, const Quartet &quartet, const QuartetProfile &profile, int n_minimum);

}  // namespace kelto
