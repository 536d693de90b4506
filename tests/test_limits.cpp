// End-to-end checks of the built program at the edges of its limits, of the
// refusals and of the files it must leave alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using kelto::testing::pair_file;
using kelto::testing::read_file;
using kelto::testing::RunResult;
using kelto::testing::run_executable;
using kelto::testing::TempDir;
using kelto::testing::write_file;

const std::string kRule(60, '=');

RunResult run_on(TempDir &dir, const std::string &pairs, const std::string &t = "1", const std::string &menu = "2\n")
{
    write_file(dir.path("in.txt"), pairs);
    return run_executable({dir.path("in.txt"), dir.path("out.txt"), t}, menu);
}

// The report heading is the console banner without its leading line feed
// and with a single line feed after its last rule.
std::string heading_of(const std::string &console)
{
    const std::string head = console.substr(1, console.find(kRule + "\n\n", 1) + kRule.size());
    EXPECT_EQ(0u, head.find(kRule + "\n=            K  E  L  T  O   :  Version  1.0               =\n" + kRule + "\n"));
    return head;
}

bool ends_with(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Limits, PairCountAcceptedUpTo1000)
{
    TempDir dir;
    // Single gap residues: N_minimum is 0 and every quartet is identical, so 499500 quartets finish fast.
    write_file(dir.path("in.txt"), pair_file(std::vector<std::string>(2000, "-")));
    RunResult r = run_executable({dir.path("in.txt"), "/dev/null", "1"}, "2\n");
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.console.find("\n Pairs of Sequences = 1000\n>s0\n-\n>s1\n"));
    EXPECT_NE(std::string::npos, r.console.find("\n N[1999] = 1 \n\n Gaps= 1\n\n---->  N_minimum (Without gaps) = 0 \n"));
    std::size_t quartets = 0;
    for (std::size_t at = r.console.find("IDENTICAL SEQUENCES!"); at != std::string::npos;
         at = r.console.find("IDENTICAL SEQUENCES!", at + 1))
        ++quartets;
    EXPECT_EQ(499500u, quartets);
}

TEST(Limits, RecordOf1099ResiduesAcceptedAnd1100Refused)
{
    for (int length : {1099, 1100}) {
        std::string longest;
        for (int i = 0; i < length; ++i)
            longest += (i % 100 == 99 ? "A\n" : "A");  // line feeds inside the text do not count
        TempDir dir;
        RunResult r = run_on(dir, pair_file({"AAAA", "AAAA", "AAAA", longest + "X*9 "}));
        if (length == 1099) {
            EXPECT_EQ(0, r.status);
            EXPECT_NE(std::string::npos, r.console.find("\n N[ 3] = 1099 \n\n---->  N_minimum (Without gaps) = 4 \n"));
        } else {
            EXPECT_EQ(2, r.status);
            EXPECT_TRUE(ends_with(r.console, std::string(1099, 'A') + "\n Sequence 3 has more than 1099 residues.\n"));
        }
    }
}

TEST(Limits, HeaderLinesOf78To80Characters)
{
    const std::string h78(78, 'H'), h79(79, 'H');
    TempDir dir;
    RunResult r = run_on(dir, "# 2\n>" + h78 + "\nACDEF\n>" + h79 + "\nACDEF\n>" + h79 + "W\nACDEF\n>d\nACDEF\n");
    EXPECT_EQ(0, r.status);
    EXPECT_NE(std::string::npos, r.console.find("\n N[ 1] = 5 \n N[ 2] = 6 \n"));
    EXPECT_NE(std::string::npos, r.report.find("\n>" + h78 + "\nACDEF\n\n>" + h79 + "ACDEF\n\n>" + h79 + "WACDE\n\n>d\nACDEF\n"));
}

