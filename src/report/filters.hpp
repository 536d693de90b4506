// Nested-window filters: of two windows of one list where one contains the
// other, only the one with the more extreme sum stays alive.
#pragma once

#include <string>

#include "windows/window_list.hpp"

namespace kelto {

enum class WindowKind { kMaximum, kMinimum };

// True when neither window contains the other.
inline bool staggered(const WindowRecord &x, const WindowRecord &y)
{
    return (x.Start < y.Start && x.End < y.End) || (y.Start < x.Start && y.End < x.End);
}

// Forward pass: an alive later (larger) window containing, or contained in,
// an alive earlier one is rejected when the earlier sum is at least as
// extreme.
void first_filter(WindowList &list, WindowKind kind);

// Backward pass: an alive earlier window nested with an alive later one is
// rejected when the later sum is strictly more extreme.
void second_filter(WindowList &list, WindowKind kind);

// Both passes over the maximum windows with their console and report texts.
void filter_maximum_windows(WindowList &list, std::string &console, std::string &report);

// Both passes over the minimum windows with their texts, ending with the
// heading of the final minimum windows.
void filter_minimum_windows(WindowList &list, std::string &console, std::string &report);

}  // namespace kelto
