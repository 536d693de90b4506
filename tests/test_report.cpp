// Nested-window filters, final windows, statistics and whole-quartet runs.
#include <gtest/gtest.h>

#include <random>

#include "report/filters.hpp"
#include "report/final_report.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

WindowRecord window(int start, int end, int value)
{
    const int win = end - start + 1;
    return WindowRecord{win, end, start, value, 1.0, 1, static_cast<double>(value) / win, 0.5, 0};
}

WindowList list_of(std::initializer_list<WindowRecord> records)
{
    WindowList list;
    list.records = records;
    list.capacity = list.records.size();
    return list;
}

std::vector<int> alive(const WindowList &list)
{
    std::vector<int> flags;
    for (const WindowRecord &r : list.records)
        flags.push_back(r.Alive);
    return flags;
}

TEST(Filters, NestedWindowsKeepTheMoreExtremeSum)
{
    struct Case {
        WindowKind kind;
        WindowList list;
        std::vector<int> after_first, after_second;
    };
    const Case cases[] = {
        // equal sums, shared first position: the larger window goes
        {WindowKind::kMaximum, list_of({window(10, 14, 9), window(10, 20, 9)}), {1, 0}, {1, 0}},
        // the larger window is stronger: both survive the first pass, the second removes the inner one
        {WindowKind::kMaximum, list_of({window(10, 14, 7), window(8, 20, 12)}), {1, 1}, {0, 1}},
        // overlapping or disjoint windows are never compared
        {WindowKind::kMaximum, list_of({window(10, 14, 9), window(12, 16, 1)}), {1, 1}, {1, 1}},
        {WindowKind::kMaximum, list_of({window(10, 14, 9), window(20, 24, 1)}), {1, 1}, {1, 1}},
        // X, Y, Z: Z survives X but falls to Y; X then falls to Y
        {WindowKind::kMaximum, list_of({window(10, 12, 6), window(9, 13, 8), window(8, 14, 7)}), {1, 1, 0}, {0, 1, 0}},
        {WindowKind::kMinimum, list_of({window(5, 7, -9), window(3, 9, -9)}), {1, 0}, {1, 0}},
        {WindowKind::kMinimum, list_of({window(5, 7, -6), window(3, 9, -11)}), {1, 1}, {0, 1}},
    };
    for (const Case &c : cases) {
        WindowList list = c.list;
        first_filter(list, c.kind);
        EXPECT_EQ(alive(list), c.after_first);
        second_filter(list, c.kind);
        EXPECT_EQ(alive(list), c.after_second);
    }
}

TEST(Filters, NoTwoSurvivorsAreNested)
{
    std::mt19937 engine(5);
    for (int round = 0; round < 200; ++round) {
        WindowList list;
        for (int w = 2; w < 12; ++w)
            for (int end = w; end <= 20; ++end)
                if (engine() % 4 == 0)
                    list.records.push_back(window(end - w + 1, end, static_cast<int>(engine() % 21) - 10));
        const WindowKind kind = round % 2 ? WindowKind::kMaximum : WindowKind::kMinimum;
        first_filter(list, kind);
        second_filter(list, kind);
        for (const WindowRecord &x : list.records)
            for (const WindowRecord &y : list.records)
                if (&x != &y && x.Alive && y.Alive) {
                    ASSERT_FALSE(x.Start <= y.Start && y.End <= x.End) << "nested survivors";
                }
    }
}

TEST(FinalWindows, AverageThresholdsDecideWhatIsMarked)
{
    const std::string residues(12, 'A');
    const SequenceRecord record{"s\n", residues, "s", false, false, {}, 1};
    PositionMarks marks{std::vector<double>(12, 0.0), std::vector<double>(12, 0.0)};
    std::string console, report;
    // Average exactly 0.1 stays; 1/11 is eliminated.
    append_final_maximum(list_of({window(1, 10, 1), window(2, 12, 1)}), marks, console, report);
    EXPECT_EQ(console, "\nFINAL MAXIMUM WINDOWS: \n"
                       "\nWin=  10 | Pos=   1- 10 | Value=   1 | 1.0000% | Average= 0.1000 | Err= 0.5000 "
                       "\nWin=  11 | Pos=   2- 12 | Value=   1 | 1.0000% | Average= 0.0909 | Err= 0.5000  --> ELIMINATED!");
    EXPECT_EQ(report, "FINAL MAXIMUM WINDOWS: \n"
                      "\nWin=  10 | Pos=   1- 10 | Value=   1 | 1.0000% | Average= 0.1000 | Err= 0.5000"
                      "\nWin=  11 | Pos=   2- 12 | Value=   1 | 1.0000% | Average= 0.0909 | Err= 0.5000 --> ELIMINATED!"
                      "\n\n========================================================================\n\n");
    console.clear();
    report.clear();
    append_final_minimum(list_of({window(3, 12, -1), window(1, 11, -1)}), marks, console, report);
    EXPECT_NE(console.find("Average= -0.1000 | Err= 0.5000 \n"), std::string::npos);
    EXPECT_NE(console.find("Average= -0.0909 | Err= 0.5000  --> ELIMINATED!"), std::string::npos);

    const Quartet quartet{{&record, &record, &record, &record}};
    report.clear();
    append_position_table(quartet, std::vector<int>(12, 0), marks, report);
    EXPECT_NE(report.find("\n   2  \t  AAAA   \t     0\t      0\t    1 \n"), std::string::npos);
    EXPECT_NE(report.find("\n   3  \t  AAAA   \t     0\t     -1\t    1 \n"), std::string::npos);
    EXPECT_NE(report.find("\n   1  \t  AAAA   \t     0\t      0\t    1 \n"), std::string::npos);
    EXPECT_NE(report.find("\n  11  \t  AAAA   \t     0\t     -1\t    0 \n"), std::string::npos);
    EXPECT_EQ(report.find("\n  13"), std::string::npos);
}

