// End-to-end runs of the built program: arguments, files, T, the matrix menu,
// reading errors, gap removal, the quartet display and identical quartets.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "test_support.hpp"

namespace {

using kelto::testing::read_file;
using kelto::testing::run_executable;
using kelto::testing::TempDir;
using kelto::testing::write_file;

const std::string kRule(60, '=');
const std::string kEquals72 = std::string(31, '=') + std::string(41, '=');
const std::string kDashes = "\n" + std::string(60, '-');
const std::string kBox = "=            K  E  L  T  O   :  Version  1.0               =\n" + kRule + "\n" +
                         "=   Gene quartets: windows of extreme C(k)12 differences   =\n"
                         "=   Permutation test over substitution-matrix profiles     =\n";
const std::string kBanner = "\n" + kRule + "\n" + kBox + kRule + "\n\n";
const std::string kReportHead = kRule + "\n" + kBox + kRule + "\n";
const std::string kMenu = "Select matrix: \n\n   1- BLOSUM45\n   2- BLOSUM62\n   3- BLOSUM90\n   4- PAM30\n"
                          "   5- PAM70\n   6- PAM250\n\n\t\tOption= ";
const std::string kSyntax = "\nSyntax:\n\n KELTO  IN_FILE.TXT  OUT_FILE.TXT  T\n";

std::string repeat(const std::string &text, int times)
{
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

// Console text from the banner up to the separator printed before reading.
std::string console_start(int t, int menus = 1)
{
    return kBanner + repeat(kMenu, menus) + kRule + "\n\n\nT = " + std::to_string(t) + " \n" + kDashes;
}

std::string quartet_heading(const std::vector<std::pair<std::string, std::string>> &records)
{
    std::string text = "\n" + kEquals72 + "\n\nGENE QUARTET: \n";
    for (const auto &[name, residues] : records)
        text += "\n>" + name + "\n" + residues + "\n";
    return text + "\n" + kEquals72 + "\n\n";
}

// Runs with a pair file written from `bytes`; returns the result.
struct Fixture {
    TempDir dir;
    std::string in = dir.path("in.txt");
    std::string out = dir.path("out.txt");
    kelto::testing::RunResult run(const std::string &bytes, const std::string &t, const std::string &menu)
    {
        write_file(in, bytes);
        return run_executable({in, out, t}, menu);
    }
};

// Runs the executable with the menu answers written into a pipe by the shell.
kelto::testing::RunResult run_piped(const std::vector<std::string> &args, const std::string &menu)
{
    std::string command = "printf '" + menu + "' | '" KELTO_EXE "'";
    for (const std::string &arg : args)
        command += " '" + arg + "'";
    FILE *pipe = popen(command.c_str(), "r");
    kelto::testing::RunResult result;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        result.console.append(buffer, n);
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.report = read_file(args[1]);
    return result;
}

TEST(CliTest, BannerLinesAreBoxedIn60Columns) {
    for (std::size_t at = 1, end; (end = kBanner.find('\n', at)) != std::string::npos && end > at; at = end + 1)
        EXPECT_EQ(end - at, 60u) << kBanner.substr(at, end - at);
}

TEST(CliTest, TooFewArgumentsShowTheSyntax) {
    for (const std::vector<std::string> &args : {std::vector<std::string>{}, {"a.txt", "b.txt"}}) {
        const auto r = run_executable(args, "2\n");
        EXPECT_EQ(r.console, kBanner + kSyntax);
        EXPECT_EQ(r.status, 2);
        EXPECT_FALSE(r.report_exists);
    }
}

TEST(CliTest, UnreadableInputOrSameFileIsRefusedWithBothNames) {
    Fixture f;
    const std::string original = kelto::testing::pair_file({"AR", "AR", "AR", "AR"});
    write_file(f.in, original);
    const std::string link = f.dir.path("link.txt");
    ASSERT_EQ(symlink(f.in.c_str(), link.c_str()), 0);
    const std::string missing = f.dir.path("missing.txt");
    for (const auto &[in, out] : {std::pair{missing, f.out}, std::pair{f.in, f.in}, std::pair{f.in, link},
                                  std::pair{link, f.in}}) {
        SCOPED_TRACE(in + " " + out);
        const auto r = run_executable({in, out, "5"}, "2\n");
        EXPECT_EQ(r.console, kBanner + "\n " + in + "  --> " + out + "\n Problems with the files!.\n");
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(read_file(f.in), original);
    }
    EXPECT_FALSE(kelto::testing::file_exists(f.out));
}

TEST(CliTest, RandomisationCountIsChecked) {
    const std::pair<const char *, std::string> refused[] = {
        {"0", "\n T > 0 !!.\n"},
        {"-5", "\n T > 0 !!.\n"},
        {"abc", "\n T > 0 !!.\n"},
        {"-99999999999", "\n T > 0 !!.\n"},
        {"2147483648", "\n T is too large: at most 2147483647 randomisations.\n"},
    };
    for (const auto &[t, message] : refused) {
        Fixture f;
        const auto r = f.run(kelto::testing::pair_file({"AR", "AR", "AR", "AR"}), t, "2\n");
        EXPECT_EQ(r.console, kBanner + message) << t;
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.report_exists);
        EXPECT_EQ(r.report, "");
    }
    Fixture f;
    const auto r = f.run(kelto::testing::pair_file({"AR", "AR", "AR", "AR"}), " +7abc", "2\n");
    const std::string head = kReportHead + "\nT = 7 \n";
    EXPECT_EQ(r.report.substr(0, head.size()), head);
    EXPECT_EQ(r.status, 0);
}

// Four identical records WARND after a gap column and a longer record are cut.
const std::string kIdentical = "# 2\n>s0\nWA-RND\n>s1\nWA-RND\n>s2\nWAQRNDY\n>s3\nWAQRND\n";

std::string identical_display(const std::string &scores)
{
    const std::string residues = "   W   A   R   N   D\n";
    return "   1   2   3   4   5\n" + std::string(20, '-') + "\n" + scores + residues + residues +
           std::string(20, '.') + "\n" + residues + residues + scores + std::string(20, '-') +
           "\n   0   0   0   0   0\n\n";
}

TEST(CliTest, IdenticalQuartetRunsToTheEndWithLineFeedOrCarriageReturnLines) {
    std::string crlf;
    for (char c : kIdentical)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string display = identical_display("  11   4   5   6   6\n");
    for (const std::string &file : {kIdentical, crlf}) {
        Fixture f;
        const auto r = f.run(file, "3", "2\n");
        EXPECT_EQ(r.console, console_start(3) + "\n Pairs of Sequences = 2\n>s0\nWA-RND\n>s1\nWA-RND\n>s2\nWAQRNDY"
                                 "\n>s3\nWAQRND" + kDashes + "\n\n N[ 0] = 6 \n N[ 1] = 6 \n N[ 2] = 7 \n N[ 3] = 6 "
                                 "\n\n Gaps= 1\n\n---->  N_minimum (Without gaps) = 5 \n" + kDashes + "\n\n" +
                                 display + "\n\n IDENTICAL SEQUENCES! \n");
        EXPECT_EQ(r.report, kReportHead + "\nT = 3 \n" +
                                quartet_heading({{"s0", "WARND"}, {"s1", "WARND"}, {"s2", "WARND"}, {"s3", "WARND"}}) +
                                display + "\n\n\n\t IDENTICAL SEQUENCES! \n\n");
        EXPECT_EQ(r.status, 0);
    }
}

TEST(CliTest, MenuRepeatsUntilAnOptionAndUsesOnlyTheFirstCharacter) {
    const struct {
        const char *input;
        int menus;
        const char *scores;  // the pair scores of WARND under the chosen matrix
    } cases[] = {
        {"9\n3\n", 2, "  11   5   6   7   7\n"},
        {"32\n", 1, "  11   5   6   7   7\n"},
        {"6", 1, "  17   2   6   2   4\n"},
        {"x7 junk\n\n2\n", 3, "  11   4   5   6   6\n"},
    };
    for (bool piped : {false, true}) {
        const auto runner = [piped](const std::vector<std::string> &args, const std::string &menu) {
            return piped ? run_piped(args, menu) : run_executable(args, menu);
        };
        for (const auto &c : cases) {
            SCOPED_TRACE(c.input);
            Fixture f;
            write_file(f.in, kIdentical);
            const auto r = runner({f.in, f.out, "1"}, c.input);
            EXPECT_EQ(r.console.substr(0, console_start(1, c.menus).size()), console_start(1, c.menus));
            EXPECT_NE(r.console.find(identical_display(c.scores)), std::string::npos);
            EXPECT_EQ(r.status, 0);
        }
        for (const auto &[input, menus] : {std::pair{"", 1}, std::pair{"9\n", 2}, std::pair{"\n\n", 3}}) {
            Fixture f;
            write_file(f.in, kIdentical);
            const auto r = runner({f.in, f.out, "1"}, input);
            EXPECT_EQ(r.console, kBanner + repeat(kMenu, menus) +
                                     "\n No matrix option: the input ended before an answer 1 to 6.\n");
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.report, "");
        }
    }
}

