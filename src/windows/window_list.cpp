// Window list storage and the window line formats.
#include "windows/window_list.hpp"

#include "common/text.hpp"

namespace kelto {

void reset_window_list(WindowList &list, int n_minimum)
{
    list.capacity = static_cast<std::size_t>(kWindowListRecordsPerPosition) * static_cast<std::size_t>(n_minimum);
    list.records.clear();
    list.records.reserve(list.capacity);
}

void append_detection_line(std::string &out, const WindowRecord &r)
{
    appendf(out, "\nWin= %3d | Pos= %3d-%3d | Value= %3d | %6.4f%% | Average= %7.4f | Err= %6.4f", r.Win, r.Start,
            r.End, r.Value, r.Percent, r.Average, r.Err);
}

void append_console_listing_line(std::string &out, const WindowRecord &r)
{
    appendf(out, "\nWin= %3d | Pos= %3d-%3d | Value= %3d | %6.4f%% | Average= %6.4f | Err= %6.4f ", r.Win, r.Start,
            r.End, r.Value, r.Percent, r.Average, r.Err);
}

void append_report_listing_line(std::string &out, const WindowRecord &r)
{
    appendf(out, "\nWin= %3d | Pos= %3d-%3d | Value= %3d | %6.4f%% | Average= %6.4f | Err= %6.4f", r.Win, r.Start,
            r.End, r.Value, r.Percent, r.Average, r.Err);
}

}  // namespace kelto
