// Significant extreme windows of one window size, judged against the null
// distributions, and the window counts of a quartet.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "windows/null_distribution.hpp"
#include "windows/window_list.hpp"

namespace kelto {

inline constexpr int kSizeExtremeCapacity = 256;

// The most extreme significant windows of one window size (ties included).
struct SizeExtremeList {
    std::array<WindowRecord, kSizeExtremeCapacity> records;
    int count = 0;
};

// Reusable working storage of the scan, owned by one worker.
struct ScanScratch {
    std::vector<int32_t> lower_cumulative;  // minimum histogram summed upwards over its range
    std::vector<int32_t> upper_cumulative;  // maximum histogram summed downwards over its range
    SizeExtremeList low;
    SizeExtremeList high;
};

// Scans every window of size w of `diff` against the histograms filled for
// w with `randomisations` counts each; appends the most extreme significant
// windows to the lists and their detection lines to `report`. On a "Too
// many" limit writes the two stop lines to `console`, sets `reason` (when
// given) and returns kStopInput.
Status scan_window_size(const std::vector<int> &diff, int w, const NullHistograms &histograms, int randomisations,
                        WindowList &minimum_list, WindowList &maximum_list, ScanScratch &scratch,
                        std::string &console, std::string &report, StopReason *reason = nullptr);

// The block with the number of maximum and minimum windows found.
void append_window_counts(std::string &report, const WindowList &maximum_list, const WindowList &minimum_list);

}  // namespace kelto
