// The same bytes whatever the number of workers, and bounded memory.
#include <gtest/gtest.h>

#include <random>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::pair_file;
using testing::run_in_process;
using testing::TempDir;

std::string random_sequence(std::mt19937 &engine, std::size_t length)
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::string s(length, 'A');
    for (char &c : s)
        c = letters[engine() % 20];
    return s;
}

void expect_same_output_for_any_worker_count(const std::string &input, const char *randomisations, int status)
{
    TempDir dir;
    testing::write_file(dir.path("in.txt"), input);
    const auto reference = run_in_process({dir.path("in.txt"), dir.path("out.txt"), randomisations}, "5\n", 31337, 1);
    EXPECT_EQ(reference.status, status) << reference.console.substr(reference.console.size() - 200);
    for (int workers : {2, 3, 8}) {
        const auto result = run_in_process({dir.path("in.txt"), dir.path("out.txt"), randomisations}, "5\n", 31337,
                                           workers);
        EXPECT_EQ(result.status, reference.status) << workers;
        EXPECT_TRUE(result.console == reference.console) << workers << " workers: console differs";
        EXPECT_TRUE(result.report == reference.report) << workers << " workers: report differs";
    }
}

TEST(Parallel, ManyQuartetsGiveTheSameBytes)
{
    std::mt19937 engine(8);
    std::vector<std::string> records;
    const std::string common = random_sequence(engine, 60);
    for (int pair = 0; pair < 9; ++pair) {
        const bool repeat = pair % 3 == 2;  // pairs 2, 5, 8 are alike: identical quartets among them
        records.push_back(repeat ? common : random_sequence(engine, 60));
        records.push_back(repeat ? common : random_sequence(engine, 60));
    }
    expect_same_output_for_any_worker_count(pair_file(records), "30", 0);
}

// Pair 3 against the plain pairs 1 and 2 gives a block of +1 that fills the
// maximum window list: the run stops at quartet (1,3), the sixth.
TEST(Parallel, StopMidwayGivesTheSameBytes)
{
    std::mt19937 engine(9);
    const std::string plain(320, 'A');
    const std::string block_first = std::string(256, 'I') + std::string(64, 'A');
    const std::string block_second = std::string(256, 'V') + std::string(64, 'A');
    const std::vector<std::string> records{random_sequence(engine, 320), random_sequence(engine, 320),
                                           plain, plain, plain, plain, block_first, block_second,
                                           random_sequence(engine, 320), random_sequence(engine, 320)};
    TempDir dir;
    testing::write_file(dir.path("in.txt"), pair_file(records));
    const auto result = run_in_process({dir.path("in.txt"), dir.path("out.txt"), "40"}, "2\n", 4, 3);
    EXPECT_EQ(result.status, 2);
    std::size_t quartets = 0;
    for (std::size_t at = 0; (at = result.report.find("GENE QUARTET", at)) != std::string::npos; ++at)
        ++quartets;
    EXPECT_EQ(quartets, 6u);
    EXPECT_NE(result.report.find("IDENTICAL SEQUENCES!"), std::string::npos);
    const std::string stop = "\nToo many significant maximum Windows.\n\nCall the authors. \t\tTHANK YOU .";
    EXPECT_EQ(result.console.substr(result.console.size() - stop.size()), stop);
    expect_same_output_for_any_worker_count(pair_file(records), "40", 2);
}

TEST(Parallel, ThousandPairsStayWithinMemoryBound)
{
    TempDir dir;
    std::vector<std::string> records;
    for (int pair = 0; pair < 1000; ++pair) {
        records.push_back("ARNDC");
        records.push_back(pair % 10 == 0 ? "ARNDV" : "ARNDC");
    }
    testing::write_file(dir.path("in.txt"), pair_file(records));
    const auto result = testing::run_executable({dir.path("in.txt"), "/dev/null", "3"}, "2\n", false);
    EXPECT_EQ(result.status, 0);
    EXPECT_GT(result.peak_rss_kib, 0);
    EXPECT_LT(result.peak_rss_kib, 64 * 1024);
    std::printf("peak resident memory: %ld KiB\n", result.peak_rss_kib);
}

}  // namespace
}  // namespace kelto