TEST(CliTest, DisplaysTheQuartetOnConsoleAndThenInTheReport) {
    Fixture f;
    const auto r = f.run("# 2\n>s0\nARN\n>s1\nARD\n>s2\nARN\n>s3\nAKN\n", "5", "2\n");
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
    Fixture f;
    const auto r = f.run(kelto::testing::pair_file({"AR", "AR", "IQ", "IQ", "LE", "LE"}), "2", "2\n");
    const std::pair<std::string, std::string> s[] = {{"s0", "AR"}, {"s1", "AR"}, {"s2", "IQ"},
                                                     {"s3", "IQ"}, {"s4", "LE"}, {"s5", "LE"}};
    auto rows = [&](int p) {
        return repeat(std::string("   ") + s[2 * p].second[0] + "   " + s[2 * p].second[1] + "\n", 2);
    };
    auto quartet = [&](int a, int b) {
        return quartet_heading({s[2 * a], s[2 * a + 1], s[2 * b], s[2 * b + 1]}) + "   1   2\n--------\n   4   5\n" +
               rows(a) + "........\n" + rows(b) + "   4   5\n--------\n   0   0\n\n\n\n\n\t IDENTICAL SEQUENCES! \n\n";
    };
    EXPECT_EQ(r.report, kReportHead + "\nT = 2 \n" + quartet(0, 1) + quartet(0, 2) + quartet(1, 2));
    EXPECT_EQ(r.status, 0);
}

