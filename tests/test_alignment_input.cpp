// Real alignments are read in register: a header longer than 79 characters
// never spills into the residues, and a letter outside the twenty keeps its
// column, which is then removed from every record; each change is said on
// standard error and in the record. Aligned FASTA, chosen pairs and matrix
// files give the reports of the pair file and built-in matrix they stand for.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::directory_files;
using testing::pair_file;
using testing::read_file;
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
        write_file(dir.path("long.txt"), text);
        const RunResult long_header = run_in_process({"--seed", "3", "--matrix", "2", "--json", dir.path("long.jsonl"),
                                                      "--html", dir.path("long.html"), "--tsv", dir.path("long.tsv"),
                                                      dir.path("long.txt"),
                                                      dir.path("long.txt.out"), "20"},
                                                     "");
        ASSERT_EQ(long_header.status, 0) << long_header.console;
        const nlohmann::json run = nlohmann::json::parse(testing::whole_lines(read_file(dir.path("long.jsonl")))[0]);
        EXPECT_EQ(run["warnings"][0]["kind"], "header_cut");
        EXPECT_EQ(run["warnings"][0]["record"], 1);
        EXPECT_EQ(run["pairs"][0][1], header) << "the data keep the whole header line";
        EXPECT_NE(read_file(dir.path("long.tsv")).find("\t" + header + "\t"), std::string::npos);
        EXPECT_NE(read_file(dir.path("long.html")).find("record 1: its header line is longer than 79"),
                  std::string::npos)
            << "the page shows the warning";
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

// Records as aligned FASTA under the given names.
std::string fasta(const std::vector<std::string> &records, const std::vector<std::string> &names)
{
    std::string text;
    for (std::size_t i = 0; i < records.size(); ++i)
        text += ">" + names[i] + " some description\n" + records[i] + "\n";
    return text;
}

// A report of a pair file with its names ">sI" given the description that
// fasta() adds.
std::string described(std::string report, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::string name = std::string(">s").append(std::to_string(i));
        report = replaced(report, name + "\n", name + " some description\n");
    }
    return report;
}

std::vector<std::string> numbered(std::size_t count)
{
    std::vector<std::string> names;
    for (std::size_t i = 0; i < count; ++i)
        names.push_back(std::string(1, 's').append(std::to_string(i)));
    return names;
}

// A run with extra arguments; the report is `name`.out.
RunResult run_with(const TempDir &dir, const std::string &name, std::vector<std::string> extra)
{
    std::vector<std::string> args = {"--seed", "3", "--matrix", "2", dir.path(name), dir.path(name + ".out"), "20"};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_in_process(args, "");
}

TEST(AlignmentInput, AlignedFastaIsReadAsThePairFileOfItsRecords)
{
    TempDir dir;
    const std::vector<std::string> records = testing::related_pairs(8, 3, 40);
    std::vector<std::string> names = numbered(records.size());
    write_file(dir.path("pairs.txt"), pair_file(records));
    write_file(dir.path("aligned.fa"), fasta(records, names));
    const RunResult from_pairs = run_with(dir, "pairs.txt", {});
    const RunResult from_fasta = run_with(dir, "aligned.fa", {});
    ASSERT_EQ(from_fasta.status, 0) << from_fasta.console;
    EXPECT_TRUE(read_file(dir.path("aligned.fa.out")) ==
                described(read_file(dir.path("pairs.txt.out")), records.size()))
        << "the report differs beyond the headers";

    // An odd number of records cannot pair up in file order.
    write_file(dir.path("odd.fa"), fasta({records.begin(), records.end() - 1}, names));
    const RunResult odd = run_with(dir, "odd.fa", {});
    EXPECT_EQ(odd.status, 2);
    EXPECT_NE(odd.errors.find("odd number of records (5)"), std::string::npos) << odd.errors;

    // 1,500 columns of which 1,200 hold a gap somewhere: 300 are analysed.
    std::vector<std::string> wide = testing::related_pairs(9, 2, 1500);
    for (std::size_t column = 300; column < 1500; ++column)
        wide[column % wide.size()][column] = '-';
    write_file(dir.path("wide.fa"), fasta(wide, numbered(wide.size())));
    const RunResult wide_run = run_with(dir, "wide.fa", {});
    EXPECT_EQ(wide_run.status, 0) << wide_run.console;
    EXPECT_NE(wide_run.console.find("N_minimum (Without gaps) = 300 "), std::string::npos);
}

