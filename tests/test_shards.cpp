// Shards and their merge: the blocks, a shard's files, the merged files
// against one whole run, and every refusal of `kelto merge`.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/shards.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::pair_file;
using testing::read_file;
using testing::run_in_process;
using testing::TempDir;
using testing::write_file;
using Json = nlohmann::ordered_json;

// ---- blocks -------------------------------------------------------------

// Identical flags in quartet order, straight from the score vectors.
std::vector<bool> identical_quartets(const std::vector<std::vector<int>> &scores)
{
    std::vector<bool> flags;
    for (std::size_t a = 0; a < scores.size(); ++a)
        for (std::size_t b = a + 1; b < scores.size(); ++b)
            flags.push_back(scores[a] == scores[b]);
    return flags;
}

std::vector<std::pair<long long, long long>> blocks(const std::vector<std::vector<int>> &scores, int count)
{
    std::vector<std::pair<long long, long long>> result;
    for (int k = 1; k <= count; ++k) {
        const QuartetRange range = shard_range(scores, k, count);
        result.emplace_back(range.first, range.end);
    }
    return result;
}

using Blocks = std::vector<std::pair<long long, long long>>;

TEST(ShardBlocks, PairClassesNumberEqualScoresAlike)
{
    EXPECT_EQ(pair_classes({{1, 2}, {3, 4}, {1, 2}, {0, 0}, {3, 4}}), (std::vector<int>{0, 1, 0, 2, 1}));
    EXPECT_EQ(pair_classes({{}, {}, {}}), (std::vector<int>{0, 0, 0}));
}

// Pairs 1 and 2 alike: quartet (1,2), the fifth, is identical and stays
// with the non-identical quartet after it.
TEST(ShardBlocks, CutsByNonIdenticalQuartets)
{
    const std::vector<std::vector<int>> scores{{1}, {2}, {2}, {3}, {4}};
    EXPECT_EQ(blocks(scores, 1), (Blocks{{0, 10}}));
    EXPECT_EQ(blocks(scores, 3), (Blocks{{0, 3}, {3, 7}, {7, 10}}));
    EXPECT_EQ(blocks(scores, 2), (Blocks{{0, 5}, {5, 10}}));  // 4 and 5 non-identical quartets
    const Blocks nine = blocks(scores, 9);
    EXPECT_EQ(nine[3], std::make_pair(3LL, 5LL));
    EXPECT_EQ(nine[4], std::make_pair(5LL, 6LL));
}

TEST(ShardBlocks, LeadingIdenticalQuartetsAndMoreShardsThanWork)
{
    // Quartet 0 identical; 2 non-identical quartets (1 and 2) for 4 shards.
    const std::vector<std::vector<int>> scores{{5, 5}, {5, 5}, {6, 5}};
    EXPECT_EQ(blocks(scores, 4), (Blocks{{0, 1}, {1, 2}, {2, 2}, {2, 3}}));
    EXPECT_EQ(blocks(scores, 2), (Blocks{{0, 2}, {2, 3}}));
}

TEST(ShardBlocks, AllIdenticalQuartetsAreSharedOutEvenly)
{
    const std::vector<std::vector<int>> scores(5, std::vector<int>{7, 7, 7});
    EXPECT_EQ(blocks(scores, 3), (Blocks{{0, 3}, {3, 6}, {6, 10}}));
    EXPECT_EQ(blocks(scores, 12).back(), std::make_pair(9LL, 10LL));
}

TEST(ShardBlocks, BlocksAreContiguousAndBalanced)
{
    std::mt19937 engine(11);
    for (int trial = 0; trial < 40; ++trial) {
        const int pairs = 2 + static_cast<int>(engine() % 30);
        const int kinds = 1 + static_cast<int>(engine() % 8);  // few kinds: many identical quartets
        std::vector<std::vector<int>> scores;
        for (int p = 0; p < pairs; ++p)
            scores.push_back({static_cast<int>(engine() % static_cast<unsigned>(kinds)), 1});
        const std::vector<bool> identical = identical_quartets(scores);
        long long different = 0;
        for (bool same : identical)
            different += same ? 0 : 1;
        for (int count : {1, 2, 3, 5, 7, 50}) {
            SCOPED_TRACE("pairs " + std::to_string(pairs) + ", shards " + std::to_string(count));
            const Blocks cut = blocks(scores, count);
            long long low = -1, high = -1;
            for (std::size_t k = 0; k < cut.size(); ++k) {
                EXPECT_EQ(cut[k].first, k == 0 ? 0 : cut[k - 1].second);
                EXPECT_LE(cut[k].first, cut[k].second);
                long long work = 0;
                for (long long q = cut[k].first; q < cut[k].second; ++q)
                    work += identical[static_cast<std::size_t>(q)] ? 0 : 1;
                low = low < 0 ? work : std::min(low, work);
                high = std::max(high, work);
                // A block begins with a non-identical quartet, or it is empty or the first.
                if (different > 0 && k > 0 && cut[k].first < cut[k].second) {
                    EXPECT_FALSE(identical[static_cast<std::size_t>(cut[k].first)]);
                }
            }
            EXPECT_EQ(cut.back().second, static_cast<long long>(identical.size()));
            EXPECT_LE(high - low, 1);
            EXPECT_EQ(high, (different + count - 1) / count);
        }
    }
}