TEST(CliTest, ReaderErrorsStopAfterTheReportHeading) {
    const std::pair<std::string, std::string> cases[] = {
        {"# 1\n>a\nAR\n>b\nAR\n", "\n Pairs of Sequences = 1\n\n Minimum 2 Pairs of Sequences. \n"},
        {"# 1001\n>a\nAR\n", "\n Pairs of Sequences = 1001\n\n \xbf" "1001?, Too many sequences. \n"},
        {"pairs: 2\n>a\nAR\n", "\n The first line must be \"# P\", with P the number of pairs.\n"},
        {"# 2\nAR\n", "\n Pairs of Sequences = 2\nA\n\n Not in FASTA format. \n"},
        {"# 2\n>a\nAR\n", "\n Pairs of Sequences = 2\n>a\nAR\n\n\n Error: 3 sequences are absent. \n"},
        {"# 2\n>a\nAR\n>b\nW\n", "\n Pairs of Sequences = 2\n>a\nAR\n>b\nW\n\n\n Error : 2 sequences are absent. \n"},
        {"# 2\n>a\nA\n>b\nW\n>c\nN",
         "\n Pairs of Sequences = 2\n>a\nA\n>b\nW\n>c\nN\n\n\n Error: 1 sequence is absent. \n"},
        {"# 4\n>a\nA\n>b\nW\n>c\nN\n>d\nD\n>e\nE\n",
         "\n Pairs of Sequences = 4\n>a\nA\n>b\nW\n>c\nN\n>d\nD\n>e\nE\n\n\n Error!, absent sequences. \n"},
        {"# 2\n>a\nA\n>b\nxb\n>c\nN\n>d\nD\n", "\n Pairs of Sequences = 2\n>a\nA\n>b\n\n>c\nN\n>d\nD" + kDashes +
                                                   "\n\n N[ 0] = 1 \n N[ 1] = 0 \n ERROR IN THE SEQUENCE 1.\n"},
        {"# 2\n>a\n" + std::string(1100, 'w') + "\n>b\nA\n",
         "\n Pairs of Sequences = 2\n>a\n" + std::string(1099, 'w') + "\n Sequence 0 has more than 1099 residues.\n"},
    };
    for (const auto &[file, message] : cases) {
        SCOPED_TRACE(file.substr(0, 40));
        Fixture f;
        const auto r = f.run(file, "1", "2\n");
        EXPECT_EQ(r.console, console_start(1) + message);
        EXPECT_EQ(r.report, kReportHead + "\nT = 1 \n");
        EXPECT_EQ(r.status, 2);
    }
}

}  // namespace