TEST(AlignmentInput, PairsFileChoosesThePairsAndTheirOrder)
{
    TempDir dir;
    const std::vector<std::string> records = testing::related_pairs(10, 4, 40);
    std::vector<std::string> names = numbered(records.size());
    names[3] = "twin";
    names[7] = "twin";
    write_file(dir.path("in.fa"), fasta(records, names));
    write_file(dir.path("in.txt"), pair_file(records));
    const std::vector<std::string> chosen = {records[6], records[5], records[0], records[1], records[4], records[2]};
    write_file(dir.path("expected.fa"), fasta(chosen, {"s6", "s5", "s0", "s1", "s4", "s2"}));
    ASSERT_EQ(run_with(dir, "expected.fa", {}).status, 0);
    write_file(dir.path("chosen"), "# pairs\ns6 s5\n\ns0\ts1\r\n  s4   s2\n");
    const RunResult from_fasta = run_with(dir, "in.fa", {"--pairs", dir.path("chosen")});
    ASSERT_EQ(from_fasta.status, 0) << from_fasta.console;
    EXPECT_TRUE(read_file(dir.path("in.fa.out")) == read_file(dir.path("expected.fa.out")));
    const RunResult from_pair_file = run_with(dir, "in.txt", {"--pairs", dir.path("chosen")});
    ASSERT_EQ(from_pair_file.status, 0) << from_pair_file.console;
    EXPECT_TRUE(described(read_file(dir.path("in.txt.out")), records.size()) ==
                read_file(dir.path("expected.fa.out")));

    // Resumed without --pairs, the run keeps the recorded choice; another
    // pairs file is refused.
    const std::vector<std::string> files = {"--json", dir.path("r.jsonl"), "--tsv", dir.path("r.tsv")};
    std::vector<std::string> fresh = files;
    fresh.insert(fresh.end(), {"--pairs", dir.path("chosen")});
    ASSERT_EQ(run_with(dir, "in.fa", fresh).status, 0);
    const std::string report = read_file(dir.path("in.fa.out")), tsv = read_file(dir.path("r.tsv"));
    const std::vector<std::string> lines = testing::whole_lines(read_file(dir.path("r.jsonl")));
    const nlohmann::json first = nlohmann::json::parse(lines[1]);
    write_file(dir.path("r.jsonl"), lines[0] + "\n" + lines[1] + "\n");
    write_file(dir.path("in.fa.out"), report.substr(0, first["report_bytes"].get<std::size_t>()));
    write_file(dir.path("r.tsv"), tsv.substr(0, first["tsv_bytes"].get<std::size_t>()));
    std::vector<std::string> again = files;
    again.push_back("--resume");
    ASSERT_EQ(run_with(dir, "in.fa", again).status, 0);
    EXPECT_TRUE(read_file(dir.path("in.fa.out")) == report && read_file(dir.path("r.tsv")) == tsv);
    write_file(dir.path("other"), "s0 s1\ns6 s5\n");
    again.insert(again.end(), {"--pairs", dir.path("other")});
    const RunResult other = run_with(dir, "in.fa", again);
    EXPECT_EQ(other.status, 2);
    EXPECT_NE(other.errors.find("kelto: cannot resume: the pairs file differs"), std::string::npos) << other.errors;

    const std::pair<const char *, const char *> refused[] = {
        {"s0 s1\ns9 s2\n", "line 2: no record of the input is named 's9'"},
        {"s0 s1\ntwin s2\n", "line 2: several records of the input are named 'twin'"},
        {"s0 s1\ns2 s1\n", "line 2: 's1' is named a second time"},
        {"s0 s1 s2\n", "line 1: a pair is two record names"},
        {"# none\n", "names no pair"},
    };
    for (const auto &[text, message] : refused) {
        SCOPED_TRACE(text);
        write_file(dir.path("bad"), text);
        const auto before = directory_files(dir);
        const RunResult run = run_with(dir, "in.fa", {"--pairs", dir.path("bad"), "--json", dir.path("bad.jsonl")});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        EXPECT_EQ(directory_files(dir), before);
    }
}