// ---- runs and merges ----------------------------------------------------

std::string random_sequence(std::mt19937 &engine, std::size_t length)
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::string s(length, 'A');
    for (char &c : s)
        c = letters[engine() % 20];
    return s;
}

// Nine pairs of 60 residues; pairs 2, 5 and 8 alike, so quartets (2,5),
// (2,8) and (5,8) are identical.
std::string nine_pairs()
{
    std::mt19937 engine(8);
    std::vector<std::string> records;
    const std::string common = random_sequence(engine, 60);
    for (int pair = 0; pair < 9; ++pair) {
        const bool repeat = pair % 3 == 2;
        records.push_back(repeat ? common : random_sequence(engine, 60));
        records.push_back(repeat ? common : random_sequence(engine, 60));
    }
    return pair_file(records);
}

// Five pairs; pair 3 against the plain pairs 1 and 2 fills the maximum
// window list, so the whole run stops at quartet (1,3), the sixth, after
// the identical quartet (1,2).
std::string stopping_pairs()
{
    std::mt19937 engine(9);
    const std::string plain(320, 'A');
    const std::string block_first = std::string(256, 'I') + std::string(64, 'A');
    const std::string block_second = std::string(256, 'V') + std::string(64, 'A');
    return pair_file({random_sequence(engine, 320), random_sequence(engine, 320), plain, plain, plain, plain,
                      block_first, block_second, random_sequence(engine, 320), random_sequence(engine, 320)});
}

// A run's files in dir, named after `name`.
struct RunFiles {
    std::string report, json, tsv;
};

RunFiles files_of(const TempDir &dir, std::string name, int number = 0)
{
    if (number > 0)
        name += std::to_string(number);
    return {dir.path(name + ".txt"), dir.path(name + ".jsonl"), dir.path(name + ".tsv")};
}

struct Setting {
    std::string seed = "42";
    std::string t = "30";
    std::string matrix = "2";
};

// Runs the whole analysis (shard 0) or shard k of n; returns the exit status.
int run_part(const std::string &input, const RunFiles &files, const Setting &setting, int k = 0, int n = 0,
             int workers = 1, bool tsv = true)
{
    std::vector<std::string> args{input, files.report, setting.t, "--quiet", "--seed", setting.seed,
                                  "--matrix", setting.matrix, "--json", files.json};
    if (tsv) {
        args.push_back("--tsv");
        args.push_back(files.tsv);
    }
    if (n > 0) {
        args.push_back("--shard");
        args.push_back(std::to_string(k) + "/" + std::to_string(n));
    }
    return run_in_process(args, "", 1, workers).status;
}

testing::RunResult merge_parts(const RunFiles &out, const std::vector<std::string> &parts, bool tsv = true,
                         bool json = true)
{
    std::vector<std::string> args{"merge", out.report};
    if (json) {
        args.push_back("--json");
        args.push_back(out.json);
    }
    if (tsv) {
        args.push_back("--tsv");
        args.push_back(out.tsv);
    }
    args.insert(args.end(), parts.begin(), parts.end());
    return run_in_process(args, "", 1);
}

// The JSON lines with the fields that may differ (wall time, threads) dropped.
std::vector<std::string> comparable_lines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        Json line = Json::parse(text.substr(at, end - at), nullptr, false);
        if (line.is_discarded())
            lines.push_back("not JSON: " + text.substr(at, end - at));
        else {
            line.erase("wall_seconds");
            line.erase("threads");
            lines.push_back(line.dump());
        }
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

