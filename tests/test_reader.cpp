// Unit tests of the pair file reader, gap-column removal and the block display.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "input/gaps.hpp"
#include "input/pair_file.hpp"
#include "input/residues.hpp"
#include "profile/display.hpp"

namespace {

using kelto::SequenceSet;
using kelto::Status;

const std::string kDashes(60, '-');

// Reads `bytes` as a pair file.
struct ReadResult {
    explicit ReadResult(const std::string &bytes)
    {
        FILE *file = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
        status = kelto::read_pair_file(file, console, set, shortest);
        std::fclose(file);
    }
    Status status;
    std::string console;
    SequenceSet set;
    int shortest = -1;
};

std::vector<std::string> residues_of(const SequenceSet &set)
{
    std::vector<std::string> out;
    for (const auto &record : set.records)
        out.push_back(record.residues);
    return out;
}

// The twenty letters, gaps ('-', '.') and the letters outside the twenty
// (B J O U X Z, '*') keep their columns; digits, blanks and the rest are
// formatting and skipped.
TEST(ReaderTest, StoresResiduesAndGapsAsReadAndSkipsEverythingElse) {
    const std::string body = ">a b\nar Nd\n>b\nM K X\rV\n>c\nB1Z*2J O\tU-w\xC1\x7Fq\n>d\nAC\nDE\n\n FG\n>e\nWWW\n";
    std::string crlf = "# 2\r\n";  // the same file with carriage-return line ends
    for (char c : body)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    for (const std::string &text : {"#2\n" + body, "#\t+2 \r\n" + body, "# 2\n\n  \n\t" + body, "# 2" + body, crlf}) {
        SCOPED_TRACE(text.substr(0, 8));
        const ReadResult r(text);
        ASSERT_EQ(r.status, Status::kContinue);
        EXPECT_EQ(residues_of(r.set), (std::vector<std::string>{"arNd", "MKXV", "BZ*JOU-wq", "ACDEFG"}));
        EXPECT_EQ(r.set.records[0].name, "a b\n");
        EXPECT_EQ(r.console, "\n Pairs of Sequences = 2\n>a b\narNd\n>b\nMKXV\n>c\nBZ*JOU-wq\n>d\nACDEFG\n" + kDashes +
                                 "\n\n N[ 0] = 4 \n N[ 1] = 4 \n N[ 2] = 9 \n N[ 3] = 6 ");
        EXPECT_EQ(r.shortest, 4);
    }
}

// Past 79 characters the rest of a header line is skipped: never residues,
// and a '>' in it starts no record.
TEST(ReaderTest, HeaderTextPast79CharactersIsSkipped) {
    const std::string h79(79, 'h');
    const std::pair<std::string, std::string> cases[] = {  // text after the first '>'; name 0, residues 0, name 1
        {h79 + "WK-z9\nAR\n", h79 + "|AR|b\n"},
        {h79 + "QB>x\nND\n", h79 + "|ND|b\n"},
        {h79 + "\nAR\n", h79 + "|AR|b\n"},  // exactly 79: only the line feed follows
        {"a>b\nAR\n", "a>b\n|AR|b\n"},
        {"a\r\r\nAR\n", "a\r\n|AR|b\n"},  // a lone carriage return stays, the line end folds
    };
    for (const auto &[header, records] : cases) {
        SCOPED_TRACE(header);
        const ReadResult r("# 2\n>" + header + ">b\nND\n>c\nND\n>d\nND\n");
        ASSERT_EQ(r.status, Status::kContinue);
        const auto &[a, b] = std::pair{r.set.records[0], r.set.records[1]};
        EXPECT_EQ(a.name + "|" + a.residues + "|" + b.name, records);
        const std::string echo = "\n Pairs of Sequences = 2\n>" + a.name + a.residues + "\n>" + b.name[0];
        EXPECT_EQ(r.console.substr(0, echo.size()), echo);
    }
}

TEST(ReaderTest, BadCountLinesAndMissingOrEmptyRecordsStopWithTheirMessage) {
    const std::string form = "\n The first line must be \"# P\", with P the number of pairs.\n";
    const std::string fasta = "\n\n Not in FASTA format. \n";
    const std::string lengths = "\n" + kDashes + "\n\n N[ 0] = 2 \n N[ 1] = 2 ";
    const std::pair<std::string, std::string> cases[] = {
        {"", form}, {"2\n>a\nAR\n", form}, {" # 2\n", form}, {"# x2\n", form}, {"#\n", form},
        {"# 1\n>a\nAR\n>b\nAR\n", "\n Pairs of Sequences = 1\n\n Minimum 2 Pairs of Sequences. \n"},
        {"# 2\n", "\n Pairs of Sequences = 2\n" + fasta},
        {"# 2\n\n  AR\n>a\nAR\n", "\n Pairs of Sequences = 2\nA" + fasta},
        {"# 2 pairs\n>a\nAR\n", "\n Pairs of Sequences = 2\np" + fasta},
        {"# 2\n>a\nAR\n", "\n Pairs of Sequences = 2\n>a\nAR\n\n\n Error: 3 sequences are absent. \n"},
        {"# 2\n>a\nAR\n>b\nW\n", "\n Pairs of Sequences = 2\n>a\nAR\n>b\nW\n\n\n Error : 2 sequences are absent. \n"},
        {"# 2\n>a\nA\n>b\nW\n>c\nN", "\n Pairs of Sequences = 2\n>a\nA\n>b\nW\n>c\nN\n\n\n Error: 1 sequence is absent. \n"},
        {"# 3\n>a\nAR\n>b\nAR\n>c\nA\n>d\nW\n>e\nW\n",
         "\n Pairs of Sequences = 3\n>a\nAR\n>b\nAR\n>c\nA\n>d\nW\n>e\nW\n\n\n Error!, absent sequences. \n"},
        {"# 2\n>a\n9 \n>b\n\n>c\nA\n>d\nW\n",
         "\n Pairs of Sequences = 2\n>a\n\n>b\n\n>c\nA\n>d\nW\n" + kDashes + "\n\n N[ 0] = 0 \n ERROR IN THE FIRST SEQUENCE.\n"},
        {"# 2\n>a\nA\n>b\n0 9\n>c\nN\n>d\nD\n", "\n Pairs of Sequences = 2\n>a\nA\n>b\n\n>c\nN\n>d\nD\n" + kDashes +
                                                 "\n\n N[ 0] = 1 \n N[ 1] = 0 \n ERROR IN THE SEQUENCE 1.\n"},
        {"# 2\n>a\nAR\n>b\nAR\n>c\n\n>d\n\n",
         "\n Pairs of Sequences = 2\n>a\nAR\n>b\nAR\n>c\n\n>d\n" + lengths + "\n N[ 2] = 0 \n ERROR IN THE SEQUENCE 2.\n"},
        {"# 2\n>a\nAR\n>b\nAR\n>c\nA\n>", "\n Pairs of Sequences = 2\n>a\nAR\n>b\nAR\n>c\nA\n>" + lengths +
                                              "\n N[ 2] = 1 \n N[ 3] = 0 \n ERROR IN THE SEQUENCE 3.\n"},
    };
    for (const auto &[text, console] : cases) {
        SCOPED_TRACE(text);
        const ReadResult r(text);
        EXPECT_EQ(r.status, Status::kStopInput);
        EXPECT_EQ(r.console, console);
    }
}

TEST(GapTest, RemovesEveryGapColumnAndCutsToTheCommonLength) {
    const struct {
        std::vector<std::string> in, out;
        int gaps;
    } cases[] = {
        {{"ACDEFGHIKL", "ACDEFGHIKLM-", "ACDEFGHIKL", "ACDEFGHIKL"}, std::vector<std::string>(4, "ACDEFGHIKL"), 0},
        {{"AC-EF", "ACDEF", "ACDEF", "ACDEF"}, {"ACEF", "ACEF", "ACEF", "ACEF"}, 1},
        {{"ACD---HI", "ACDEFGHI", "ACDEFGHIK", "acdefghi"}, {"ACDHI", "ACDHI", "ACDHI", "acdhi"}, 3},
        {{"ACDEF", "ACDE-", "ACDEFG", "ACDEF"}, {"ACDE", "ACDE", "ACDE", "ACDE"}, 1},
        {{"-CD-FG", "AC-EF-", "ACDEFG", "ACDEFG"}, {"CF", "CF", "CF", "CF"}, 4},
        {{"-A", "A-", "AAW", "AA"}, {"", "", "", ""}, 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.in[0] + " " + c.in[1]);
        SequenceSet set;
        int shortest = 1100;
        for (const std::string &r : c.in) {
            set.records.push_back({"n\n", r, "n", false, false, {}, 1});
            shortest = std::min<int>(shortest, static_cast<int>(r.size()));
        }
        std::string console;
        const int n = kelto::remove_gap_columns(set, shortest, console);
        EXPECT_EQ(n, shortest - c.gaps);
        EXPECT_EQ(residues_of(set), c.out);
        EXPECT_EQ(console, (c.gaps ? "\n\n Gaps= " + std::to_string(c.gaps) : std::string()) +
                               "\n\n---->  N_minimum (Without gaps) = " + std::to_string(n) + " \n\n" + kDashes + "\n\n");
        EXPECT_EQ(set.records[0].name, "n\n");
    }
}

// 19 positions: a full block of 18, then two blank lines, then a block of one.
TEST(DisplayTest, SplitsIntoBlocksOf18Positions) {
    std::vector<kelto::SequenceRecord> seq(4, kelto::SequenceRecord{"n\n", std::string(19, 'A'), "n", false, false, {}, 1});
    seq[3].residues[18] = 'W';
    kelto::QuartetProfile p{std::vector<int>(19, 4), std::vector<int>(19, 4), std::vector<int>(19, 0)};
    p.score_b[18] = -3;
    p.diff[18] = 7;
    const auto row = [](const char *cell) {
        std::string line;
        for (int k = 0; k < 18; ++k)
            line += cell;
        return line + "\n";
    };
    const std::string rule = std::string(72, '-') + "\n";
    const std::string expected =
        "   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15  16  17  18\n" + rule + row("   4") +
        row("   A") + row("   A") + std::string(72, '.') + "\n" + row("   A") + row("   A") + row("   4") + rule +
        row("   0") + "\n\n" + "  19\n----\n   4\n   A\n   A\n....\n   A\n   W\n  -3\n----\n   7\n\n";
    std::string out = "kept";
    kelto::append_display(out, {{&seq[0], &seq[1], &seq[2], &seq[3]}}, p, 19);
    EXPECT_EQ(out, std::string("kept") + expected);
    kelto::append_display(out, {{&seq[0], &seq[1], &seq[2], &seq[3]}}, p, 0);
    EXPECT_EQ(out, std::string("kept") + expected);
}

// Bytes 0x80-0xFF are plain bytes whether char is signed (x86-64) or not
// (ARM64): kept as they are in names, skipped in sequences, and none of them
// taken for a line end, a gap, a record start or the end of the file.
TEST(ReaderTest, BytesAbove0x7FAreKeptInNamesAndSkippedInSequences) {
    std::string high;  // 0x80 .. 0xFF
    for (int b = 0x80; b <= 0xFF; ++b)
        high += static_cast<char>(b);
    for (int b = 0; b <= 0xFF; ++b) {
        const char c = static_cast<char>(b);
        EXPECT_EQ(kelto::is_stored_character(b), b < 0x80 && kelto::residue_class(c) <= kelto::kClassUnscored) << b;
        if (b >= 0x80) {
            EXPECT_EQ(kelto::residue_class(c), kelto::kClassIgnored) << b;
        }
    }

    const std::string name0 = "\xE9t\xE9 \xFF\xBE\n";  // Latin-1, 0xFF and '>' | 0x80
    const std::string name1(79, '\xFF');               // full: the rest of its line is skipped
    const std::string name2 = "\xC3\xA9\xC3\xBF\n";    // UTF-8
    const std::string name3 = "d\xFF\x8A\n";            // 0x8A is '\n' | 0x80
    const std::string text = "# 2\n>" + name0 + high + "A" + high + "r\n" +
                             ">" + name1 + high + "W\xFF\nW\xFF\n" +
                             ">" + name2 + "-\x8A\xAD\xBE" + "D" + high + "\n" +  // 0xAD: '-' | 0x80
                             ">" + name3 + "K\xFF" + "L" + high;
    const ReadResult r(text);
    ASSERT_EQ(r.status, Status::kContinue);
    const std::vector<std::string> names{name0, name1, name2, name3};
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(r.set.records[i].name, names[i]) << i;
    EXPECT_EQ(residues_of(r.set), (std::vector<std::string>{"Ar", "W", "-D", "KL"}));
    EXPECT_EQ(r.console, "\n Pairs of Sequences = 2\n>" + name0 + "Ar\n>" + name1 + "W\n>" + name2 + "-D\n>" + name3 +
                             "KL\n" + kDashes + "\n\n N[ 0] = 2 \n N[ 1] = 1 \n N[ 2] = 2 \n N[ 3] = 2 ");
    EXPECT_EQ(r.shortest, 1);
}

}  // namespace
