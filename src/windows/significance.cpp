// Significant extreme windows.
#include "windows/significance.hpp"

#include <algorithm>
#include <cmath>

#include "common/text.hpp"

namespace kelto {

namespace {

void append_stop(std::string &console, const char *first_line)
{
    appendf(console, "%s", first_line);
    appendf(console, "\n\nCall the authors. \t\tTHANK YOU .");
}

bool is_significant(int32_t count, int randomisations)
{
    // count / T * 100 < 2.5, in exact integer form
    return 40 * static_cast<int64_t>(count) < static_cast<int64_t>(randomisations);
}

double percentage(int32_t count, int randomisations)
{
    return static_cast<double>(count) / static_cast<double>(randomisations) * 100.0;
}

// Keeps the windows whose value is the most extreme so far: a more extreme
// value restarts the list, an equal one is appended. `more_extreme(a, b)`
// says whether a is more extreme than b. Returns false when the list fills.
template <class MoreExtreme>
bool offer(SizeExtremeList &list, int &best, const WindowRecord &window, MoreExtreme more_extreme)
{
    if (more_extreme(window.Value, best)) {
        list.records[0] = window;
        list.count = 1;
        best = window.Value;
    } else if (window.Value == best) {
        list.records[static_cast<std::size_t>(list.count++)] = window;
        if (list.count == kSizeExtremeCapacity)
            return false;
    }
    return true;
}

// Completes the records of one size (average, standard error), stores them
// in `list` and writes their detection lines. Returns false when the list
// becomes full.
bool emit(const SizeExtremeList &found, const std::vector<int> &diff, WindowList &list, std::string &report)
{
    for (int i = 0; i < found.count; ++i) {
        WindowRecord r = found.records[static_cast<std::size_t>(i)];
        r.Average = static_cast<double>(r.Value) / static_cast<double>(r.Win);
        double squares = 0.0;
        for (int k = r.End - r.Win; k < r.End; ++k) {
            const double d = static_cast<double>(diff[static_cast<std::size_t>(k)]) - r.Average;
            squares += d * d;
        }
        r.Err = std::sqrt(squares) / std::sqrt(static_cast<double>(r.Win - 1)) / std::sqrt(static_cast<double>(r.Win));
        r.Alive = 1;
        list.records.push_back(r);
        append_detection_line(report, r);
        if (list.records.size() == list.capacity)
            return false;
    }
    return true;
}

}  // namespace

Status scan_window_size(const std::vector<int> &diff, int w, const NullHistograms &histograms, int randomisations,
                        WindowList &minimum_list, WindowList &maximum_list, ScanScratch &scratch,
                        std::string &console, std::string &report, StopReason *reason)
{
    auto stop = [&](StopReason why, const char *first_line) {
        append_stop(console, first_line);
        if (reason != nullptr)
            *reason = why;
        return Status::kStopInput;
    };
    // Cumulative counts over the ranges that hold counts; below a range the
    // lower count is 0 and above it T (the other way round for the upper).
    const int low_first = histograms.minimum_first;
    const int low_last = histograms.minimum_last;
    const int high_first = histograms.maximum_first;
    const int high_last = histograms.maximum_last;
    scratch.lower_cumulative.resize(static_cast<std::size_t>(std::max(low_last - low_first + 1, 0)));
    scratch.upper_cumulative.resize(static_cast<std::size_t>(std::max(high_last - high_first + 1, 0)));
    int32_t running = 0;
    for (int i = low_first; i <= low_last; ++i) {
        running += histograms.minimum[static_cast<std::size_t>(i)];
        scratch.lower_cumulative[static_cast<std::size_t>(i - low_first)] = running;
    }
    running = 0;
    for (int i = high_last; i >= high_first; --i) {
        running += histograms.maximum[static_cast<std::size_t>(i)];
        scratch.upper_cumulative[static_cast<std::size_t>(i - high_first)] = running;
    }
    auto lower_count = [&](int idx) -> int32_t {
        if (idx < low_first)
            return 0;
        return idx > low_last ? randomisations : scratch.lower_cumulative[static_cast<std::size_t>(idx - low_first)];
    };
    auto upper_count = [&](int idx) -> int32_t {
        if (idx > high_last)
            return 0;
        return idx < high_first ? randomisations : scratch.upper_cumulative[static_cast<std::size_t>(idx - high_first)];
    };

    SizeExtremeList &low = scratch.low;
    SizeExtremeList &high = scratch.high;
    low.count = 0;
    high.count = 0;
    int best_minimum = histograms.size - 1;
    int best_maximum = 1 - histograms.size;
    bool any_low = false;
    bool any_high = false;

    const int n = static_cast<int>(diff.size());
    int sum = 0;
    for (int k = 0; k < w - 1; ++k)
        sum += diff[static_cast<std::size_t>(k)];
    for (int e = w - 1; e < n; ++e) {
        sum += diff[static_cast<std::size_t>(e)];
        if (e >= w)
            sum -= diff[static_cast<std::size_t>(e - w)];
        const int32_t lower = lower_count(histograms.offset + sum);
        const int32_t upper = upper_count(histograms.offset + sum);
        WindowRecord window{w, e + 1, e - w + 2, sum, 0.0, 0, 0.0, 0.0, 0};
        if (is_significant(lower, randomisations)) {
            any_low = true;
            window.Percent = percentage(lower, randomisations);
            window.Count = lower;
            if (!offer(low, best_minimum, window, [](int a, int b) { return a < b; }))
                return stop(StopReason::kTooManyMinimumPerSize, "\nToo many minimal windows for a particular window size.");
        }
        if (is_significant(upper, randomisations)) {
            any_high = true;
            window.Percent = percentage(upper, randomisations);
            window.Count = upper;
            if (!offer(high, best_maximum, window, [](int a, int b) { return a > b; }))
                return stop(StopReason::kTooManyMaximumPerSize, "\nToo many maximum windows for a particular window size.");
        }
    }

    if (any_low && !emit(low, diff, minimum_list, report))
        return stop(StopReason::kTooManyMinimum, "\nToo many significant minimum Windows.");
    if (any_high && !emit(high, diff, maximum_list, report))
        return stop(StopReason::kTooManyMaximum, "\nToo many significant maximum Windows.");
    if (any_low || any_high) {
        appendf(report, "\n--------------------------------------------");
        appendf(report, "-----------------------------------");
    }
    return Status::kContinue;
}

void append_window_counts(std::string &report, const WindowList &maximum_list, const WindowList &minimum_list)
{
    appendf(report, "\n===============================");
    appendf(report, "=========================================");
    appendf(report, "\n\n %4d maximum windows.", static_cast<int>(maximum_list.records.size()));
    appendf(report, "\n\n %4d minimum windows\n", static_cast<int>(minimum_list.records.size()));
    appendf(report, "\n===============================");
    appendf(report, "=========================================\n\n");
}

}  // namespace kelto