// Runs the whole run and n shards (each with `workers` threads), merges
// them given in reverse order and compares the merged files with the whole
// run's. Returns the merge's exit status.
int expect_merge_equals_whole(const std::string &input_text, const Setting &setting, int n, int workers = 1)
{
    SCOPED_TRACE(std::to_string(n) + " shards");
    TempDir dir;
    const std::string input = dir.path("in.txt");
    write_file(input, input_text);
    const RunFiles whole = files_of(dir, "whole");
    const int whole_status = run_part(input, whole, setting, 0, 0, 2);
    std::vector<std::string> parts;
    for (int k = n; k >= 1; --k) {
        const RunFiles part = files_of(dir, "part", k);
        run_part(input, part, setting, k, n, workers);
        parts.push_back(part.json);
    }
    const RunFiles merged = files_of(dir, "merged");
    const testing::RunResult result = merge_parts(merged, parts);
    EXPECT_EQ(result.status, whole_status) << result.console;
    EXPECT_TRUE(read_file(merged.report) == read_file(whole.report)) << "reports differ";
    EXPECT_EQ(read_file(merged.tsv), read_file(whole.tsv));
    EXPECT_EQ(comparable_lines(read_file(merged.json)), comparable_lines(read_file(whole.json)));
    return result.status;
}

TEST(ShardMerge, MergedFilesEqualTheWholeRun)
{
    const std::string input = nine_pairs();
    for (int n : {1, 2, 3, 7})
        EXPECT_EQ(expect_merge_equals_whole(input, Setting{}, n, n == 3 ? 2 : 1), 0);
}

TEST(ShardMerge, EmptyShardsWhenThereAreMoreShardsThanQuartets)
{
    const std::string input = pair_file({"ARNDCQ", "ARNDCE", "ARNDCQ", "ARNDCE", "WRNDCQ", "ARNDCE"});
    EXPECT_EQ(expect_merge_equals_whole(input, Setting{"5", "20", "BLOSUM45"}, 5), 0);
}

TEST(ShardMerge, StopInAMiddleShardEndsTheMergedRunThere)
{
    const std::string input = stopping_pairs();
    const Setting setting{"4", "40", "2"};
    for (int n : {2, 3, 7})
        EXPECT_EQ(expect_merge_equals_whole(input, setting, n), 2);

    // With 3 shards the stop (quartet 5) is in shard 2 = [3, 7). Shard 3 stops
    // as well, at quartet (2,3), which the whole run never reaches: unused.
    TempDir dir;
    write_file(dir.path("in.txt"), input);
    std::vector<std::string> parts;
    for (int k = 1; k <= 3; ++k) {
        const RunFiles part = files_of(dir, "p", k);
        EXPECT_EQ(run_part(dir.path("in.txt"), part, setting, k, 3), k == 1 ? 0 : 2);
        parts.push_back(part.json);
    }
    const Json run = Json::parse(read_file(parts[1]).substr(0, read_file(parts[1]).find('\n')));
    EXPECT_EQ(run["shard"]["first"], 3);
    EXPECT_EQ(run["shard"]["end"], 7);
    const RunFiles merged = files_of(dir, "m");
    const testing::RunResult result = merge_parts(merged, parts);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.console.find(parts[1] + ": the run stopped at quartet 5 (too_many_maximum)"), std::string::npos)
        << result.console;
    const std::string json = read_file(merged.json);
    EXPECT_NE(json.find("{\"type\":\"end\",\"status\":\"too_many_maximum\",\"exit_status\":2,\"quartets_written\":6,"),
              std::string::npos);
}

