// Unit tests of the pair file reader, gap-column removal and the block display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "input/gaps.hpp"
#include "input/pair_file.hpp"
#include "profile/display.hpp"

namespace {

using kelto::SequenceSet;
using kelto::Status;

const std::string kDashes(60, '-');

struct ReadResult {
    Status status;
    std::string console;
    SequenceSet set;
    int shortest = -1;
};

// Reads `bytes` as a pair file.
ReadResult read_text(const std::string &bytes)
{
    FILE *file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    ReadResult result;
    result.status = kelto::read_pair_file(file, result.console, result.set, result.shortest);
    std::fclose(file);
    return result;
}

std::vector<std::string> residues_of(const SequenceSet &set)
{
    std::vector<std::string> out;
    for (const auto &record : set.records)
        out.push_back(record.residues);
    return out;
}

const std::string kFourRecords = ">a\nAR\n>b\nND\n>c\nCQ\n>d\nEG\n";
const std::string kFourRecordsEcho = "\n Pairs of Sequences = 2\n>a\nAR\n>b\nND\n>c\nCQ\n>d\nEG\n" + kDashes +
                                     "\n\n N[ 0] = 2 \n N[ 1] = 2 \n N[ 2] = 2 \n N[ 3] = 2 ";

TEST(ReaderTest, CountLineAcceptsAnyWhiteSpaceAroundTheNumber) {
    for (const char *count : {"# 2\n", "#2\n", "#    2\n", "# 2\n\n  \n\t", "#\t+2 \r\n", "# 2"}) {
        SCOPED_TRACE(count);
        const ReadResult r = read_text(count + kFourRecords);
        EXPECT_EQ(r.status, Status::kContinue);
        EXPECT_EQ(r.console, kFourRecordsEcho);
        EXPECT_EQ(residues_of(r.set), (std::vector<std::string>{"AR", "ND", "CQ", "EG"}));
        EXPECT_EQ(r.set.records[3].name, "d\n");
        EXPECT_EQ(r.shortest, 2);
    }
}

TEST(ReaderTest, StoresResiduesAndGapsAsReadAndSkipsEverythingElse) {
    const std::string lf = "# 2\n>a b\nar Nd\n>b\nM K X\rV\n>c\nB1Z*2J O\tU-w\xC1\x7Fq\n>d\nAC\nDE\n\n FG\n>e\nWWW\n";
    std::string crlf;  // the same file with carriage-return line ends
    for (char c : lf)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string &text : {lf, crlf}) {
        const ReadResult r = read_text(text);
        ASSERT_EQ(r.status, Status::kContinue);
        EXPECT_EQ(residues_of(r.set), (std::vector<std::string>{"arNd", "MKV", "-wq", "ACDEFG"}));
        EXPECT_EQ(r.set.records[0].name, "a b\n");
        EXPECT_EQ(r.console, "\n Pairs of Sequences = 2\n>a b\narNd\n>b\nMKV\n>c\n-wq\n>d\nACDEFG\n" + kDashes +
                                 "\n\n N[ 0] = 4 \n N[ 1] = 3 \n N[ 2] = 3 \n N[ 3] = 6 ");
        EXPECT_EQ(r.shortest, 3);
    }
}

