// Window records, the per-quartet window lists and the three window line
// formats shared by detection, filters and final listing.
#pragma once

#include <string>
#include <vector>

namespace kelto {

// One window of the profile; positions counted from 1, inclusive.
struct WindowRecord {
    int Win;
    int End;
    int Start;  // End - Win + 1
    int Value;  // sum of the window's C(k)12 values
    double Percent;
    int Alive;  // 1 alive, 0 rejected by a filter
    double Average;
    double Err;
    int Count;  // randomisations at least as extreme (Percent = Count / T * 100)
};

// Significant windows of one quartet in detection order (window size
// ascending, then End ascending), with room for 32 * N_minimum records.
struct WindowList {
    std::vector<WindowRecord> records;
    std::size_t capacity = 0;
};

inline constexpr int kWindowListRecordsPerPosition = 32;

// Prepares an empty list with room for 32 * n_minimum records.
void reset_window_list(WindowList &list, int n_minimum);

void append_detection_line(std::string &out, const WindowRecord &r);
void append_console_listing_line(std::string &out, const WindowRecord &r);
void append_report_listing_line(std::string &out, const WindowRecord &r);

}  // namespace kelto