TEST(Limits, RandomisationsFrom1To2147483647)
{
    for (const std::string t : {"1", "2147483647"}) {
        TempDir dir;
        RunResult r = run_on(dir, pair_file({"AC", "X", "AC", "AC"}), t);  // record 1 empty: stops after reading
        EXPECT_EQ(2, r.status);
        EXPECT_TRUE(ends_with(r.console, "\n ERROR IN THE SEQUENCE 1.\n"));
        EXPECT_EQ(heading_of(r.console) + "\nT = " + t + " \n", r.report);
    }
}

TEST(Limits, RefusedInputsLeaveOnlyTheReportHeading)
{
    const std::string ac = ">a\nAC\n>b\nAC\n>c\nAC\n>d\nAC\n";
    const struct {
        std::string pairs, t, menu, tail;
        bool heading;  // the report holds the heading and the T line; otherwise it is empty
    } cases[] = {
        {"# 2\n" + ac, "2147483648", "2\n", "\n T is too large: at most 2147483647 randomisations.\n", false},
        {"# 2\n" + ac, "0", "2\n", "\n T > 0 !!.\n", false},
        {"# 2\n" + ac, "1", "9\n", "\n No matrix option: the input ended before an answer 1 to 6.\n", false},
        {"# 99999999999\n" + ac, "1", "2\n", "\n The number of pairs on the first line is out of range.\n", true},
        {"# 2147483648\n" + ac, "1", "2\n", "\n The number of pairs on the first line is out of range.\n", true},
        {"#two\n" + ac, "1", "2\n", "\n The first line must be \"# P\", with P the number of pairs.\n", true},
        {ac, "1", "2\n", "\n The first line must be \"# P\", with P the number of pairs.\n", true},
        {"# 2147483647\n" + ac, "1", "2\n", " = 2147483647\n\n \xbf" "2147483647?, Too many sequences. \n", true},
        {"# 1001\n" + ac, "1", "2\n", " = 1001\n\n \xbf" "1001?, Too many sequences. \n", true},
        {"# -2147483648\n" + ac, "1", "2\n", " = -2147483648\n\n Minimum 2 Pairs of Sequences. \n", true},
        {"# 2 pairs\n" + ac, "1", "2\n", "\np\n\n Not in FASTA format. \n", true},
        {"# 2\n>a\nAC\n>b\nAC\n>c\nAC\n", "1", "2\n", "\n>c\nAC\n\n\n Error: 1 sequence is absent. \n", true},
        {"# 3\n" + ac + ">e\nAC", "1", "2\n", "\n\n\n Error!, absent sequences. \n", true},
        {"# 2\n>a\nX\n" + ac, "1", "2\n", "\n N[ 0] = 0 \n ERROR IN THE FIRST SEQUENCE.\n", true},
    };
    for (const auto &c : cases) {
        TempDir dir;
        RunResult r = run_on(dir, c.pairs, c.t, c.menu);
        EXPECT_EQ(2, r.status) << c.tail;
        EXPECT_TRUE(ends_with(r.console, c.tail)) << r.console;
        EXPECT_EQ(c.heading ? heading_of(r.console) + "\nT = " + c.t + " \n" : "", r.report) << c.tail;
    }
}

TEST(Limits, InputFileIsNeverModified)
{
    TempDir dir;
    const std::string input = dir.path("in.txt");
    const std::string original = pair_file({"MKVLAAGICW", "MKVLSAGICW", "MKILAAGVCW", "MRVLAAGICF"});
    write_file(input, original);
    ASSERT_EQ(0, symlink(input.c_str(), dir.path("link.txt").c_str()));
    for (const std::string &report : {dir.path("out.txt"), input, dir.path("link.txt")}) {
        RunResult r = run_executable({input, report, "3"}, "2\n");
        if (report == dir.path("out.txt")) {
            EXPECT_EQ(0, r.status);
        } else {
            EXPECT_EQ(2, r.status);
            EXPECT_TRUE(ends_with(r.console, "\n " + input + "  --> " + report + "\n Problems with the files!.\n"));
        }
        EXPECT_EQ(original, read_file(input)) << report;
    }
}

}  // namespace
