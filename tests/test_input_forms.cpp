// Stockholm, Clustal, A2M and A3M, as Debian's aligners write them, give the
// report of the aligned FASTA of the same alignment, without its insert
// columns; residue numbers follow "ID/START-END"; every malformed or unknown
// input is refused before any file is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "input/alignment.hpp"
#include "input/gaps.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::directory_files;
using testing::read_file;
using testing::RunResult;
using testing::run_in_process;
using testing::TempDir;
using testing::write_file;

const std::string kData = KELTO_TEST_DATA "/formats/";

RunResult run(const std::string &in, const std::string &out, std::vector<std::string> extra = {})
{
    std::vector<std::string> args = {"--seed", "3", "--matrix", "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {in, out, "20"});
    return run_in_process(args, "");
}

// The aligned FASTA of `text` without the columns that hold '.' or a
// lower-case letter in any record: what the analysis of inserts leaves.
std::string without_inserts(const std::string &text)
{
    std::vector<std::string> names, rows;
    for (const std::string &line : testing::whole_lines(text))
        if (line[0] == '>') {
            names.push_back(line + "\n");
            rows.emplace_back();
        } else {
            rows.back() += line;
        }
    std::string out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += names[r];
        for (std::size_t k = 0; k < rows[r].size(); ++k)
            if (std::none_of(rows.begin(), rows.end(), [k](const std::string &row) {
                    return row[k] == '.' || std::islower(static_cast<unsigned char>(row[k]));
                }))
                out += rows[r][k];
        out += '\n';
    }
    return out;
}

TEST(InputForms, AlignerOutputsGiveTheReportOfTheirAlignedFasta)
{
    TempDir dir;
    write_file(dir.path("hmmalign-matches.fa"), without_inserts(read_file(kData + "hmmalign.fa")));
    const struct {
        std::string input;
        std::vector<std::string> options;
        std::string same_as;  // read as aligned FASTA
    } cases[] = {
        {kData + "clustalo.aln", {}, kData + "clustalo.fa"},
        {kData + "mafft.aln", {}, kData + "mafft.fa"},
        {kData + "hmmalign.sto", {}, dir.path("hmmalign-matches.fa")},
        {kData + "hmmalign.a2m", {}, dir.path("hmmalign-matches.fa")},  // without '.' padding, as Easel writes it
        {kData + "hmmalign.a2m", {"--format", "a3m"}, dir.path("hmmalign-matches.fa")},
        {kData + "hmmalign.fa", {"--format", "a2m"}, dir.path("hmmalign-matches.fa")},  // with '.' padding
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.input);
        const RunResult form = run(c.input, dir.path("form.out"), c.options);
        const RunResult fasta = run(c.same_as, dir.path("fasta.out"));
        ASSERT_EQ(form.status, 0) << form.console;
        ASSERT_EQ(fasta.status, 0) << fasta.console;
        EXPECT_TRUE(read_file(dir.path("form.out")) == read_file(dir.path("fasta.out")));
        const bool inserts = c.input.find("hmmalign") != std::string::npos;
        EXPECT_EQ(form.console.find("\n\n Insert columns= 7") != std::string::npos, inserts) << form.console;
    }
}