// A shard's files: the heading, T line and its own quartets of the whole
// run's report; its quartet lines as in the whole run but for the byte counts.
TEST(ShardMerge, AShardHoldsItsBlockOfTheWholeRun)
{
    TempDir dir;
    const std::string input = dir.path("in.txt");
    write_file(input, nine_pairs());
    const RunFiles whole = files_of(dir, "whole");
    ASSERT_EQ(run_part(input, whole, Setting{}), 0);
    const RunFiles part = files_of(dir, "part");
    ASSERT_EQ(run_part(input, part, Setting{}, 2, 3, 1, false), 0);

    const std::vector<std::string> whole_lines = comparable_lines(read_file(whole.json));
    const std::string text = read_file(part.json);
    const Json run = Json::parse(text.substr(0, text.find('\n')));
    const Json shard = run["shard"];
    EXPECT_EQ(shard.dump(), "{\"index\":2,\"count\":3,\"first\":11,\"end\":24,\"report\":\"" + part.report +
                                "\",\"tsv\":null}");
    const long long first = shard["first"], end = shard["end"];
    const std::vector<std::string> lines = comparable_lines(text);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(end - first + 2));
    const std::string whole_report = read_file(whole.report);
    const std::size_t heading = whole_report.find("\nT = 30 \n") + 9;
    const auto whole_bytes = [&](long long q) {
        return q < 0 ? heading : Json::parse(whole_lines[static_cast<std::size_t>(q + 1)])["report_bytes"].get<std::size_t>();
    };
    std::uint64_t shard_bytes = heading;
    for (long long q = first; q < end; ++q) {
        Json mine = Json::parse(lines[static_cast<std::size_t>(q - first + 1)]);
        Json theirs = Json::parse(whole_lines[static_cast<std::size_t>(q + 1)]);
        shard_bytes += whole_bytes(q) - whole_bytes(q - 1);
        EXPECT_EQ(mine["report_bytes"], shard_bytes);
        for (const char *key : {"report_bytes", "tsv_bytes"}) {
            mine.erase(key);
            theirs.erase(key);
        }
        EXPECT_EQ(mine, theirs) << q;
    }
    EXPECT_EQ(read_file(part.report), whole_report.substr(0, heading) +
                                          whole_report.substr(whole_bytes(first - 1), whole_bytes(end - 1) - whole_bytes(first - 1)));
    EXPECT_EQ(lines.back(), comparable_lines("{\"type\":\"end\",\"status\":\"completed\",\"exit_status\":0,"
                                             "\"quartets_written\":13,\"wall_seconds\":0}")[0]);
}

// A shard killed after a few quartets (its files cut back) is resumed
// with --resume like any run, and the merge still equals the whole run.
TEST(ShardMerge, AResumedShardMergesLikeAnUninterruptedOne)
{
    TempDir dir;
    const std::string input = dir.path("in.txt");
    write_file(input, nine_pairs());
    const RunFiles whole = files_of(dir, "whole");
    ASSERT_EQ(run_part(input, whole, Setting{}), 0);
    std::vector<std::string> parts;
    for (int k = 1; k <= 2; ++k) {
        parts.push_back(files_of(dir, "p", k).json);
        ASSERT_EQ(run_part(input, files_of(dir, "p", k), Setting{}, k, 2), 0);
    }
    // Shard 2 as a kill after its third quartet leaves it: three quartet
    // lines, and a report and TSV as long as the third line says.
    const RunFiles second = files_of(dir, "p", 2);
    const std::string text = read_file(second.json);
    std::size_t cut = 0;
    for (int line = 0; line < 4; ++line)
        cut = text.find('\n', cut) + 1;
    write_file(second.json, text.substr(0, cut));
    const Json third = Json::parse(comparable_lines(text.substr(0, cut))[3]);
    std::filesystem::resize_file(second.report, third["report_bytes"].get<std::uintmax_t>());
    std::filesystem::resize_file(second.tsv, third["tsv_bytes"].get<std::uintmax_t>());
    const testing::RunResult resumed =
        run_in_process({input, second.report, "30", "--quiet", "--resume", "--seed", "42", "--matrix", "2",
                        "--json", second.json, "--tsv", second.tsv, "--shard", "2/2"}, "", 1, 2);
    ASSERT_EQ(resumed.status, 0) << resumed.console;
    const RunFiles merged = files_of(dir, "merged");
    EXPECT_EQ(merge_parts(merged, parts).status, 0);
    EXPECT_TRUE(read_file(merged.report) == read_file(whole.report)) << "reports differ";
    EXPECT_EQ(read_file(merged.tsv), read_file(whole.tsv));
    EXPECT_EQ(comparable_lines(read_file(merged.json)), comparable_lines(read_file(whole.json)));
}

// ---- refusals -----------------------------------------------------------

// Three shards of the nine-pair input, and outputs that already hold text.
struct Refusals : ::testing::Test {
    TempDir dir;
    std::string input = dir.path("in.txt");
    std::vector<RunFiles> parts;
    RunFiles out = files_of(dir, "out");