using testing::pair_file;
using testing::run_in_process;
using testing::TempDir;

// Five positions of +5 (C/C against A/A under BLOSUM62) in 30 of zeros.
TEST(QuartetRun, ClearSignalIsFoundFilteredAndMarked)
{
    TempDir dir;
    const std::string pair_a = std::string(10, 'A') + "CCCCC" + std::string(15, 'A');
    const std::string pair_b(30, 'A');
    testing::write_file(dir.path("in.txt"), pair_file({pair_a, pair_a, pair_b, pair_b}));
    const auto result = run_in_process({dir.path("in.txt"), dir.path("out.txt"), "1000"}, "2\n", 77);
    ASSERT_EQ(result.status, 0) << result.console;
    const std::string &report = result.report;

    EXPECT_NE(report.find("SIGNIFICANT WINDOWS :  \n\n\nWin=   4 | Pos=  11- 14 | Value=  20 | "), std::string::npos);
    EXPECT_NE(report.find("\nWin=   5 | Pos=  11- 15 | Value=  25 | "), std::string::npos);
    EXPECT_NE(report.find("\n\n    0 minimum windows\n"), std::string::npos);
    const std::size_t final_max = report.find("SECOND FILTER.\n\nFINAL MAXIMUM WINDOWS: \n\nWin=   5 | Pos=  11- 15 | Value=  25 | ");
    ASSERT_NE(final_max, std::string::npos);
    const std::string tail = report.substr(final_max);
    EXPECT_NE(tail.find("| Average= 5.0000 | Err= 0.0000\n\n====="), std::string::npos);
    EXPECT_NE(tail.find("\n\n\nFINAL MINIMUM WINDOWS: \n\n\n=====") , std::string::npos);
    const std::string rule(72, '=');
    EXPECT_NE(tail.find("Average value of C(k)12 =  0.8333 \t|\tSTD=  1.8952\n\n" + rule + "\n\n"), std::string::npos);
    for (int k = 1; k <= 30; ++k) {
        const bool marked = k >= 11 && k <= 15;
        char row[64];
        std::snprintf(row, sizeof row, "\n%4d  \t  %s   \t%6d\t      0\t    %d \n", k, marked ? "CCAA" : "AAAA",
                      marked ? 5 : 0, marked ? 1 : 0);
        EXPECT_NE(tail.find(row), std::string::npos) << row;
    }
    EXPECT_NE(result.console.find(rule + "\n\nAverage value of C(k)12 =  0.8333 | STD=  1.8952\n" + rule + "\n\n\n"),
              std::string::npos);
}

// 256 positions of -1 (I/V against A/A) before 64 zeros: no size has 256
// tied windows, but over all sizes the minimum list (32 x 320 records) fills.
TEST(QuartetRun, FullWindowListStopsTheRun)
{
    TempDir dir;
    const std::string first = std::string(256, 'I') + std::string(64, 'A');
    const std::string second = std::string(256, 'V') + std::string(64, 'A');
    const std::string plain(320, 'A');
    testing::write_file(dir.path("in.txt"), pair_file({first, second, plain, plain}));
    const auto result = run_in_process({dir.path("in.txt"), dir.path("out.txt"), "40"}, "2\n", 3);
    EXPECT_EQ(result.status, 2);
    const std::string stop = "\nToo many significant minimum Windows.\n\nCall the authors. \t\tTHANK YOU .";
    ASSERT_GE(result.console.size(), stop.size());
    EXPECT_EQ(result.console.substr(result.console.size() - stop.size()), stop);
    const std::size_t last_line = result.report.rfind('\n');
    EXPECT_EQ(result.report.compare(last_line, 6, "\nWin= "), 0);
    EXPECT_NE(result.report.find("Average= -1.0000", last_line), std::string::npos);
    std::size_t minimum_lines = 0;
    for (std::size_t at = 0; (at = result.report.find("Average= -1.0000", at)) != std::string::npos; ++at)
        ++minimum_lines;
    EXPECT_EQ(minimum_lines, 32u * 320u);
    EXPECT_EQ(result.report.find("maximum windows."), std::string::npos);
}

// A full disk is an error, not a silently truncated report.
TEST(QuartetRun, ReportWriteFailureStopsWithStatus2)
{
    TempDir dir;
    testing::write_file(dir.path("in.txt"), pair_file({"ARN", "ARD", "ARN", "AKN"}));
    const auto result = testing::run_executable({dir.path("in.txt"), "/dev/full", "10"}, "2\n");
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.console.find("\n Problems writing the report file /dev/full.\n"), std::string::npos);
}

}  // namespace
}  // namespace kelto
