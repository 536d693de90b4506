// End-to-end checks of the built program at the edges of its limits.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace kelto::testing;

// `length` residues with a line feed after every hundred; line feeds do not count.
std::string long_record(int length)
{
    std::string text;
    for (int i = 0; i < length; ++i)
        text += (i % 100 == 99 ? "A\n" : "A");
    return text;
}

TEST(Limits, PairCountAcceptedUpTo1000) {
    // Single gap residues: N_minimum is 0 and every quartet is identical, so 499500 quartets finish fast.
    TempDir dir;
    write_file(dir.path("in.txt"), pair_file(std::vector<std::string>(2000, "-")));
    const RunResult r = run_executable({dir.path("in.txt"), "/dev/null", "1"}, "2\n");
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.console.find("\n Pairs of Sequences = 1000\n>s0\n-\n>s1\n"));
    EXPECT_NE(std::string::npos, r.console.find("\n N[1999] = 1 \n\n Gaps= 1\n\n---->  N_minimum (Without gaps) = 0 \n"));
    std::size_t quartets = 0;
    for (std::size_t at = 0; (at = r.console.find("IDENTICAL SEQUENCES!", at)) != std::string::npos; ++at)
        ++quartets;
    EXPECT_EQ(499500u, quartets);
}

// 1000 pairs of short records, a tenth of them different: bounded memory
// (not measured under sanitizers, which exclude the test by this name).
TEST(Parallel, ThousandPairsStayWithinMemoryBound) {
    TempDir dir;
    std::vector<std::string> records;
    for (int pair = 0; pair < 1000; ++pair)
        records.insert(records.end(), {"ARNDC", pair % 10 == 0 ? "ARNDV" : "ARNDC"});
    write_file(dir.path("in.txt"), pair_file(records));
    const RunResult r = run_executable({dir.path("in.txt"), "/dev/null", "3"}, "2\n", false);
    EXPECT_EQ(r.status, 0);
    EXPECT_GT(r.peak_rss_kib, 0);
    EXPECT_LT(r.peak_rss_kib, 64 * 1024);
    std::printf("peak resident memory: %ld KiB\n", r.peak_rss_kib);
}

TEST(Limits, RecordsOfUpTo1099ResiduesAndHeadersOfUpTo79Characters) {
    TempDir dir;
    RunResult r = run_on(dir, pair_file({"AAAA", "AAAA", "AAAA", long_record(1099) + "9 \t"}), "1");
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.console.find("\n N[ 3] = 1099 \n\n---->  N_minimum (Without gaps) = 4 \n"));
    // Past 79 characters the rest of the header line is skipped.
    const std::string h78(78, 'H'), h79(79, 'H');
    r = run_on(dir, "# 2\n>" + h78 + "\nACDEF\n>" + h79 + "\nACDEF\n>" + h79 + "W>\nACDEF\n>d\nACDEF\n", "1");
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.console.find("\n N[ 1] = 5 \n N[ 2] = 5 \n"));
    EXPECT_NE(std::string::npos, r.report.find("\n>" + h78 + "\nACDEF\n\n>" + h79 + "ACDEF\n\n>" + h79 + "ACDEF\n\n>d\nACDEF\n"));
}

TEST(Limits, RefusalsAtTheEdgesLeaveOnlyTheReportHeading) {
    const std::string range = "\n The number of pairs on the first line is out of range.\n";
    const std::string empty1 = "# 2\n>a\nAC\n>b\n9\n>c\nAC\n>d\nAC\n";  // record 1 empty: stops after reading
    const std::string stop = "\n Pairs of Sequences = 2\n>a\nAC\n>b\n\n>c\nAC\n>d\nAC\n" + std::string(60, '-') +
                             "\n\n N[ 0] = 2 \n N[ 1] = 0 \n ERROR IN THE SEQUENCE 1.\n";
    const struct { std::string file, t; int shown_t; std::string message; } cases[] = {
        {empty1, "1", 1, stop},
        {empty1, "2147483647", 2147483647, stop},
        {empty1, " +7abc", 7, stop},
        {"# 1001\n>a\nAR\n", "1", 1, "\n Pairs of Sequences = 1001\n\n \xbf" "1001?, Too many sequences. \n"},
        {"# 2147483647\n", "1", 1, "\n Pairs of Sequences = 2147483647\n\n \xbf" "2147483647?, Too many sequences. \n"},
        {"# 2147483648\n", "1", 1, range},
        {"# 99999999999\n", "1", 1, range},
        {"# -99999999999\n", "1", 1, range},
        {"# -2147483648\n", "1", 1, "\n Pairs of Sequences = -2147483648\n\n Minimum 2 Pairs of Sequences. \n"},
        {"# 2\n>a\n" + long_record(1100) + "\n>b\nA\n", "1", 1,
         "\n Pairs of Sequences = 2\n>a\n" + std::string(1099, 'A') + "\n Sequence 0 has more than 1099 residues.\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file.substr(0, 20) + " T=" + c.t);
        TempDir dir;
        const RunResult r = run_on(dir, c.file, c.t);
        EXPECT_EQ(console_start(c.shown_t) + c.message, r.console);
        EXPECT_EQ(kReportHead + "\nT = " + std::to_string(c.shown_t) + " \n", r.report);
        EXPECT_EQ(2, r.status);
    }
}

TEST(Limits, RandomisationCountAbove0AndUpTo2147483647) {
    for (const std::string t : {"0", "-5", "abc", "-99999999999", "2147483648"}) {
        TempDir dir;
        const RunResult r = run_on(dir, pair_file({"AC", "AC", "AC", "AC"}), t);
        EXPECT_EQ(kBanner + (t == "2147483648" ? "\n T is too large: at most 2147483647 randomisations.\n"
                                               : "\n T > 0 !!.\n"), r.console) << t;
        EXPECT_EQ(2, r.status);
        EXPECT_TRUE(r.report_exists);
        EXPECT_EQ("", r.report);
    }
}

}  // namespace
