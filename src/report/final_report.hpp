// Final windows with their position marks, the profile statistics and the
// per-position table that close a quartet's report.
#pragma once

#include <string>
#include <vector>

#include "profile/profile.hpp"
#include "report/quartet_result.hpp"
#include "windows/window_list.hpp"

namespace kelto {

inline constexpr double kMaximumAverageThreshold = 0.1;
inline constexpr double kMinimumAverageThreshold = -0.1;

// Neg marks (-1.0) and Pos marks (+1.0) per position, 0.0 when unmarked.
struct PositionMarks {
    std::vector<double> negative;
    std::vector<double> positive;
};

// Lists the alive maximum windows; marks the positions of those whose
// average is at least 0.1, the others are shown as eliminated. The listed
// windows are also added to `finals` when given.
void append_final_maximum(const WindowList &list, PositionMarks &marks, std::string &console, std::string &report,
                          std::vector<FinalWindow> *finals = nullptr);

// Lists the alive minimum windows (heading already written by the filter);
// marks those whose average is at most -0.1.
void append_final_minimum(const WindowList &list, PositionMarks &marks, std::string &console, std::string &report,
                          std::vector<FinalWindow> *finals = nullptr);

// Mean and sample standard deviation of the profile, on both sinks; also
// stored in `mean` and `std_dev` when given (NaN for a single position).
void append_profile_statistics(const std::vector<int> &diff, std::string &console, std::string &report,
                               double *mean_out = nullptr, double *std_dev_out = nullptr);

// Report table: position, the four residues, C(k)12 and the two marks.
void append_position_table(const Quartet &quartet, const std::vector<int> &diff, const PositionMarks &marks,
                           std::string &report);

}  // namespace kelto
