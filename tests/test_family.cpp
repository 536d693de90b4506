// The family-wise p-value holds its level where nothing stands out, while
// the per-size test fires on many quartets; a planted block is found, with
// its columns in the alignment and its residue numbers in each record.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::Json;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

std::vector<Json> quartet_lines(const std::string &record)
{
    std::vector<Json> quartets;
    for (const Json &line : testing::json_lines(record))
        if (line["type"] == "quartet")
            quartets.push_back(line);
    return quartets;
}

// 40 pairs of independent random sequences: 780 quartets where nothing
// stands out. With T = J = 999 the family p-value can reach 0.001, so its
// discreteness (ties among the smallest counts) makes it only a little
// conservative. The fraction at or below 0.05 is a binomial proportion of
// 780 (standard deviation 0.78 %), but quartets that share a pair are
// correlated: over six input seeds the fraction ranged from 2.8 % to 6.2 %,
// about 1.5 times the binomial spread. The band, 5 % +- 3.5 %, is three
// such standard deviations wide.
TEST(FamilyWise, HoldsItsLevelWhereTheSizesDoNot)
{
    std::mt19937 engine(15);
    std::vector<std::string> records;
    for (int i = 0; i < 80; ++i)
        records.push_back(testing::random_residues(engine, 24));
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(records));
    const testing::RunResult run = testing::run_in_process({"--quiet", "--seed", "15", "--matrix", "2", "--json",
                                                            dir.path("r.jsonl"), dir.path("in.txt"),
                                                            dir.path("out.txt"), "999"},
                                                           "", 1, 2);
    ASSERT_EQ(run.status, 0) << run.console;
    const std::vector<Json> quartets = quartet_lines(read_file(dir.path("r.jsonl")));
    ASSERT_EQ(quartets.size(), 780u);
    int family = 0, sizes = 0;
    for (const Json &q : quartets) {
        ASSERT_TRUE(q["p_family"].is_number());
        family += q["p_family"].get<double>() <= 0.05;
        sizes += q["significant_max"].get<int>() + q["significant_min"].get<int>() > 0;
    }
    const double family_rate = family / 780.0, sizes_rate = sizes / 780.0;
    std::printf("random quartets: p_family <= 0.05 in %.1f %%, a significant window at some size in %.1f %%\n",
                100 * family_rate, 100 * sizes_rate);
    EXPECT_GE(family_rate, 0.015);
    EXPECT_LE(family_rate, 0.085);
    EXPECT_GT(sizes_rate, 2.5 * family_rate);
}

// The residue number at each column of `record` (letters counted from 1).
std::vector<int> residue_numbers(const std::string &record)
{
    std::vector<int> numbers;
    int letters = 0;
    for (char c : record)
        numbers.push_back(letters += std::isalpha(static_cast<unsigned char>(c)) != 0);
    return numbers;
}

// Pair A identical over columns 21-40 and as unlike as possible elsewhere;
// pair B the other way round. Gaps and an 'X' in several records remove
// columns 1, 3, 10, 11 and 55, so positions and columns differ, and each
// record counts its residues differently.
TEST(FamilyWise, FindsAPlantedBlockWhereItLies)
{
    std::mt19937 engine(4);
    const std::string letters = "ARNDCQEGHILKMFPSTWYV";
    std::array<std::string, 4> r;  // a1, a2, b1, b2
    for (int column = 1; column <= 60; ++column) {
        const char a = letters[engine() % 20], b = letters[engine() % 20];
        const bool block = column >= 21 && column <= 40;
        // W against G scores -2 under BLOSUM62, W against W 11.
        r[0] += block ? a : 'W';
        r[1] += block ? a : 'G';
        r[2] += block ? 'W' : b;
        r[3] += block ? 'G' : b;
    }
    r[1][2] = '-';
    r[2][9] = '-';
    r[3][10] = '.';
    r[0][54] = 'X';
    r[0][0] = '-';  // a1 starts one letter later
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file({r[0], r[1], r[2], r[3]}));
    const testing::RunResult run = testing::run_in_process(
        {"--quiet", "--seed", "2", "--matrix", "2", "--family-randomisations", "999", "--json", dir.path("r.jsonl"),
         "--tsv", dir.path("r.tsv"), dir.path("in.txt"), dir.path("out.txt"), "20000"},
        "");
    ASSERT_EQ(run.status, 0) << run.console;
    const std::vector<Json> quartets = quartet_lines(read_file(dir.path("r.jsonl")));
    ASSERT_EQ(quartets.size(), 1u);
    EXPECT_LT(quartets[0]["p_family"].get<double>(), 0.01);
    bool found = false;
    for (const Json &window : quartets[0]["final_max"]) {
        if (window["columns"] != Json::array({21, 40}))
            continue;
        found = true;
        EXPECT_LT(window["p_family"].get<double>(), 0.01);
        for (std::size_t i = 0; i < 4; ++i) {
            const std::vector<int> numbers = residue_numbers(r[i]);
            EXPECT_EQ(window["residues"][i], Json::array({numbers[20], numbers[39]})) << "record " << i;
        }
    }
    EXPECT_TRUE(found) << quartets[0]["final_max"].dump();
    EXPECT_NE(read_file(dir.path("r.tsv")).find("\t21\t40\t"), std::string::npos);
}

}  // namespace
}  // namespace kelto
