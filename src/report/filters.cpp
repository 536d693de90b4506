// Nested-window filters and their partial listings.
#include "report/filters.hpp"

#include "common/text.hpp"

namespace kelto {

namespace {

// Whether sum a is at least as extreme as sum b for this kind of window.
bool at_least_as_extreme(int a, int b, WindowKind kind) { return kind == WindowKind::kMaximum ? a >= b : a <= b; }

void append_partial_listing(const WindowList &list, std::string &console, std::string &report)
{
    for (const WindowRecord &r : list.records) {
        if (r.Alive != 1)
            continue;
        append_console_listing_line(console, r);
        append_report_listing_line(report, r);
    }
}

}  // namespace

void first_filter(WindowList &list, WindowKind kind)
{
    const std::size_t n = list.records.size();
    for (std::size_t i = 0; i + 1 < n; ++i) {
        const WindowRecord &earlier = list.records[i];
        if (earlier.Alive != 1)
            continue;
        for (std::size_t j = i + 1; j < n; ++j) {
            WindowRecord &later = list.records[j];
            if (later.Alive == 1 && !staggered(earlier, later) && at_least_as_extreme(earlier.Value, later.Value, kind))
                later.Alive = 0;
        }
    }
}

void second_filter(WindowList &list, WindowKind kind)
{
    for (std::size_t p = list.records.size(); p-- > 1;) {
        const WindowRecord &later = list.records[p];
        if (later.Alive != 1)
            continue;
        for (std::size_t q = p; q-- > 0;) {
            WindowRecord &earlier = list.records[q];
            if (earlier.Alive == 1 && !staggered(later, earlier) && !at_least_as_extreme(earlier.Value, later.Value, kind))
                earlier.Alive = 0;
        }
    }
}

void filter_maximum_windows(WindowList &list, std::string &console, std::string &report)
{
    first_filter(list, WindowKind::kMaximum);
    appendf(console, "\n--------------------------------------------------------------\n");
    appendf(console, "\nFirst Filter:\n");
    appendf(report, "First Filter: \n");
    appendf(console, "\nPartial results: \n");
    appendf(report, "\nPARTIAL RESULTS:\n");
    append_partial_listing(list, console, report);
    appendf(console, "\n--------------------------------------------------------------\n");
    appendf(report, "\n\n===============================");
    appendf(report, "=========================================\n");
    second_filter(list, WindowKind::kMaximum);
    appendf(console, "\nSecond filter.\n");
    appendf(report, "\nSECOND FILTER.\n\n");
}

void filter_minimum_windows(WindowList &list, std::string &console, std::string &report)
{
    first_filter(list, WindowKind::kMinimum);
    appendf(console, "\n--------------------------------------------------------------\n");
    appendf(console, "\nFirst Filter.\n\nPARTIAL RESULTS: \n");
    appendf(report, "First Filter.\n\n");
    appendf(report, "PARTIAL RESULTS: \n");
    append_partial_listing(list, console, report);
    appendf(console, "\n--------------------------------------------------------------\n");
    second_filter(list, WindowKind::kMinimum);
    appendf(console, "\nSecond Filter. \n\nFINAL MINIMUM WINDOWS: \n");
    appendf(report, "\n\n===============================");
    appendf(report, "=========================================\n\n");
    appendf(report, "Second filter.");
    appendf(report, "\n\n\nFINAL MINIMUM WINDOWS: \n");
}

}  // namespace kelto