    void SetUp() override
    {
        write_file(input, nine_pairs());
        for (int k = 1; k <= 3; ++k) {
            parts.push_back(files_of(dir, "p", k));
            ASSERT_EQ(run_part(input, parts.back(), Setting{"42", "10"}, k, 3), 0);
        }
        write_file(out.report, "old report\n");
        write_file(out.json, "old json\n");
        write_file(out.tsv, "old tsv\n");
    }

    std::vector<std::string> jsons(std::initializer_list<int> ks) const
    {
        std::vector<std::string> list;
        for (int k : ks)
            list.push_back(parts[static_cast<std::size_t>(k - 1)].json);
        return list;
    }

    // The merge refuses with a message holding `message`; nothing is written.
    void expect_refused(const std::vector<std::string> &given, const std::string &message, bool tsv = true)
    {
        const testing::RunResult result = merge_parts(out, given, tsv);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.console.find(message), std::string::npos) << result.console;
        EXPECT_EQ(std::count(result.console.begin(), result.console.end(), '\n'), 1) << result.console;
        EXPECT_EQ(read_file(out.report), "old report\n");
        EXPECT_EQ(read_file(out.json), "old json\n");
        EXPECT_EQ(read_file(out.tsv), "old tsv\n");
        for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
            EXPECT_EQ(entry.path().filename().string().find(".kelto-"), std::string::npos) << entry.path();
    }

    void edit(const std::string &path, const std::string &from, const std::string &to)
    {
        std::string text = read_file(path);
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        write_file(path, text.replace(at, from.size(), to));
    }

    // Reruns shard 2 with another setting or input.
    void rerun_second(const Setting &setting, const std::string &other_input = "")
    {
        ASSERT_EQ(run_part(other_input.empty() ? input : other_input, parts[1], setting, 2, 3), 0);
    }
};

TEST_F(Refusals, TheSameThreeShardsMerge)
{
    const testing::RunResult result = merge_parts(out, jsons({2, 3, 1}));
    EXPECT_EQ(result.status, 0) << result.console;
    EXPECT_NE(read_file(out.report), "old report\n");
}

TEST_F(Refusals, MissingPart)
{
    expect_refused(jsons({1, 3}), "kelto merge: shard 2/3 is missing");
    std::filesystem::remove(parts[1].json);
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": cannot be opened");
}

TEST_F(Refusals, DuplicatePart)
{
    expect_refused(jsons({1, 2, 3, 2}), parts[1].json + ": shard 2/3 again (also " + parts[1].json + ")");
}

TEST_F(Refusals, OverlappingParts)
{
    edit(parts[0].json, "\"end\":11", "\"end\":12");
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": its block [11, 24) overlaps the block [0, 12) of " +
                                         parts[0].json);
}

TEST_F(Refusals, PartWithoutEndLine)
{
    std::string text = read_file(parts[1].json);
    text.erase(text.rfind("\n{") + 1);
    write_file(parts[1].json, text);
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": it has no end line: the shard did not finish");
    write_file(parts[1].json, text.substr(0, text.size() - 7));
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": its last line is cut off");
}

TEST_F(Refusals, PartWithMissingQuartets)
{
    // Its last quartet line removed: the end line claims a completed block.
    std::string text = read_file(parts[1].json);
    const std::size_t end_line = text.rfind("\n{") + 1;
    const std::size_t last_quartet = text.rfind("\n{", end_line - 2) + 1;
    write_file(parts[1].json, text.erase(last_quartet, end_line - last_quartet));
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": incomplete: it holds 12 of the 13 quartets of its block");
}

TEST_F(Refusals, InterruptedPart)
{
    edit(parts[2].json, "\"status\":\"completed\"", "\"status\":\"interrupted\"");
    expect_refused(jsons({1, 2, 3}), parts[2].json + ": the shard stopped (interrupted): rerun it");
}

TEST_F(Refusals, TruncatedReportOrTsv)
{
    const std::string report = read_file(parts[1].report);
    write_file(parts[1].report, report.substr(0, report.size() - 10));
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": its report " + parts[1].report + " holds " +
                                         std::to_string(report.size() - 10) + " bytes, its record says " +
                                         std::to_string(report.size()));
    write_file(parts[1].report, report);
    const std::string tsv = read_file(parts[2].tsv);
    write_file(parts[2].tsv, tsv + "x");
    expect_refused(jsons({1, 2, 3}), parts[2].json + ": its TSV " + parts[2].tsv + " holds");
    // Without --tsv the TSVs are not read.
    EXPECT_EQ(merge_parts(out, jsons({1, 2, 3}), false).status, 0);
}