TEST(AlignmentInput, MatrixFilesInTheNcbiFormat)
{
    const std::string shipped = "/usr/share/ncbi/data/BLOSUM62";
    ASSERT_TRUE(std::filesystem::exists(shipped)) << "the tests need Debian's ncbi-data (scripts/install-deps.sh)";
    TempDir dir;
    write_file(dir.path("in.txt"), pair_file(testing::related_pairs(11, 3, 40)));
    const std::string blosum62 = read_file(shipped);
    write_file(dir.path("B62"), blosum62);
    ASSERT_EQ(run_in_process({"--seed", "3", "--matrix", "2", dir.path("in.txt"), dir.path("builtin.out"), "20"}, "")
                  .status,
              0);
    const RunResult from_file = run_with(dir, "in.txt", {"--matrix", dir.path("B62"), "--json", dir.path("run.jsonl")});
    ASSERT_EQ(from_file.status, 0) << from_file.console;
    EXPECT_TRUE(read_file(dir.path("in.txt.out")) == read_file(dir.path("builtin.out")));

    // The header is the file's second line, row A its third; every refusal names the line.
    const std::pair<std::pair<const char *, const char *>, const char *> refused[] = {
        {{" W ", " J "}, "line 2: the header row lacks the letter 'W'"},
        {{"\nA  4 ", "\nA  4.5 "}, "line 3: row 'A', column 'A': '4.5' is not an integer from -100 to 100"},
        {{"\nA  4 ", "\nA  101 "}, "line 3: row 'A', column 'A': '101' is not an integer from -100 to 100"},
        {{"\nA  4 -1 ", "\nA  4  2 "},
         "not symmetric: row 'R' (line 4), column 'A' holds -1 but row 'A' (line 3), column 'R' holds 2"},
        {{"\nV ", "\nJ "}, "the rows after the header (line 2) lack the letter 'V'"},
    };
    for (const auto &[edit, message] : refused) {
        SCOPED_TRACE(message);
        std::string text = blosum62;
        text.replace(text.find(edit.first), std::string(edit.first).size(), edit.second);
        write_file(dir.path("bad"), text);
        const auto before = directory_files(dir);
        const RunResult run = run_with(dir, "in.txt", {"--matrix", dir.path("bad")});
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.errors.find(message), std::string::npos) << run.errors;
        EXPECT_EQ(directory_files(dir), before);
    }

    // A file named like a built-in, in the working folder, is the file, and the run says so.
    std::string changed = blosum62;
    changed.replace(changed.find("\nA  4 "), 6, "\nA  5 ");
    write_file(dir.path("BLOSUM62"), changed);
    const std::filesystem::path folder = std::filesystem::current_path();
    std::filesystem::current_path(dir.dir);
    const RunResult local = run_with(dir, "in.txt", {"--matrix", "BLOSUM62"});
    std::filesystem::current_path(folder);
    ASSERT_EQ(local.status, 0) << local.console;
    EXPECT_NE(local.errors.find("kelto: matrix BLOSUM62 read from the file BLOSUM62\n"), std::string::npos);
    EXPECT_FALSE(read_file(dir.path("in.txt.out")) == read_file(dir.path("builtin.out")));

    // Resuming with other values in the matrix file is refused.
    write_file(dir.path("B62"), changed);
    const RunResult resumed =
        run_with(dir, "in.txt", {"--matrix", dir.path("B62"), "--json", dir.path("run.jsonl"), "--resume"});
    EXPECT_EQ(resumed.status, 2);
    EXPECT_NE(resumed.errors.find("kelto: cannot resume: the matrix differs"), std::string::npos) << resumed.errors;
}

}  // namespace
}  // namespace kelto
