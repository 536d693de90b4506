// What the analysis of one quartet found, as data: the source of the JSON
// Lines and TSV records (the report is text written beside it).
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/status.hpp"
#include "windows/scan_statistic.hpp"
#include "windows/window_list.hpp"

namespace kelto {

struct FinalWindow {
    WindowRecord record;
    bool eliminated = false;  // average too close to zero: listed, not marked
    // Family-wise: the window's own scan score (Z - pen, or -Z - pen for a
    // minimum window) and its p-value over the quartet's arrangements; NaN
    // where there was no test (records of earlier versions: their min-P
    // value, and no score).
    double z = NAN;
    double score = NAN;
    double p_family = NAN;
    // Where the window lies: its first and last column of the input
    // alignment (from 1, before gap-column removal), and for each of the
    // quartet's four records its first and last residue number (letters
    // counted from 1, gaps not counted). All 0 where not known.
    std::array<int, 2> columns{};
    std::array<std::array<int, 2>, 4> residues{};
};

// The quartet's family-wise test: the scan window that attains the
// statistic M, the p-value and how it was reached.
struct FamilyResult {
    bool tested = false;  // false: the fields are null (off, identical, no spread, stopped)
    double p = NAN;       // p_family
    double p_floor = NAN;  // the smallest p-value the run could have given
    long long arrangements = 0;  // L
    long long exceedances = 0;   // arrangements with M_j >= M among them
    bool capped = false;         // J_max reached before the h-th exceedance
    ScanWindow window;           // the scan window (records of earlier versions: side 0)
    std::array<int, 2> columns{};
    std::array<std::array<int, 2>, 4> residues{};
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
    int randomisations = 0;  // T, for the windows' p-values
    FamilyResult family;
};

// A window's per-size p-value, (count + 1) / (T + 1).
inline double window_p_value(const WindowRecord &window, int randomisations)
{
    return (static_cast<double>(window.Count) + 1.0) / (static_cast<double>(randomisations) + 1.0);
}
// The percentage of randomisations at least as extreme, as the data files
// give it: count x 100 is exact, so one division gives the double nearest
// the true value (1.8, where count / T x 100, the report's, gives
// 1.7999999999999998).
inline double data_percent(const WindowRecord &window, int randomisations)
{
    return static_cast<double>(window.Count) * 100.0 / static_cast<double>(randomisations);
}

}  // namespace kelto
