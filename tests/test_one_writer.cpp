// One writer per output: two runs, or two merges, on the same files at the
// same moment. The moment is provoked, not hoped for: the first process
// stops itself at a chosen point (KELTO_TEST_PAUSE), the second runs to its
// end, then the first goes on. Exactly one may exit 0, and its files must
// be those it writes alone.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::BackgroundRun;
using testing::comparable_lines;
using testing::read_file;
using testing::TempDir;
using testing::write_file;
using namespace std::chrono_literals;

constexpr auto kTimeout = 120s;

// The named files of a directory, to compare with a lone process's.
struct Outputs {
    std::string report, json, tsv;
};

Outputs read_outputs(const TempDir &dir, const std::vector<std::string> &names)
{
    return Outputs{read_file(dir.path(names[0])), names.size() > 1 ? read_file(dir.path(names[1])) : "",
                   names.size() > 2 ? read_file(dir.path(names[2])) : ""};
}

void expect_same(const Outputs &got, const Outputs &want)
{
    EXPECT_TRUE(got.report == want.report) << "report of " << got.report.size() << " bytes, not " << want.report.size();
    EXPECT_EQ(comparable_lines(got.json), comparable_lines(want.json));
    EXPECT_EQ(got.tsv, want.tsv);
}

struct Ended {
    int status = -1;
    std::string console, errors;
};

// `first` stopped at its pause point, then `second` run to its end, then
// `first` continued to its end.
std::pair<Ended, Ended> interleave(const TempDir &dir, const std::vector<std::string> &first,
                                   const std::vector<std::string> &second, const std::string &pause)
{
    BackgroundRun one(first, dir.dir, dir.path("console1"), dir.path("errors1"), pause);
    EXPECT_TRUE(one.wait_stopped(kTimeout)) << "the first process never reached " << pause;
    BackgroundRun two(second, dir.dir, dir.path("console2"), dir.path("errors2"));
    EXPECT_TRUE(two.wait(kTimeout));
    one.send(SIGCONT);
    EXPECT_TRUE(one.wait(kTimeout));
    return {Ended{one.end().status, read_file(dir.path("console1")), read_file(dir.path("errors1"))},
            Ended{two.end().status, read_file(dir.path("console2")), read_file(dir.path("errors2"))}};
}

// Exactly one exits 0, the other is refused naming the holder; returns the
// one that exited 0 (0: the first), or -1.
int winner(const std::pair<Ended, Ended> &ends)
{
    const Ended *both[] = {&ends.first, &ends.second};
    int won = -1;
    for (int i = 0; i < 2; ++i) {
        if (both[i]->status == 0) {
            EXPECT_EQ(won, -1) << "both exited 0";
            won = i;
        } else {
            EXPECT_EQ(both[i]->status, 2) << both[i]->console;
            EXPECT_NE(both[i]->errors.find(" is in use by another kelto process (pid "), std::string::npos)
                << both[i]->errors;
        }
    }
    EXPECT_NE(won, -1) << "neither exited 0";
    return won;
}

// Two runs of other seeds sharing one output (the report, the record or the
// TSV; the other files their own), the first stopped after planning, when
// the files are not there yet. Its run must not be cut short by the second,
// nor the second's truncated by the first.
TEST(OneWriter, RunsSharingAnOutput)
{
    const std::string input = testing::pair_file(testing::pairs_with_identical_quartets());
    const auto args = [](const std::string &seed, const std::vector<std::string> &names) {
        return std::vector<std::string>{"--quiet", "--seed", seed, "--matrix", "2", "--threads", "1",
                                        "--json",  names[1], "--tsv",  names[2],  "in.txt",   names[0], "30"};
    };
    for (int shared = 0; shared < 3; ++shared) {
        SCOPED_TRACE("shared file " + std::to_string(shared));
        std::vector<std::string> one{"r1.txt", "r1.jsonl", "r1.tsv"}, two{"r2.txt", "r2.jsonl", "r2.tsv"};
        two[static_cast<std::size_t>(shared)] = one[static_cast<std::size_t>(shared)];
        TempDir dir, alone;
        write_file(dir.path("in.txt"), input);
        write_file(alone.path("in.txt"), input);
        const auto ends = interleave(dir, args("5", one), args("6", two), "run-planned");
        const int won = winner(ends);
        if (won < 0)
            continue;
        const std::vector<std::string> &names = won == 0 ? one : two;
        BackgroundRun solo(args(won == 0 ? "5" : "6", names), alone.dir, alone.path("console"), alone.path("errors"));
        ASSERT_TRUE(solo.wait(kTimeout));
        ASSERT_EQ(solo.end().status, 0);
        expect_same(read_outputs(dir, names), read_outputs(alone, names));
    }
}

