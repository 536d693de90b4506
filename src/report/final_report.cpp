// Final windows, profile statistics and position table.
#include "report/final_report.hpp"

#include <cmath>
#include <limits>

#include "common/text.hpp"

namespace kelto {

namespace {

void mark(std::vector<double> &marks, const WindowRecord &r, double value)
{
    for (int k = r.Start - 1; k < r.End; ++k)
        marks[static_cast<std::size_t>(k)] = value;
}

// Lists the alive windows; `weak(average)` says which are eliminated.
template <class Weak>
void append_final_windows(const WindowList &list, std::vector<double> &marks, double mark_value, Weak weak,
                          std::string &console, std::string &report, std::vector<FinalWindow> *finals)
{
    for (const WindowRecord &r : list.records) {
        if (r.Alive != 1)
            continue;
        append_console_listing_line(console, r);
        append_report_listing_line(report, r);
        const bool eliminated = weak(r.Average);
        if (finals != nullptr)
            finals->push_back(FinalWindow{r, eliminated, -1, {}, {}});
        if (eliminated) {
            appendf(report, " --> ELIMINATED!");
            appendf(console, " --> ELIMINATED!");
        } else {
            mark(marks, r, mark_value);
        }
    }
    appendf(report, "\n\n===============================");
    appendf(report, "=========================================\n\n");
}

}  // namespace

void append_final_maximum(const WindowList &list, PositionMarks &marks, std::string &console, std::string &report,
                          std::vector<FinalWindow> *finals)
{
    appendf(console, "\nFINAL MAXIMUM WINDOWS: \n");
    appendf(report, "FINAL MAXIMUM WINDOWS: \n");
    append_final_windows(
        list, marks.positive, 1.0, [](double average) { return average < kMaximumAverageThreshold; }, console,
        report, finals);
}

void append_final_minimum(const WindowList &list, PositionMarks &marks, std::string &console, std::string &report,
                          std::vector<FinalWindow> *finals)
{
    append_final_windows(
        list, marks.negative, -1.0, [](double average) { return average > kMinimumAverageThreshold; }, console,
        report, finals);
}

void append_profile_statistics(const std::vector<int> &diff, std::string &console, std::string &report,
                               double *mean_out, double *std_dev_out)
{
    const int n = static_cast<int>(diff.size());
    long long sum = 0;
    for (int value : diff)
        sum += value;
    const double mean = static_cast<double>(sum) / static_cast<double>(n);
    double squares = 0.0;
    for (int value : diff) {
        const double d = static_cast<double>(value) - mean;
        squares += d * d;
    }
    // A single position has no sample deviation; it is shown as "nan".
    const double std_dev =
        n > 1 ? std::sqrt(squares / static_cast<double>(n - 1)) : std::numeric_limits<double>::quiet_NaN();

    if (mean_out != nullptr)
        *mean_out = mean;
    if (std_dev_out != nullptr)
        *std_dev_out = std_dev;
    appendf(report, "Average value of C(k)12 = %7.4f \t|\tSTD= %7.4f", mean, std_dev);
    appendf(report, "\n\n===============================");
    appendf(report, "=========================================\n\n");
    appendf(console, "\n===============================");
    appendf(console, "=========================================\n");
    appendf(console, "\nAverage value of C(k)12 = %7.4f | STD= %7.4f", mean, std_dev);
    appendf(console, "\n===============================");
    appendf(console, "=========================================\n\n\n");
}

void append_position_table(const Quartet &quartet, const std::vector<int> &diff, const PositionMarks &marks,
                           std::string &report)
{
    appendf(report, " Pos \t Amino acid \t Value\t    Neg       Pos \n");
    appendf(report, "----------------------------------------------------- \n");
    for (std::size_t k = 0; k < diff.size(); ++k)
        appendf(report, "%4d  \t  %c%c%c%c   \t%6d\t   %4.0f\t %4.0f \n", static_cast<int>(k) + 1,
                quartet.records[0]->residues[k], quartet.records[1]->residues[k], quartet.records[2]->residues[k],
                quartet.records[3]->residues[k], diff[k], marks.negative[k], marks.positive[k]);
}

}  // namespace kelto
