// Compressed outputs (.gz, .zst): a run, a run killed and resumed, and a
// merge of shards must give the plain run's text once decompressed, and
// byte for byte the same compressed files as an uninterrupted compressed
// run; a torn compressed tail is cut back by resume.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::BackgroundRun;
using testing::comparable_lines;
using testing::read_file;
using testing::run_executable;
using testing::TempDir;
using testing::write_file;
using namespace std::chrono_literals;

constexpr auto kTimeout = 120s;
const std::string kT = "2500";

struct Kind {
    const char *suffix;
    const char *decompress;  // the command-line tool, reading the file named after it
};

void PrintTo(const Kind &kind, std::ostream *out) { *out << kind.suffix; }

// The file decompressed by the tool users have (not by kelto's own code).
std::string decompressed(const Kind &kind, const std::string &path)
{
    const std::string command = std::string(kind.decompress) + " '" + path + "'";
    FILE *pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[1 << 16];
    std::size_t got = 0;
    while (pipe != nullptr && (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return text;
}

// The command line of a run in `dir`, its files named with `suffix`.
std::vector<std::string> run_args(const TempDir &dir, const std::string &name, const std::string &suffix,
                                  std::vector<std::string> extra = {})
{
    std::vector<std::string> args{"--seed", "20261207", "--matrix", "BLOSUM62", "--quiet", "--json",
                                  dir.path(name + ".jsonl" + suffix), "--tsv", dir.path(name + ".tsv" + suffix)};
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {dir.path("in.txt"), dir.path(name + ".txt" + suffix), kT});
    return args;
}

struct Files {
    std::string report, tsv, json;
};

Files read_run(const TempDir &dir, const std::string &name, const std::string &suffix)
{
    return Files{read_file(dir.path(name + ".txt" + suffix)), read_file(dir.path(name + ".tsv" + suffix)),
                 read_file(dir.path(name + ".jsonl" + suffix))};
}

// The same files of the same analysis: report and TSV byte for byte, the
// record line for line once decompressed (threads and wall time aside).
void expect_same_run(const Kind &kind, const TempDir &dir, const std::string &name, const std::string &reference)
{
    const Files got = read_run(dir, name, kind.suffix), want = read_run(dir, reference, kind.suffix);
    EXPECT_TRUE(got.report == want.report) << name << ": report of " << got.report.size() << " bytes, not "
                                           << want.report.size();
    EXPECT_TRUE(got.tsv == want.tsv) << name << ": TSV";
    EXPECT_EQ(comparable_lines(decompressed(kind, dir.path(name + ".jsonl" + kind.suffix))),
              comparable_lines(decompressed(kind, dir.path(reference + ".jsonl" + kind.suffix))))
        << name;
}

class Compressed : public ::testing::TestWithParam<Kind> {};

TEST_P(Compressed, RunResumeAndMergeGiveThePlainTextAndTheSameBytes)
{
    const Kind kind = GetParam();
    const std::string sfx = kind.suffix;
    TempDir dir;
    std::mt19937 engine(2026);
    std::vector<std::string> records;
    for (int i = 0; i < 16; ++i)  // 28 quartets
        records.push_back(testing::random_residues(engine, 100));
    write_file(dir.path("in.txt"), testing::pair_file(records));

    // A plain run and a compressed one: the same text once decompressed.
    ASSERT_EQ(run_executable(run_args(dir, "plain", "", {"--threads", "2"})).status, 0);
    ASSERT_EQ(run_executable(run_args(dir, "whole", sfx, {"--threads", "2"})).status, 0);
    const Files plain = read_run(dir, "plain", "");
    const Files whole = read_run(dir, "whole", sfx);
    EXPECT_LT(whole.report.size() * 3, plain.report.size()) << "hardly compressed";
    EXPECT_TRUE(decompressed(kind, dir.path("whole.txt" + sfx)) == plain.report);
    EXPECT_EQ(decompressed(kind, dir.path("whole.tsv" + sfx)), plain.tsv);

    // Every quartet ends a unit where the record says: each prefix is a
    // whole compressed file holding the plain run's text up to that quartet.
    const std::vector<testing::Json> lines = testing::json_lines(decompressed(kind, dir.path("whole.jsonl" + sfx)));
    const std::vector<testing::Json> plain_lines = testing::json_lines(plain.json);
    ASSERT_EQ(lines.size(), plain_lines.size());
    for (std::size_t i = 1; i + 1 < lines.size(); i += 9) {
        write_file(dir.path("prefix" + sfx), whole.report.substr(0, lines[i]["report_bytes"].get<std::size_t>()));
        EXPECT_TRUE(decompressed(kind, dir.path("prefix" + sfx)) ==
                    plain.report.substr(0, plain_lines[i]["report_bytes"].get<std::size_t>()))
            << "quartet line " << i;
    }

    // Killed midway, a torn unit added to each file, then resumed on one thread.
    {
        BackgroundRun run(run_args(dir, "killed", sfx, {"--threads", "2"}), dir.dir, "/dev/null", "/dev/null");
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        struct stat info {};
        while ((stat(dir.path("killed.txt" + sfx).c_str(), &info) != 0 ||
                static_cast<std::size_t>(info.st_size) < whole.report.size() / 3) &&
               !run.wait(0ms) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
        run.send(SIGKILL);
        ASSERT_TRUE(run.wait(kTimeout));
    }
    const Files killed = read_run(dir, "killed", sfx);
    ASSERT_LT(killed.report.size(), whole.report.size()) << "the run ended before it was killed";
    const std::string *full[] = {&whole.report, &whole.tsv, &whole.json};
    const std::string names[] = {"killed.txt", "killed.tsv", "killed.jsonl"};
    for (int f = 0; f < 3; ++f) {
        const std::string now = read_file(dir.path(names[f] + sfx));
        ASSERT_TRUE(full[f]->starts_with(now)) << names[f] << " is not the whole run's beginning";
        write_file(dir.path(names[f] + sfx), now + full[f]->substr(now.size(), 25));
    }
    ASSERT_EQ(run_executable(run_args(dir, "killed", sfx, {"--threads", "1", "--resume"})).status, 0);
    expect_same_run(kind, dir, "killed", "whole");

    // Three shards merged into the whole run's files, the page drawn from
    // the merged compressed record.
    std::vector<std::string> merge{"merge", "--json", dir.path("merged.jsonl" + sfx), "--tsv",
                                   dir.path("merged.tsv" + sfx), "--html", dir.path("merged.html"),
                                   dir.path("merged.txt" + sfx)};
    for (const char *shard : {"1/3", "2/3", "3/3"}) {
        const std::string name = std::string("shard") + shard[0];
        ASSERT_EQ(run_executable(run_args(dir, name, sfx, {"--threads", "2", "--shard", shard})).status, 0);
        merge.push_back(dir.path(name + ".jsonl" + sfx));
    }
    const testing::RunResult merged = run_executable(merge);
    ASSERT_EQ(merged.status, 0) << merged.console;
    expect_same_run(kind, dir, "merged", "whole");
    EXPECT_TRUE(read_file(dir.path("merged.html")).starts_with("<!DOCTYPE html"));
}

// A stopped run's record gzipped whole afterwards (one member, not one line
// a member) can be read, but not cut back at a line: resume refuses it and
// touches nothing.
TEST(CompressedRecord, RecordCompressedWholeIsNotResumed)
{
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(testing::pairs_with_identical_quartets()));
    std::vector<std::string> args{"--seed", "7", "--matrix", "2", "--quiet", "--json", dir.path("run.jsonl"), "--tsv",
                                  dir.path("run.tsv"), dir.path("in.txt"), dir.path("out.txt"), "30"};
    ASSERT_EQ(testing::run_in_process(args, "").status, 0);
    // As a stop after the third quartet leaves the files.
    const std::vector<std::string> lines = testing::whole_lines(read_file(dir.path("run.jsonl")));
    const testing::Json third = testing::Json::parse(lines[3]);
    std::filesystem::resize_file(dir.path("out.txt"), third["report_bytes"].get<std::uintmax_t>());
    std::filesystem::resize_file(dir.path("run.tsv"), third["tsv_bytes"].get<std::uintmax_t>());
    const std::string stopped = lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n" +
                                "{\"type\":\"end\",\"status\":\"interrupted\",\"exit_status\":143,"
                                "\"quartets_written\":3,\"wall_seconds\":1.0}\n";
    FILE *gzip = popen(("gzip -nc > '" + dir.path("run.jsonl.gz") + "'").c_str(), "w");
    ASSERT_NE(gzip, nullptr);
    std::fwrite(stopped.data(), 1, stopped.size(), gzip);
    ASSERT_EQ(pclose(gzip), 0);
    std::filesystem::remove(dir.path("run.jsonl"));
    args[6] = dir.path("run.jsonl.gz");
    args.push_back("--resume");
    const auto before = testing::directory_files(dir);
    const testing::RunResult resumed = testing::run_in_process(args, "");
    EXPECT_EQ(resumed.status, 2);
    EXPECT_NE(resumed.errors.find("is compressed, but not one line a unit as kelto writes it"), std::string::npos)
        << resumed.errors;
    EXPECT_EQ(testing::directory_files(dir), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Compressed,
                         ::testing::Values(Kind{".gz", "gzip -dc"}, Kind{".zst", "zstd -dcq"}),
                         [](const ::testing::TestParamInfo<Kind> &kind) { return std::string(kind.param.suffix + 1); });

}  // namespace
}  // namespace kelto
