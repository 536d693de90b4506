// Shards and their merge: the blocks, a shard's files, the merged files
// against one whole run, and every refusal of `kelto merge`.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "run/shards.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::comparable_lines;
using testing::Json;
using testing::pair_file;
using testing::read_file;
using testing::run_in_process;
using testing::TempDir;
using testing::write_file;

// ---- blocks -------------------------------------------------------------

using Blocks = std::vector<std::pair<long long, long long>>;

Blocks blocks(const std::vector<std::vector<int>> &scores, int count)
{
    Blocks result;
    for (int k = 1; k <= count; ++k) {
        const QuartetRange range = shard_range(scores, k, count);
        result.emplace_back(range.first, range.end);
    }
    return result;
}

// Pairs that score alike share a class; when every quartet is identical the
// quartets are shared out evenly (the rest is checked on random inputs below).
TEST(ShardBlocks, PairClassesAndOnlyIdenticalQuartets)
{
    EXPECT_EQ(pair_classes({{1, 2}, {3, 4}, {1, 2}, {0, 0}, {3, 4}}), (std::vector<int>{0, 1, 0, 2, 1}));
    EXPECT_EQ(pair_classes({{}, {}, {}}), (std::vector<int>{0, 0, 0}));
    const std::vector<std::vector<int>> alike(5, std::vector<int>{7, 7, 7});
    EXPECT_EQ(blocks(alike, 3), (Blocks{{0, 3}, {3, 6}, {6, 10}}));
    EXPECT_EQ(blocks(alike, 12).back(), std::make_pair(9LL, 10LL));
    // Exact cuts: block k ends where the floor(k W / N)-th non-identical quartet begins.
    const std::vector<std::vector<int>> distinct = {{1}, {2}, {3}, {4}, {5}};
    EXPECT_EQ(blocks(distinct, 3), (Blocks{{0, 3}, {3, 6}, {6, 10}}));
    EXPECT_EQ(blocks(distinct, 4), (Blocks{{0, 2}, {2, 5}, {5, 7}, {7, 10}}));
    // Quartet 1, pairs (0,2), is identical: it stays with quartet 2 after it.
    EXPECT_EQ(blocks({{1}, {2}, {1}, {3}}, 2), (Blocks{{0, 3}, {3, 6}}));
    EXPECT_EQ(blocks({{1}, {2}, {1}, {3}}, 5), (Blocks{{0, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}}));
}