TEST_F(Refusals, ReportOfAnotherRun)
{
    std::string report = read_file(parts[0].report);
    report[0] = '*';
    write_file(parts[0].report, report);
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": its report " + parts[1].report +
                                         " has another heading than the first part's");
}

TEST_F(Refusals, MismatchedSeedTMatrixOrInput)
{
    rerun_second(Setting{"43", "10"});
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": not the same run as " + parts[0].json + ": its seed differs");
    rerun_second(Setting{"42", "11"});
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": not the same run as " + parts[0].json + ": its T differs");
    rerun_second(Setting{"42", "10", "PAM30"});
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": not the same run as " + parts[0].json + ": its matrix differs");
    // One residue changed: same length, another checksum.
    std::string other = read_file(input);
    const std::size_t at = other.find('\n', other.find(">s3")) + 1;
    other[at] = other[at] == 'A' ? 'R' : 'A';
    write_file(dir.path("other.txt"), other);
    rerun_second(Setting{"42", "10"}, dir.path("other.txt"));
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": not the same run as " + parts[0].json +
                                         ": its input xxh3_128 differs");
    // Another shard count.
    ASSERT_EQ(run_part(input, parts[1], Setting{"42", "10"}, 2, 4), 0);
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": it is shard 2/4, " + parts[0].json + " one of 3 shards");
}

TEST_F(Refusals, NotAShardsRecordOrNotARecord)
{
    const RunFiles whole = files_of(dir, "whole");
    ASSERT_EQ(run_part(input, whole, Setting{"42", "10"}), 0);
    expect_refused({whole.json}, whole.json + ": its record is not a shard's");
    write_file(parts[2].json, "{\"type\":\"run\"\n");
    expect_refused(jsons({1, 2, 3}), parts[2].json + ": line 1 is not a JSON record line");
}

TEST_F(Refusals, PartWithoutTsvWhenATsvIsAsked)
{
    ASSERT_EQ(run_part(input, parts[1], Setting{"42", "10"}, 2, 3, 1, false), 0);
    expect_refused(jsons({1, 2, 3}), parts[1].json + ": the shard wrote no TSV (run it with --tsv)");
}

TEST_F(Refusals, OutputThatIsAnInputOrAnotherOutput)
{
    RunFiles clash = out;
    clash.json = parts[2].json;
    const std::string before = read_file(parts[2].json);
    testing::RunResult result = merge_parts(clash, jsons({1, 2, 3}));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.console, "kelto merge: " + parts[2].json + ": the output " + parts[2].json +
                                  " is this part's record\n");
    EXPECT_EQ(read_file(parts[2].json), before);
    clash = out;
    clash.tsv = parts[0].report;
    result = merge_parts(clash, jsons({1, 2, 3}));
    EXPECT_EQ(result.console, "kelto merge: " + parts[0].json + ": the output " + parts[0].report +
                                  " is this part's report\n");
    clash = out;
    clash.json = dir.dir + "/./out.txt";
    result = merge_parts(clash, jsons({1, 2, 3}));
    EXPECT_EQ(result.console, "kelto merge: the JSON file " + clash.json + " is the same file as the report file " +
                                  out.report + "\n");
    EXPECT_EQ(read_file(out.report), "old report\n");
}

TEST_F(Refusals, UsageAndPage)
{
    const testing::RunResult usage = run_in_process({"merge", out.report}, "", 1);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.console.rfind("kelto merge: an output report and at least one part are needed\n", 0), 0u);
    const testing::RunResult page = run_in_process({"merge", out.report, "--html", dir.path("p.html"),
                                                    parts[0].json, parts[1].json, parts[2].json}, "", 1);
    EXPECT_EQ(page.status, 2);
    EXPECT_NE(page.console.find("--html needs --json"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path("p.html")));
    EXPECT_EQ(read_file(out.report), "old report\n");

    // With the merged record, the page of the whole run is drawn from it.
    const testing::RunResult drawn =
        run_in_process({"merge", out.report, "--json", dir.path("m.jsonl"), "--html", dir.path("p.html"),
                        parts[0].json, parts[1].json, parts[2].json},
                       "", 1);
    EXPECT_EQ(drawn.status, 0) << drawn.console;
    const std::string html = read_file(dir.path("p.html"));
    EXPECT_NE(html.find("data-quartets"), std::string::npos);
}

}  // namespace
}  // namespace kelto