// Two merges of two runs' shards (seeds 42 and 43) into the same outputs,
// the first stopped once its outputs are staged (before any is renamed into
// place) or after putting its first output in place. The outputs are new,
// or already there; the merged files must all be one merge's.
TEST(OneWriter, MergesIntoTheSameOutputs)
{
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(testing::pairs_with_identical_quartets()));
    std::vector<std::string> parts[2];
    for (int run = 0; run < 2; ++run)
        for (int k = 1; k <= 2; ++k) {
            std::string name = "s";
            name += std::to_string(10 * run + k);
            const std::vector<std::string> args{dir.path("in.txt"), dir.path(name + ".txt"), "30", "--quiet",
                                                "--seed", std::to_string(42 + run), "--matrix", "2",
                                                "--json", dir.path(name + ".jsonl"), "--tsv", dir.path(name + ".tsv"),
                                                "--shard", std::to_string(k) + "/2"};
            ASSERT_EQ(testing::run_in_process(args, "").status, 0);
            parts[run].push_back(name + ".jsonl");
        }
    const auto merge = [&](int run, const std::string &out, bool all) {
        std::vector<std::string> args{"merge", out + ".txt"};
        if (all)
            args.insert(args.end(), {"--json", out + ".jsonl", "--tsv", out + ".tsv"});
        args.insert(args.end(), parts[run].begin(), parts[run].end());
        return args;
    };
    Outputs alone[2][2];
    for (int run = 0; run < 2; ++run)
        for (bool all : {false, true}) {
            const std::string out = "alone" + std::to_string(run) + (all ? "all" : "");
            BackgroundRun solo(merge(run, out, all), dir.dir, dir.path("console"), dir.path("errors"));
            ASSERT_TRUE(solo.wait(kTimeout));
            ASSERT_EQ(solo.end().status, 0) << read_file(dir.path("console"));
            alone[run][all] = read_outputs(dir, all ? std::vector<std::string>{out + ".txt", out + ".jsonl", out + ".tsv"}
                                                    : std::vector<std::string>{out + ".txt"});
        }
    const struct {
        std::string out;
        bool all, exists;
        const char *pause;
    } cases[] = {{"staged", true, false, "staged-written"},
                 {"new", true, false, "staged-renamed"},
                 {"old", true, true, "staged-renamed"},
                 {"oldreport", false, true, "staged-renamed"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.out);
        const std::vector<std::string> names =
            c.all ? std::vector<std::string>{c.out + ".txt", c.out + ".jsonl", c.out + ".tsv"}
                  : std::vector<std::string>{c.out + ".txt"};
        if (c.exists)
            for (const std::string &name : names)
                write_file(dir.path(name), "old\n");
        const int won = winner(interleave(dir, merge(1, c.out, c.all), merge(0, c.out, c.all), c.pause));
        if (won >= 0)
            expect_same(read_outputs(dir, names), alone[won == 0 ? 1 : 0][c.all]);
    }
    for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
        EXPECT_EQ(entry.path().filename().string().find(".kelto-"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace kelto
