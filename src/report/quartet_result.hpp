// What the analysis of one quartet found, as data: the source of the JSON
// Lines and TSV records (the report is text written beside it).
#pragma once

#include <cstdint>
#include <vector>

#include "common/status.hpp"
#include "windows/window_list.hpp"

namespace kelto {

struct FinalWindow {
    WindowRecord record;
    bool eliminated = false;  // average too close to zero: listed, not marked
};

struct QuartetResult {
    long long index = 0;  // 0-based quartet number of the whole run
    int pair_a = 0;
    int pair_b = 0;
    bool identical = false;
    double mean = 0.0;
    double std_dev = 0.0;  // NaN where undefined (a single position)
    int significant_max = 0;
    int significant_min = 0;
    std::vector<FinalWindow> final_max;  // alive maximum windows, list order
    std::vector<FinalWindow> final_min;
    StopReason stop = StopReason::kNone;  // a limit that stopped the run inside this quartet
};

}  // namespace kelto
