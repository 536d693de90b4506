// End-to-end runs of the built program: arguments, files, the matrix menu,
// the quartet display and identical quartets.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace kelto::testing;

const std::string kEquals72(72, '=');

std::string repeat(const std::string &text, int times)
{
    return times > 0 ? text + repeat(text, times - 1) : "";
}
const std::string kDashes = "\n" + std::string(60, '-');

std::string quartet_heading(const std::vector<std::pair<std::string, std::string>> &records)
{
    std::string text = "\n" + kEquals72 + "\n\nGENE QUARTET: \n";
    for (const auto &[name, residues] : records)
        text += "\n>" + name + "\n" + residues + "\n";
    return text + "\n" + kEquals72 + "\n\n";
}

// Runs the executable with the menu answers written into a pipe by the shell.
RunResult run_piped(const std::vector<std::string> &args, const std::string &menu)
{
    TempDir io;
    std::string command = "printf '" + menu + "' | '" KELTO_EXE "'";
    for (const std::string &arg : args)
        command += " '" + arg + "'";
    RunResult result;
    const int status = std::system((command + " > '" + io.path("stdout") + "'").c_str());
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.console = read_file(io.path("stdout"));
    result.report = read_file(args[1]);
    return result;
}

TEST(CliTest, TooFewArgumentsShowTheSyntax) {
    for (const std::vector<std::string> &args : {std::vector<std::string>{}, {"a.txt", "b.txt"}}) {
        const auto r = run_executable(args, "2\n");
        EXPECT_EQ(r.console, kBanner + "\nSyntax:\n\n KELTO  IN_FILE.TXT  OUT_FILE.TXT  T\n");
        EXPECT_EQ(r.errors, "kelto --help lists the options\n");
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.report_exists);
    }
}

TEST(CliTest, UnreadableInputOrSameFileIsRefusedWithBothNamesAndTheCause) {
    TempDir dir;
    const std::string in = dir.path("in.txt"), out = dir.path("out.txt"), link = dir.path("link.txt");
    const std::string original = pair_file({"AR", "AR", "AR", "AR"});
    write_file(in, original);
    ASSERT_EQ(symlink(in.c_str(), link.c_str()), 0);
    const std::string nodir = dir.path("nodir/r.txt");
    const struct {
        std::string from, to, cause;  // the cause on standard error
    } cases[] = {
        {dir.path("missing.txt"), out, "cannot open " + dir.path("missing.txt") + ": No such file or directory"},
        {in, in, "the report " + in + " is the input file"},
        {in, link, "the report " + link + " is the input file"},
        {link, in, "the report " + in + " is the input file"},
        {in, nodir, "cannot create " + nodir + ": No such file or directory"},
        {in, dir.dir, "cannot create " + dir.dir + ": Is a directory"},
    };
    for (const auto &[from, to, cause] : cases) {
        SCOPED_TRACE(from + " " + to);
        const auto r = run_executable({from, to, "5"}, "2\n");
        EXPECT_EQ(r.console, kBanner + "\n " + from + "  --> " + to + "\n Problems with the files!.\n");
        EXPECT_EQ(r.errors, "kelto: " + cause + "\n");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(read_file(in), original);
    }
    EXPECT_NE(access(out.c_str(), F_OK), 0);
}

// Four identical records WARND after a gap column and a longer record are cut.
const std::string kIdentical = "# 2\n>s0\nWA-RND\n>s1\nWA-RND\n>s2\nWAQRNDY\n>s3\nWAQRND\n";

std::string identical_display(const std::string &scores)
{
    const std::string residues = "   W   A   R   N   D\n";
    return "   1   2   3   4   5\n" + std::string(20, '-') + "\n" + scores + repeat(residues, 2) + std::string(20, '.') +
           "\n" + repeat(residues, 2) + scores + std::string(20, '-') + "\n   0   0   0   0   0\n\n";
}

TEST(CliTest, IdenticalQuartetRunsToTheEnd) {
    TempDir dir;
    const auto r = run_on(dir, kIdentical, "3");
    const std::string display = identical_display("  11   4   5   6   6\n");
    EXPECT_EQ(r.console, console_start(3) + "\n Pairs of Sequences = 2\n>s0\nWA-RND\n>s1\nWA-RND\n>s2\nWAQRNDY"
                             "\n>s3\nWAQRND" + kDashes + "\n\n N[ 0] = 6 \n N[ 1] = 6 \n N[ 2] = 7 \n N[ 3] = 6 "
                             "\n\n Gaps= 1\n\n---->  N_minimum (Without gaps) = 5 \n" + kDashes + "\n\n" +
                             display + "\n\n IDENTICAL SEQUENCES! \n");
    EXPECT_EQ(r.report, kReportHead + "\nT = 3 \n" +
                            quartet_heading({{"s0", "WARND"}, {"s1", "WARND"}, {"s2", "WARND"}, {"s3", "WARND"}}) +
                            display + "\n\n\n\t IDENTICAL SEQUENCES! \n\n");
    EXPECT_EQ(r.status, 0);
}