TEST(ReaderTest, HeaderLineKeepsAtMost79Characters) {
    const std::string h78(78, 'h'), h79(79, 'h');
    struct Case {
        std::string header;  // text after the first '>' up to the next record
        std::string name0, residues0, name1;
    } cases[] = {
        {h78 + "\nAR\n", h78 + "\n", "AR", "b\n"},
        {h79 + "\nAR\n", h79, "AR", "b\n"},
        {h79 + "h\nAR\n", h79, "hAR", "b\n"},
        {h79 + "WK-z9\nAR\n", h79, "WK-AR", "b\n"},
        {h79 + "QB>x\nND\n", h79, "Q", "x\n"},
        {"a>b\nAR\n", "a>b\n", "AR", "b\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.header);
        const ReadResult r = read_text("# 2\n>" + c.header + ">b\nND\n>c\nND\n>d\nND\n");
        ASSERT_EQ(r.status, Status::kContinue);
        EXPECT_EQ(r.set.records[0].name, c.name0);
        EXPECT_EQ(r.set.records[0].residues, c.residues0);
        EXPECT_EQ(r.set.records[1].name, c.name1);
        const std::string echo = "\n Pairs of Sequences = 2\n>" + c.name0 + c.residues0 + "\n>" + c.name1[0];
        EXPECT_EQ(r.console.substr(0, echo.size()), echo);
    }
}

TEST(ReaderTest, RefusesBadCountLines) {
    const std::string form = "\n The first line must be \"# P\", with P the number of pairs.\n";
    const std::string range = "\n The number of pairs on the first line is out of range.\n";
    const std::string few = "\n\n Minimum 2 Pairs of Sequences. \n";
    const std::pair<std::string, std::string> cases[] = {
        {"# 0\n", "\n Pairs of Sequences = 0" + few},
        {"# -4\n", "\n Pairs of Sequences = -4" + few},
        {"# 2147483647\n", "\n Pairs of Sequences = 2147483647\n\n \xbf" "2147483647?, Too many sequences. \n"},
        {"# 2147483648\n", range},
        {"# -99999999999\n", range},
        {"2\n", form},
        {" # 2\n", form},
        {"# x2\n", form},
        {"#\n", form},
    };
    for (const auto &[count, console] : cases) {
        SCOPED_TRACE(count);
        const ReadResult r = read_text(count + kFourRecords);
        EXPECT_EQ(r.status, Status::kStopInput);
        EXPECT_EQ(r.console, console);
    }
    EXPECT_EQ(read_text("").console, form);
}

TEST(ReaderTest, AcceptsTheLargestPairCount) {
    std::string text = "# 1000\n";
    for (int i = 0; i < 2000; ++i)
        text += ">r\nW\n";
    const ReadResult r = read_text(text);
    EXPECT_EQ(r.status, Status::kContinue);
    EXPECT_EQ(r.set.records.size(), 2000u);
    EXPECT_NE(r.console.find("\n N[ 9] = 1 \n N[10] = 1 "), std::string::npos);
    EXPECT_TRUE(r.console.ends_with("\n N[1999] = 1 "));
    // Skipped bytes do not count against the 1099 residues of a record.
    const ReadResult fits = read_text("# 2\n>a\nAR\n>b\n" + std::string(1099, 'A') + "X*\n>c\nA\n>d\nW\n");
    EXPECT_EQ(fits.status, Status::kContinue);
    EXPECT_EQ(fits.set.records[1].residues.size(), 1099u);
}

TEST(ReaderTest, MissingAndEmptyRecordsStopWithTheirMessage) {
    const std::string fasta = "\n\n Not in FASTA format. \n";
    const std::string lengths = "\n" + kDashes + "\n\n N[ 0] = 2 \n N[ 1] = 2 ";
    const std::pair<std::string, std::string> cases[] = {
        {"# 2\n", "\n" + fasta},
        {"# 2\n\n  AR\n>a\nAR\n", "\nA" + fasta},
        {"# 2 pairs\n>a\nAR\n", "\np" + fasta},
        {"# 3\n>a\nAR\n>b\nAR\n>c\nA\n>d\nW\n>e\nW\n",
         "\n>a\nAR\n>b\nAR\n>c\nA\n>d\nW\n>e\nW\n\n\n Error!, absent sequences. \n"},
        {"# 2\n>a\nX*\n>b\n\n>c\nA\n>d\nW\n",
         "\n>a\n\n>b\n\n>c\nA\n>d\nW\n" + kDashes + "\n\n N[ 0] = 0 \n ERROR IN THE FIRST SEQUENCE.\n"},
        {"# 2\n>a\nAR\n>b\nAR\n>c\n\n>d\n\n",
         "\n>a\nAR\n>b\nAR\n>c\n\n>d\n" + lengths + "\n N[ 2] = 0 \n ERROR IN THE SEQUENCE 2.\n"},
        {"# 2\n>a\nAR\n>b\nAR\n>c\nA\n>",
         "\n>a\nAR\n>b\nAR\n>c\nA\n>" + lengths + "\n N[ 2] = 1 \n N[ 3] = 0 \n ERROR IN THE SEQUENCE 3.\n"},
    };
    for (const auto &[text, echo] : cases) {
        SCOPED_TRACE(text);
        const ReadResult r = read_text(text);
        EXPECT_EQ(r.status, Status::kStopInput);
        EXPECT_EQ(r.console, "\n Pairs of Sequences = " + text.substr(2, 1) + echo);
    }
}

TEST(GapTest, RemovesEveryGapColumnAndCutsToTheCommonLength) {
    struct Case {
        std::vector<std::string> in, out;
        int gaps;
    } cases[] = {
        {{"ACDEFGHIKL", "ACDEFGHIKLM-", "ACDEFGHIKL", "ACDEFGHIKL"},
         {"ACDEFGHIKL", "ACDEFGHIKL", "ACDEFGHIKL", "ACDEFGHIKL"}, 0},
        {{"AC-EF", "ACDEF", "ACDEF", "ACDEF"}, {"ACEF", "ACEF", "ACEF", "ACEF"}, 1},
        {{"ACD---HI", "ACDEFGHI", "ACDEFGHIK", "acdefghi"}, {"ACDHI", "ACDHI", "ACDHI", "acdhi"}, 3},
        {{"ACDEF", "ACDE-", "ACDEFG", "ACDEF"}, {"ACDE", "ACDE", "ACDE", "ACDE"}, 1},
        {{"-CD-FG", "AC-EF-", "ACDEFG", "ACDEFG"}, {"CF", "CF", "CF", "CF"}, 4},
        {{"-A", "A-", "AAW", "AA"}, {"", "", "", ""}, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.in[0] + " " + c.in[1]);
        SequenceSet set;
        int shortest = 1100;
        for (const std::string &r : c.in) {
            set.records.push_back({"n\n", r});
            shortest = std::min<int>(shortest, static_cast<int>(r.size()));
        }
        std::string console;
        const int n = kelto::remove_gap_columns(set, shortest, console);
        EXPECT_EQ(n, shortest - c.gaps);
        EXPECT_EQ(residues_of(set), c.out);
        EXPECT_EQ(console, (c.gaps ? "\n\n Gaps= " + std::to_string(c.gaps) : std::string()) +
                               "\n\n---->  N_minimum (Without gaps) = " + std::to_string(n) + " \n\n" + kDashes +
                               "\n\n");
        EXPECT_EQ(set.records[0].name, "n\n");
    }
}

// Expected text of one block: positions first+1 .. first+count.
std::string block(const std::vector<kelto::SequenceRecord> &seq, const kelto::QuartetProfile &p, int first,
                  int count, bool full)
{
    auto row = [&](auto item) {
        std::string line;
        for (int k = first; k < first + count; ++k)
            line += item(k);
        return line + "\n";
    };
    auto num = [&](const std::vector<int> &v) {
        return row([&](int k) { char b[8]; std::snprintf(b, sizeof b, "%4d", v[k]); return std::string(b); });
    };
    auto res = [&](int s) { return row([&](int k) { return "   " + seq[s].residues.substr(k, 1); }); };
    std::vector<int> numbers;
    for (int k = 0; k < first + count; ++k)
        numbers.push_back(k + 1);
    const std::string rule = std::string(4 * count, '-') + "\n";
    return num(numbers) + rule + num(p.score_a) + res(0) + res(1) + std::string(4 * count, '.') + "\n" + res(2) +
           res(3) + num(p.score_b) + rule + num(p.diff) + (full ? "\n\n" : "\n");
}

TEST(DisplayTest, SplitsIntoBlocksOf18Positions) {
    struct Case {
        int n;
        std::vector<std::pair<int, int>> blocks;  // first position (from 0), count
    } cases[] = {{0, {}}, {1, {{0, 1}}}, {17, {{0, 17}}}, {18, {{0, 18}}}, {36, {{0, 18}, {18, 18}}},
                 {40, {{0, 18}, {18, 18}, {36, 4}}}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.n);
        const std::string letters = "ARNDCQEGHILKMFPSTWYVarndcqeghilkmfpstwyv";
        std::vector<kelto::SequenceRecord> records(4);
        kelto::QuartetProfile p;
        for (int k = 0; k < c.n; ++k) {
            for (int s = 0; s < 4; ++s)
                records[s].residues += letters[(k + 7 * s) % 40];
            p.score_a.push_back(k % 35 - 17);
            p.score_b.push_back(17 - k % 29);
            p.diff.push_back(p.score_a.back() - p.score_b.back());
        }
        const kelto::Quartet q{{&records[0], &records[1], &records[2], &records[3]}};
        std::string expected;
        for (const auto &[first, count] : c.blocks)
            expected += block(records, p, first, count, count == 18);
        std::string out = "kept";
        kelto::append_display(out, q, p, c.n);
        EXPECT_EQ(out, "kept" + expected);
    }
}

}  // namespace