// Contiguous blocks covering every quartet, each beginning with a
// non-identical quartet (so an identical one stays with the quartet after
// it), holding equal shares of the non-identical quartets.
TEST(ShardBlocks, BlocksAreContiguousAndBalanced)
{
    std::mt19937 engine(11);
    for (int trial = 0; trial < 40; ++trial) {
        const int pairs = 2 + static_cast<int>(engine() % 30);
        const unsigned kinds = 1 + engine() % 8;  // few kinds: many identical quartets
        std::vector<std::vector<int>> scores;
        for (int p = 0; p < pairs; ++p)
            scores.push_back({static_cast<int>(engine() % kinds), 1});
        std::vector<bool> identical;
        for (std::size_t a = 0; a < scores.size(); ++a)
            for (std::size_t b = a + 1; b < scores.size(); ++b)
                identical.push_back(scores[a] == scores[b]);
        const long long different = std::count(identical.begin(), identical.end(), false);
        for (int count : {1, 2, 3, 5, 7, 50}) {
            SCOPED_TRACE("pairs " + std::to_string(pairs) + ", shards " + std::to_string(count));
            const Blocks cut = blocks(scores, count);
            long long low = -1, high = -1;
            for (std::size_t k = 0; k < cut.size(); ++k) {
                EXPECT_EQ(cut[k].first, k == 0 ? 0 : cut[k - 1].second);
                EXPECT_LE(cut[k].first, cut[k].second);
                const long long work =
                    std::count(identical.begin() + cut[k].first, identical.begin() + cut[k].second, false);
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

// Runs the whole analysis (n = 0) or shard k of n; returns the exit status.
int run_part(const std::string &input, const RunFiles &files, const Setting &setting, int k = 0, int n = 0,
             int workers = 1, bool tsv = true)
{
    std::vector<std::string> args{input,    files.report,   setting.t, "--quiet", "--seed", setting.seed,
                                  "--matrix", setting.matrix, "--json",  files.json};
    if (tsv)
        args.insert(args.end(), {"--tsv", files.tsv});
    if (n > 0)
        args.insert(args.end(), {"--shard", std::to_string(k) + "/" + std::to_string(n)});
    return run_in_process(args, "", 1, workers).status;
}

testing::RunResult merge_parts(const RunFiles &out, const std::vector<std::string> &parts, bool tsv = true)
{
    std::vector<std::string> args{"merge", out.report, "--json", out.json};
    if (tsv)
        args.insert(args.end(), {"--tsv", out.tsv});
    args.insert(args.end(), parts.begin(), parts.end());
    return run_in_process(args, "");
}

void expect_same_files(const RunFiles &got, const RunFiles &want)
{
    EXPECT_TRUE(read_file(got.report) == read_file(want.report)) << "reports differ";
    EXPECT_EQ(read_file(got.tsv), read_file(want.tsv));
    EXPECT_EQ(comparable_lines(read_file(got.json)), comparable_lines(read_file(want.json)));
}

// The whole run and n shards of it (each with `workers` threads), merged
// from the parts given in reverse order; the merged files must be the whole
// run's.
struct Sharded {
    TempDir dir;
    RunFiles whole = files_of(dir, "whole"), merged = files_of(dir, "merged");
    std::vector<int> statuses;       // of shard k at k - 1
    std::vector<std::string> parts;  // their records
    testing::RunResult merge;

    Sharded(const std::string &input, const Setting &setting, int n, int workers = 1)
    {
        SCOPED_TRACE(std::to_string(n) + " shards");
        write_file(dir.path("in.txt"), input);
        const int whole_status = run_part(dir.path("in.txt"), whole, setting, 0, 0, 2);
        for (int k = 1; k <= n; ++k) {
            // Parts may run with different thread counts.
            statuses.push_back(run_part(dir.path("in.txt"), files_of(dir, "part", k), setting, k, n, k % 2 == 1 ? workers : 1));
            parts.push_back(files_of(dir, "part", k).json);
        }
        merge = merge_parts(merged, std::vector<std::string>(parts.rbegin(), parts.rend()));
        EXPECT_EQ(merge.status, whole_status) << merge.console;
        expect_same_files(merged, whole);
    }
};

// Among them more shards than quartets: empty shards.
TEST(ShardMerge, MergedFilesEqualTheWholeRun)
{
    const std::string input = pair_file(testing::pairs_with_identical_quartets());
    for (int n : {1, 2, 3, 7})
        EXPECT_EQ(Sharded(input, Setting{}, n, n == 3 ? 2 : 1).merge.status, 0);
    const std::string three = pair_file({"ARNDCQ", "ARNDCE", "ARNDCQ", "ARNDCE", "WRNDCQ", "ARNDCE"});
    EXPECT_EQ(Sharded(three, Setting{"5", "20", "BLOSUM45"}, 5).merge.status, 0);
}

// The whole run stops at quartet (1,3), the sixth, after the identical quartet (1,2).
TEST(ShardMerge, StopInAMiddleShardEndsTheMergedRunThere)
{
    const std::string input = pair_file(testing::too_many_maximum_records());
    for (int n : {2, 7})
        EXPECT_EQ(Sharded(input, Setting{"4", "40", "2"}, n).merge.status, 2);
    // With 3 shards the stop (quartet 5) is in shard 2 = [3, 7). Shard 3 stops
    // as well, at quartet (2,3), which the whole run never reaches: unused.
    const Sharded three(input, Setting{"4", "40", "2"}, 3);
    EXPECT_EQ(three.statuses, (std::vector<int>{0, 2, 2}));
    const Json run = testing::json_lines(read_file(three.parts[1])).front();
    EXPECT_EQ(run["shard"]["first"], 3);
    EXPECT_EQ(run["shard"]["end"], 7);
    EXPECT_EQ(three.merge.status, 2);
    EXPECT_NE(three.merge.console.find(three.parts[1] + ": the run stopped at quartet 5 (too_many_maximum)"),
              std::string::npos)
        << three.merge.console;
    EXPECT_NE(read_file(three.merged.json)
                  .find("{\"type\":\"end\",\"status\":\"too_many_maximum\",\"exit_status\":2,\"quartets_written\":6,"),
              std::string::npos);
}

// The nine pairs with identical quartets: their whole run, its three
// shards, and merge outputs that already hold text.
struct ThreeShards : ::testing::Test {
    TempDir dir;
    std::string input = dir.path("in.txt");
    RunFiles whole = files_of(dir, "whole"), out = files_of(dir, "out");
    std::vector<RunFiles> parts;

    void SetUp() override
    {
        write_file(input, pair_file(testing::pairs_with_identical_quartets()));
        ASSERT_EQ(run_part(input, whole, Setting{}), 0);
        for (int k = 1; k <= 3; ++k) {
            parts.push_back(files_of(dir, "p", k));
            ASSERT_EQ(run_part(input, parts.back(), Setting{}, k, 3), 0);
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

    // The merge refuses with a one-line message holding `message`; nothing is written.
    void expect_refused(const std::vector<std::string> &given, const std::string &message, bool tsv = true)
    {
        const testing::RunResult result = merge_parts(out, given, tsv);
        EXPECT_EQ(result.status, 2);
        EXPECT_NE(result.errors.find(message), std::string::npos) << result.errors;
        EXPECT_EQ(testing::count(result.errors, "\n"), 1u) << result.errors;
        EXPECT_EQ(result.console, "");
        EXPECT_EQ(read_file(out.report), "old report\n");
        EXPECT_EQ(read_file(out.json), "old json\n");
        EXPECT_EQ(read_file(out.tsv), "old tsv\n");
        for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
            EXPECT_EQ(entry.path().filename().string().find(".kelto-"), std::string::npos) << entry.path();
    }

    void expect_refused(const std::string &message) { expect_refused(jsons({1, 2, 3}), message); }

    // `path` with the first `from` replaced by `to`.
    void edit(const std::string &path, const std::string &from, const std::string &to)
    {
        const std::string text = read_file(path);
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        write_file(path, text.substr(0, at) + to + text.substr(at + from.size()));
    }
};

// A shard killed after a few quartets (its files cut back) is resumed
// with --resume like any run, and the merge still equals the whole run.
TEST_F(ThreeShards, AResumedShardMergesLikeAnUninterruptedOne)
{
    // Shard 2 as a kill after its third quartet leaves it: three quartet
    // lines, and a report and TSV as long as the third line says.
    const RunFiles &second = parts[1];
    const std::vector<std::string> lines = testing::whole_lines(read_file(second.json));
    write_file(second.json, lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n" + lines[3] + "\n");
    const Json third = Json::parse(lines[3]);
    std::filesystem::resize_file(second.report, third["report_bytes"].get<std::uintmax_t>());
    std::filesystem::resize_file(second.tsv, third["tsv_bytes"].get<std::uintmax_t>());
    const testing::RunResult resumed =
        run_in_process({input, second.report, "30", "--quiet", "--resume", "--seed", "42", "--matrix", "2", "--json",
                        second.json, "--tsv", second.tsv, "--shard", "2/3"},
                       "", 1, 2);
    ASSERT_EQ(resumed.status, 0) << resumed.console;
    EXPECT_EQ(merge_parts(out, jsons({1, 2, 3})).status, 0);
    expect_same_files(out, whole);
}

TEST_F(ThreeShards, PartsThatDoNotTileTheRun)
{
    expect_refused(jsons({1, 3}), "kelto: merge: shard 2/3 is missing: no part holds its block [11, 24)");
    expect_refused(jsons({1, 2, 3, 2}), parts[1].json + ": shard 2/3 again (also " + parts[1].json + ")");
    // A block claimed past the quartets its record holds.
    edit(parts[0].json, "\"end\":11", "\"end\":12");
    expect_refused(parts[0].json + " line 13: the end line says completed after 11 of the 12 quartets");
    std::filesystem::remove(parts[0].json);
    expect_refused(parts[0].json + ": cannot be read");
}

TEST_F(ThreeShards, IncompletePart)
{
    const std::string text = read_file(parts[1].json);
    const std::size_t end_line = text.rfind("\n{") + 1;
    write_file(parts[1].json, text.substr(0, end_line));
    expect_refused(parts[1].json + ": it has no end line: the shard did not finish");
    write_file(parts[1].json, text.substr(0, end_line - 7));
    expect_refused(parts[1].json + ": its last line is cut off");
    // Its last quartet line removed: the end line claims a completed block.
    const std::size_t last_quartet = text.rfind("\n{", end_line - 2) + 1;
    write_file(parts[1].json, text.substr(0, last_quartet) + text.substr(end_line));
    expect_refused(parts[1].json + " line 14: the end line counts 13 quartets written, the record holds 12");
    // The same with the end line and the files agreeing with the shorter
    // record: refused by the record's reader or by the merge's check of the
    // block, whichever comes first.
    const std::string report = read_file(parts[1].report), tsv = read_file(parts[1].tsv);
    const std::size_t before_start = text.rfind("\n{", last_quartet - 2) + 1;
    const Json before_last = Json::parse(text.substr(before_start, last_quartet - before_start));
    std::string end = text.substr(end_line);
    const std::string written = "\"quartets_written\":13,";
    end.replace(end.find(written), written.size(), "\"quartets_written\":12,");
    write_file(parts[1].json, text.substr(0, last_quartet) + end);
    write_file(parts[1].report, report.substr(0, before_last["report_bytes"].get<std::size_t>()));
    write_file(parts[1].tsv, tsv.substr(0, before_last["tsv_bytes"].get<std::size_t>()));
    expect_refused(parts[1].json);
    write_file(parts[1].report, report);
    write_file(parts[1].tsv, tsv);
    write_file(parts[1].json, text);
    edit(parts[2].json, "\"status\":\"completed\"", "\"status\":\"interrupted\"");
    expect_refused(parts[2].json + ": the shard stopped (interrupted): rerun it");
}

TEST_F(ThreeShards, PartFilesThatDoNotMatchTheirRecord)
{
    const std::string report = read_file(parts[1].report);
    write_file(parts[1].report, report.substr(0, report.size() - 10));
    expect_refused(parts[1].json + ": its report " + parts[1].report + " holds " + std::to_string(report.size() - 10) +
                   " bytes, its record says " + std::to_string(report.size()));
    write_file(parts[1].report, std::string(1, '*') += report.substr(1));
    expect_refused(parts[1].json + ": its report " + parts[1].report + " has another heading than the first part's");
    // One byte of a quartet changed in place: the length stays the record's.
    std::string changed = report;
    const std::size_t at = changed.find("GENE QUARTET", changed.size() / 2) + 1;
    changed[at] = 'e';
    write_file(parts[1].report, changed);
    expect_refused(parts[1].json + ": the report " + parts[1].report + " differs from the record at quartet ");
    write_file(parts[1].report, report);
    const std::string tsv = read_file(parts[2].tsv);
    write_file(parts[2].tsv, tsv + "x");
    expect_refused(parts[2].json + ": its TSV " + parts[2].tsv + " holds");
    EXPECT_EQ(merge_parts(out, jsons({1, 2, 3}), false).status, 0);  // without --tsv the TSVs are not read
    write_file(parts[2].tsv, tsv);
    write_file(out.report, "old report\n");
    write_file(out.json, "old json\n");
    ASSERT_EQ(run_part(input, parts[1], Setting{}, 2, 3, 1, false), 0);
    expect_refused(parts[1].json + ": the shard wrote no TSV (run it with --tsv)");
}

// A shard's record resumed as another shard of the same count.
TEST_F(ThreeShards, ResumedAsAnotherShard)
{
    const auto before = testing::directory_files(dir);
    const testing::RunResult resumed =
        run_in_process({input, parts[1].report, "30", "--quiet", "--resume", "--seed", "42", "--matrix", "2", "--json",
                        parts[1].json, "--tsv", parts[1].tsv, "--shard", "3/3"},
                       "");
    EXPECT_EQ(resumed.status, 2);
    EXPECT_NE(resumed.errors.find("kelto: cannot resume: the shard differs from the recorded run's\n"), std::string::npos)
        << resumed.errors;
    EXPECT_EQ(testing::directory_files(dir), before);
}

TEST_F(ThreeShards, PartOfAnotherRun)
{
    expect_refused({whole.json}, whole.json + ": its record is not a shard's");
    const std::string third = read_file(parts[2].json);
    write_file(parts[2].json, "{\"type\":\"run\"\n{}\n");
    expect_refused(parts[2].json + " line 1: not a line of a record");
    write_file(parts[2].json, third);
    const std::string other_run = parts[1].json + ": not the same run as " + parts[0].json + ": its ";
    for (const auto &[setting, what] : {std::pair{Setting{"43"}, "seed"}, std::pair{Setting{"42", "31"}, "T"},
                                        std::pair{Setting{"42", "30", "PAM30"}, "matrix"}}) {
        ASSERT_EQ(run_part(input, parts[1], setting, 2, 3), 0);
        expect_refused(other_run + what + " differs");
    }
    // One residue changed: same length, another checksum.
    std::string other = read_file(input);
    const std::size_t at = other.find('\n', other.find(">s3")) + 1;
    other[at] = other[at] == 'A' ? 'R' : 'A';
    write_file(dir.path("other.txt"), other);
    ASSERT_EQ(run_part(dir.path("other.txt"), parts[1], Setting{}, 2, 3), 0);
    expect_refused(other_run + "input xxh3_128 differs");
    ASSERT_EQ(run_part(input, parts[1], Setting{}, 2, 4), 0);
    expect_refused(parts[1].json + ": it is shard 2/4, " + parts[0].json + " one of 3 shards");
}

// A part whose record contradicts itself: a quartet line naming other
// records than its pairs', or every part's matrix renamed.
TEST_F(ThreeShards, PartThatContradictsItself)
{
    const std::string first = read_file(parts[0].json);
    edit(parts[0].json, "\"names\":[\"s2\",\"s3\",\"s4\",\"s5\"]", "\"names\":[\"s2\",\"s3\",\"s5\",\"s4\"]");
    expect_refused(parts[0].json + " line 10: quartet 8's \"names\" are not those the run line's \"pairs\" give pairs 1 and 2");
    write_file(parts[0].json, first);
    for (const RunFiles &part : parts)
        edit(part.json, "\"matrix\":\"BLOSUM62\"", "\"matrix\":\"BLOSUM90\"");
    expect_refused(parts[0].json + ": the run line's \"matrix\" BLOSUM90 does not go with its \"matrix_values\"");
}

// No output replaces an input, a part's file, another output, a directory
// or a file that is not regular (a link to a device, a FIFO); every file
// keeps its bytes and its modification time.
TEST_F(ThreeShards, OutputThatIsAnInputOrAnotherOutput)
{
    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/null", dir.path("null").c_str()), 0);
    std::filesystem::create_directory(dir.path("sub"));
    const auto before = testing::directory_files(dir);
    const auto stamp = [&] {
        std::vector<std::filesystem::file_time_type> times;
        for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
            if (entry.is_regular_file())
                times.push_back(entry.last_write_time());
        return times;
    };
    const auto times = stamp();
    const std::string p3 = "part " + parts[2].json + "'s ";
    const struct {
        RunFiles out;
        std::string html, message;
    } cases[] = {
        {{out.report, parts[2].json, out.tsv}, "", "the JSON file " + parts[2].json + " is the same file as " + p3 +
                                                       "record " + parts[2].json},
        {{out.report, out.json, parts[0].report}, "", "the TSV file " + parts[0].report + " is the same file as part " +
                                                          parts[0].json + "'s report " + parts[0].report},
        {{input, out.json, out.tsv}, "", "the report file " + input + " is the same file as the run's input " + input},
        {{out.report, out.json, out.tsv}, parts[0].report, "the HTML file " + parts[0].report + " is the same file as part " +
                                                               parts[0].json + "'s report " + parts[0].report},
        {{out.report, dir.dir + "/./out.txt", out.tsv}, "",
         "the JSON file " + dir.dir + "/./out.txt is the same file as the report file " + out.report},
        {{out.report, out.json, dir.path("sub")}, "", "the TSV file " + dir.path("sub") + " is a directory"},
        {{dir.path("null"), out.json, out.tsv}, "", "the report file " + dir.path("null") + " is not a regular file"},
        {{out.report, dir.path("fifo"), out.tsv}, "", "the JSON file " + dir.path("fifo") + " is not a regular file"},
        {{out.report, out.json, dir.path("none/t.tsv")}, "",
         "the TSV file " + dir.path("none/t.tsv") + " is in a directory that does not exist"},
    };
    for (const auto &c : cases) {
        std::vector<std::string> args{"merge", c.out.report, "--json", c.out.json, "--tsv", c.out.tsv};
        if (!c.html.empty())
            args.insert(args.end(), {"--html", c.html});
        const std::vector<std::string> all = jsons({1, 2, 3});
        args.insert(args.end(), all.begin(), all.end());
        const testing::RunResult result = run_in_process(args, "");
        EXPECT_EQ(result.status, 2);
        EXPECT_TRUE(result.errors.starts_with("kelto: merge: " + c.message)) << result.errors;
        EXPECT_EQ(testing::directory_files(dir), before) << c.message;
        EXPECT_EQ(stamp(), times) << c.message;
    }
}

TEST_F(ThreeShards, UsageAndPage)
{
    const testing::RunResult usage = run_in_process({"merge", out.report}, "");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(usage.errors.starts_with("kelto merge: an output report and at least one part are needed\n"));
    const std::vector<std::string> all = jsons({1, 2, 3});
    std::vector<std::string> args{"merge", out.report, "--html", dir.path("p.html")};
    args.insert(args.end(), all.begin(), all.end());
    const testing::RunResult page = run_in_process(args, "");
    EXPECT_EQ(page.status, 2);
    EXPECT_NE(page.console.find("--html needs --json"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.path("p.html")));
    EXPECT_EQ(read_file(out.report), "old report\n");

    // With the merged record, the page of the whole run is drawn from it;
    // when the page cannot be drawn (the input is gone), no output is put
    // in place.
    args.insert(args.begin() + 2, {"--json", dir.path("m.jsonl")});
    std::filesystem::rename(input, dir.path("away.txt"));
    const testing::RunResult failed = run_in_process(args, "");
    EXPECT_EQ(failed.status, 2);
    EXPECT_NE(failed.errors.find("cannot open the input " + input), std::string::npos) << failed.errors;
    EXPECT_EQ(read_file(out.report), "old report\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path("m.jsonl")));
    EXPECT_FALSE(std::filesystem::exists(dir.path("p.html")));
    std::filesystem::rename(dir.path("away.txt"), input);
    const testing::RunResult drawn = run_in_process(args, "");
    EXPECT_EQ(drawn.status, 0) << drawn.console;
    EXPECT_NE(read_file(dir.path("p.html")).find("data-quartets=\"36\""), std::string::npos);
    for (const auto &entry : std::filesystem::directory_iterator(dir.dir))
        EXPECT_EQ(entry.path().filename().string().find(".kelto-"), std::string::npos) << entry.path();
}

// A part's report and TSV whose names are not UTF-8: the record keeps their
// bytes, and the merge finds them.
TEST(ShardMerge, PartPathsThatAreNotUtf8)
{
    TempDir dir;
    const std::string input = dir.path("in.txt");
    write_file(input, pair_file(testing::pairs_with_identical_quartets()));
    RunFiles whole = files_of(dir, "whole");
    ASSERT_EQ(run_part(input, whole, Setting{}), 0);
    std::vector<std::string> records;
    for (int k = 1; k <= 2; ++k) {
        const RunFiles part = files_of(dir, "p\xff\xfe", k);
        ASSERT_EQ(run_part(input, part, Setting{}, k, 2), 0);
        records.push_back(part.json);
    }
    const RunFiles merged = files_of(dir, "merged");
    const testing::RunResult result = merge_parts(merged, records);
    EXPECT_EQ(result.status, 0) << result.console;
    expect_same_files(merged, whole);
}

// Shards run with paths relative to their own folder, merged from another
// working folder after that folder moved: the parts' files are found from
// their records.
TEST(ShardMerge, FolderMovedAndMergedFromElsewhere)
{
    TempDir dir;
    const std::string input = dir.path("in.txt");
    write_file(input, pair_file(testing::pairs_with_identical_quartets()));
    const RunFiles whole = files_of(dir, "whole");
    ASSERT_EQ(run_part(input, whole, Setting{}), 0);
    std::filesystem::create_directory(dir.path("run"));
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path("run"));
    EXPECT_EQ(run_part(input, RunFiles{"s1.txt", "s1.jsonl", "s1.tsv"}, Setting{}, 1, 2), 0);
    EXPECT_EQ(run_part(input, RunFiles{"s2.txt", "s2.jsonl", "s2.tsv"}, Setting{}, 2, 2), 0);
    std::filesystem::current_path(before);
    std::filesystem::rename(dir.path("run"), dir.path("moved"));
    const RunFiles merged = files_of(dir, "merged");
    const testing::RunResult result = merge_parts(merged, {dir.path("moved/s1.jsonl"), dir.path("moved/s2.jsonl")});
    EXPECT_EQ(result.status, 0) << result.console;
    expect_same_files(merged, whole);
}

}  // namespace
}  // namespace kelto