// Two blocks, mark-up of every kind, a column of lower-case inserts in
// every record and one the reference line marks: the analysis of the
// alignment without those two columns, under the names and descriptions.
TEST(InputForms, StockholmBlocksMarkUpAndInsertColumns)
{
    TempDir dir;
    const std::vector<std::string> rows = testing::related_pairs(4, 2, 40);
    const std::string ids[] = {"s0/11-51", "s1", "s2", "s3"};
    std::string sto = "# STOCKHOLM 1.0\n#=GF ID test\n#=GS s0/11-51 DE  first record \n#=GS s1 AC P12345\n";
    std::string fasta, second;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::string &row = rows[r];
        sto += ids[r] + "  " + row.substr(0, 10) + "k" + row.substr(10, 10) + "\n#=GR " + ids[r] + " PP " +
               std::string(21, '9') + "\n";
        second += ids[r] + "  W" + row.substr(20) + "\n";
        fasta += ">" + ids[r] + (r == 0 ? " first record\n" : "\n") + row + "\n";
    }
    sto += "#=GC RF " + std::string(21, 'x') + "\n\n# a comment\n" + second + "#=GC RF ." + std::string(20, 'x') + "\n//\n";
    write_file(dir.path("in.sto"), sto);
    write_file(dir.path("in.fa"), fasta);
    const RunResult form = run(dir.path("in.sto"), dir.path("sto.out"), {"--json", dir.path("sto.jsonl")});
    ASSERT_EQ(form.status, 0) << form.console;
    ASSERT_EQ(run(dir.path("in.fa"), dir.path("fa.out")).status, 0);
    EXPECT_TRUE(read_file(dir.path("sto.out")) == read_file(dir.path("fa.out")));
    EXPECT_NE(form.console.find("\n\n Insert columns= 2"), std::string::npos) << form.console;
    EXPECT_NE(form.errors.find("kelto: warning: 2 insert column(s)"), std::string::npos) << form.errors;
    const testing::Json line = testing::json_lines(read_file(dir.path("sto.jsonl")))[0];
    EXPECT_EQ(line["input"]["form"], "stockholm");
    EXPECT_EQ(line["ids"], testing::Json::parse(R"(["s0/11-51", "s1", "s2", "s3"])"));
    EXPECT_EQ(line["descriptions"], testing::Json::parse(R"(["first record", "", "", ""])"));
    EXPECT_EQ(line["accessions"], testing::Json::parse(R"([null, "P12345", null, null])"));

    // A header's blanks stay out of the id and the description.
    write_file(dir.path("blanks.fa"), "\n>MYG_ESCGI \nAC\n>b  two  words \nAC\n>c\nAC\n>d\nAC\n");
    ASSERT_EQ(run(dir.path("blanks.fa"), dir.path("blanks.out"), {"--json", dir.path("blanks.jsonl")}).status, 0);
    const testing::Json blanks = testing::json_lines(read_file(dir.path("blanks.jsonl")))[0];
    EXPECT_EQ(blanks["ids"], testing::Json::parse(R"(["MYG_ESCGI", "b", "c", "d"])"));
    EXPECT_EQ(blanks["descriptions"], testing::Json::parse(R"(["", "two  words", "", ""])"));
}

// "X/101-160": residue numbers count from 101, inserts included, gaps not.
TEST(InputForms, ResidueNumbersInTheProteinsOwnCoordinates)
{
    const std::string row(60, 'A');
    std::string text = "# STOCKHOLM 1.0\nX/101-160 ." + row + "\nY/5-65 m" + row + "\nZ ." + row + "\nW/1-70 ." + row +
                       "\n//\n";
    FILE *in = fmemopen(text.data(), text.size(), "r");
    ASSERT_NE(in, nullptr);
    SequenceSet set;
    std::string console, message;
    int shortest = 0;
    InputForm form = InputForm::kPairFile;
    std::vector<int> chosen;
    const InputOutcome outcome =
        read_alignment(in, InputSource{"in.sto", ""}, PairChoice{}, console, message, set, shortest, form, chosen);
    std::fclose(in);
    ASSERT_EQ(outcome, InputOutcome::kRead) << message;
    EXPECT_EQ(remove_gap_columns(set, shortest, console), 60);
    EXPECT_EQ(set.residue_numbers[0][10], 111);  // a window at X's residues 11-20 ...
    EXPECT_EQ(set.residue_numbers[0][19], 120);  // ... is residues 111-120 of the protein
    EXPECT_EQ(set.residue_numbers[1][0], 6);     // after Y's residue 5, an insert
    EXPECT_EQ(set.residue_numbers[2][0], 1);
    ASSERT_EQ(set.warnings.size(), 2u);  // W: 70 residues named, 60 in the row; then the insert column
    EXPECT_EQ(set.warnings[0].kind, "coordinates");
    EXPECT_EQ(set.warnings[0].record, 3);
}