TEST(CliTest, MenuRepeatsUntilAnOptionAndUsesOnlyTheFirstCharacter) {
    const struct {
        const char *input;
        int menus;
        const char *scores;  // the pair scores of WARND under the chosen matrix; null when no option came
    } cases[] = {
        {"9\n3\n", 2, "  11   5   6   7   7\n"}, {"32\n", 1, "  11   5   6   7   7\n"},
        {"6", 1, "  17   2   6   2   4\n"},      {"x7 junk\n\n2\n", 3, "  11   4   5   6   6\n"},
        {"", 1, nullptr},                          {"9\n", 2, nullptr},
    };
    for (bool piped : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.input);
            TempDir dir;
            write_file(dir.path("in.txt"), kIdentical);
            const std::vector<std::string> args{dir.path("in.txt"), dir.path("out.txt"), "1"};
            const auto r = piped ? run_piped(args, c.input) : run_executable(args, c.input);
            if (c.scores == nullptr) {
                EXPECT_EQ(r.console, kBanner + repeat(kMenu, c.menus) +
                                         "\n No matrix option: the input ended before an answer 1 to 6.\n");
            } else {
                EXPECT_TRUE(r.console.starts_with(console_start(1, c.menus)));
                EXPECT_NE(r.console.find(identical_display(c.scores)), std::string::npos);
            }
            EXPECT_EQ(r.report.empty(), !c.scores);
            EXPECT_EQ(r.status, c.scores ? 0 : 2);
        }
    }
}

TEST(CliTest, DisplaysTheQuartetOnConsoleAndThenInTheReport) {
    TempDir dir;
    const auto r = run_on(dir, "# 2\n>s0\nARN\n>s1\nARD\n>s2\nARN\n>s3\nAKN\n", "5");
    const std::string display = "   1   2   3\n------------\n   4   5   1\n   A   R   N\n   A   R   D\n............\n"
                                "   A   R   N\n   A   K   N\n   4   2   6\n------------\n   0   3  -5\n\n";
    const std::string console = console_start(5) + "\n Pairs of Sequences = 2\n>s0\nARN\n>s1\nARD\n>s2\nARN\n>s3\nAKN" +
                                kDashes + "\n\n N[ 0] = 3 \n N[ 1] = 3 \n N[ 2] = 3 \n N[ 3] = 3 " +
                                "\n\n---->  N_minimum (Without gaps) = 3 \n" + kDashes + "\n\n" + display;
    const std::string report = kReportHead + "\nT = 5 \n" +
                               quartet_heading({{"s0", "ARN"}, {"s1", "ARD"}, {"s2", "ARN"}, {"s3", "AKN"}}) + display;
    EXPECT_EQ(r.console.substr(0, console.size()), console);
    EXPECT_EQ(r.report.substr(0, report.size()), report);
    EXPECT_EQ(r.console.find("IDENTICAL"), std::string::npos);
    EXPECT_NE(r.report.find("SIGNIFICANT WINDOWS", report.size()), std::string::npos);
    EXPECT_EQ(r.status, 0);
}

TEST(CliTest, ThreePairsGiveThreeQuartetsInPairOrder) {
    // Pairs AR/AR, IQ/IQ, LE/LE score alike under BLOSUM62, so every quartet is identical.
    TempDir dir;
    const auto r = run_on(dir, pair_file({"AR", "AR", "IQ", "IQ", "LE", "LE"}), "2");
    const std::string pair[] = {"AR", "IQ", "LE"};
    auto record = [&](int i) { return std::pair{std::string{'s', char('0' + i)}, pair[i / 2]}; };
    const std::string row[] = {"   A   R\n", "   I   Q\n", "   L   E\n"};
    std::string report = kReportHead + "\nT = 2 \n";
    for (const auto &[a, b] : {std::pair{0, 1}, std::pair{0, 2}, std::pair{1, 2}})
        report += quartet_heading({record(2 * a), record(2 * a + 1), record(2 * b), record(2 * b + 1)}) +
                  "   1   2\n--------\n   4   5\n" + row[a] + row[a] + "........\n" + row[b] + row[b] +
                  "   4   5\n--------\n   0   0\n\n\n\n\n\t IDENTICAL SEQUENCES! \n\n";
    EXPECT_EQ(r.report, report);
    EXPECT_EQ(r.status, 0);
}

}  // namespace
