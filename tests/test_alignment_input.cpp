// Real alignments are read in register: a header longer than 79 characters
// never spills into the residues, and a letter outside the twenty keeps its
// column, which is then removed from every record; each change is said on
// standard error.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::pair_file;
using testing::RunResult;
using testing::run_in_process;
using testing::TempDir;
using testing::write_file;

RunResult run_file(const TempDir &dir, const std::string &name, const std::string &text)
{
    write_file(dir.path(name), text);
    return run_in_process({"--seed", "3", "--matrix", "2", dir.path(name), dir.path(name + ".out"), "20"}, "");
}

// Every occurrence of `from` in `text` replaced by `to`.
std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

TEST(AlignmentInput, LongHeadersAreCutAndTheirRestSkipped)
{
    TempDir dir;
    const std::vector<std::string> records = testing::related_pairs(5, 2, 40);
    const RunResult plain = run_file(dir, "short.txt", pair_file(records));
    for (std::size_t length : {80, 200}) {
        SCOPED_TRACE(length);
        std::string header = std::string(70, 'h') + "ACDEF>GHIKL";
        while (header.size() < length)
            header += "WY-";
        header.resize(length);
        std::string text = pair_file(records);
        std::string line(1, '>');
        line += header;
        line += '\n';
        text.replace(text.find(">s1\n"), 4, line);
        const RunResult long_header = run_file(dir, "long.txt", text);
        ASSERT_EQ(long_header.status, 0) << long_header.console;
        EXPECT_NE(long_header.console.find("N_minimum (Without gaps) = 40 "), std::string::npos);
        // The report holds the cut name (79 characters, no line end) where the short file has "s1".
        const std::string report = testing::read_file(dir.path("long.txt.out"));
        std::string cut_name(1, '>');
        cut_name.append(header, 0, 79);
        EXPECT_TRUE(replaced(report, cut_name, ">s1\n") == testing::read_file(dir.path("short.txt.out")))
            << "the report differs beyond the name";
        EXPECT_NE(long_header.errors.find("kelto: warning: record 1: its header line is longer than 79 characters"),
                  std::string::npos)
            << long_header.errors;
    }
    EXPECT_EQ(plain.errors.find("warning"), std::string::npos) << plain.errors;
}

TEST(AlignmentInput, LettersOutsideTheTwentyKeepTheirColumn)
{
    TempDir dir;
    const std::vector<std::string> records = testing::related_pairs(6, 2, 40);
    std::vector<std::string> by_hand = records;
    for (std::string &record : by_hand)
        record.erase(17, 1);
    const RunResult removed = run_file(dir, "by-hand.txt", pair_file(by_hand));
    ASSERT_EQ(removed.status, 0);
    for (const char letter : {'X', 'b', 'B', '*', '.', 'z', 'J', 'O', 'U'}) {
        SCOPED_TRACE(std::string(1, letter));
        std::vector<std::string> marked = records;
        marked[2][17] = letter;
        const RunResult run = run_file(dir, "marked.txt", pair_file(marked));
        ASSERT_EQ(run.status, 0) << run.console;
        EXPECT_TRUE(testing::read_file(dir.path("marked.txt.out")) == testing::read_file(dir.path("by-hand.txt.out")))
            << "the report differs from the one with the column removed by hand";
        if (letter != '.') {
            EXPECT_NE(run.errors.find(std::string("kelto: warning: record 2: '") + letter +
                                      "', not one of the twenty residues, in 1 column(s) from column 18"),
                      std::string::npos)
                << run.errors;
        }
    }
}

}  // namespace
}  // namespace kelto