// A Pfam seed, its first ten pairs: every window's residue numbers are its
// records' START plus the letters before the window's first column, and the
// accessions are kept.
TEST(InputForms, PfamSeedWindowsInTheProteinsCoordinates)
{
    TempDir dir;
    std::vector<std::string> ids, rows;
    std::string pairs;
    for (const std::string &line : testing::whole_lines(read_file(kData + "fn3.sto")))
        if (ids.size() < 20 && !line.empty() && line[0] != '#' && line[0] != '/') {
            ids.push_back(line.substr(0, line.find(' ')));
            rows.push_back(line.substr(line.find_last_of(' ') + 1));
            pairs += ids.back() + (ids.size() % 2 == 1 ? " " : "\n");
        }
    write_file(dir.path("pairs"), pairs);
    const RunResult seed = run_in_process({"--seed", "3", "--matrix", "2", "--pairs", dir.path("pairs"), "--json",
                                           dir.path("run.jsonl"), kData + "fn3.sto", dir.path("out.txt"), "200"},
                                          "");
    ASSERT_EQ(seed.status, 0) << seed.console;
    const std::vector<testing::Json> lines = testing::json_lines(read_file(dir.path("run.jsonl")));
    EXPECT_EQ(lines[0]["accessions"][1], "P10039.2");  // TENA_CHICK/1495-1571
    std::size_t windows = 0;
    for (const testing::Json &line : lines) {
        if (line["type"] != "quartet")
            continue;
        const int a = line["pair_a"].get<int>(), b = line["pair_b"].get<int>();
        const int records[4] = {2 * a, 2 * a + 1, 2 * b, 2 * b + 1};
        for (const char *kind : {"final_max", "final_min"})
            for (const testing::Json &window : line[kind]) {
                ++windows;
                const long first = window["columns"][0].get<long>();
                for (int i = 0; i < 4; ++i) {
                    const std::string &id = ids[static_cast<std::size_t>(records[i])];
                    const std::string &row = rows[static_cast<std::size_t>(records[i])];
                    const long before = std::count_if(row.begin(), row.begin() + first - 1, [](char c) {
                        return std::isalpha(static_cast<unsigned char>(c));
                    });
                    EXPECT_EQ(window["residues"][i][0], std::stol(id.substr(id.find('/') + 1)) + before) << id;
                }
            }
    }
    EXPECT_GT(windows, 0u);
}

TEST(InputForms, RefusalsWriteNothing)
{
    const std::string sto = read_file(kData + "hmmalign.sto");
    std::string cut_clustal = read_file(kData + "clustalo.aln");
    cut_clustal.erase(cut_clustal.rfind("MYG_LYCPI"));  // the last block loses its last record
    std::string swapped = read_file(kData + "clustalo.aln");
    swapped.replace(swapped.rfind("HBA_MACFA"), 9, "HBA_MACFX");
    const struct {
        std::string name, text;
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {"in.txt", "hello world\n", {}, "its line 1, \"hello world\", starts none of them"},
        {"in.txt", "\x1f\x8b\x08", {}, "looks like a gzip-compressed file"},
        {"two.sto", sto + sto, {}, "line 18: a second alignment starts here"},
        {"cut.sto", sto.substr(0, sto.size() - 3), {}, "does not end with a \"//\" line"},
        {"cut.aln", cut_clustal, {}, "holds 5 of the 6 records of the first block"},
        {"swap.aln", swapped, {}, "HBA_MACFX where the first block has HBA_MACFA"},
        {"back.sto", "# STOCKHOLM 1.0\nX/160-101 AC\nb AC\nc AC\nd AC\n//\n", {}, "X/160-101: the coordinates 160-101"},
        {"odd.sto", "# STOCKHOLM 1.0\na AC\nb AC\nc AC\n//\n", {}, "odd number of records (3)"},
        {"in.a3m", ">a\nACd\n>b\nAC\n>c\nA\n>d\nAC\n", {}, "c has 1 match columns"},
        {"in.fa", sto, {"--format", "a2m"}, "does not start a record with '>'"},
        {"in.sto", "# STOCKHOLM 1.0\nX/101-102 AC\nb AC\nc AC\nd AC\n//\n", {"--pairs", "pairs"},
         "no record of the input is named 'X' (did you mean 'X/101-102'?)"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name + ": " + c.message);
        TempDir dir;
        write_file(dir.path(c.name), c.text);
        write_file(dir.path("pairs"), "X b\nc d\n");
        const auto before = directory_files(dir);
        std::vector<std::string> options = c.options;
        if (!options.empty() && options[0] == "--pairs")
            options[1] = dir.path("pairs");
        const RunResult refused = run(dir.path(c.name), dir.path("out.txt"), options);
        EXPECT_EQ(refused.status, 2);
        EXPECT_NE(refused.errors.find(c.message), std::string::npos) << refused.errors;
        EXPECT_TRUE(directory_files(dir) == before);
    }
}

}  // namespace
}  // namespace kelto
