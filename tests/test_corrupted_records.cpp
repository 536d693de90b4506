// Generated damage to a record (truncations, flipped bytes, removed,
// repeated and swapped lines, changed numbers) fed to resume, merge and
// html: each either refuses, leaving every file as it was, or gives the
// files of an undamaged run. Never a crash, never a wait.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace kelto {
namespace {

using testing::read_file;
using testing::RunResult;
using testing::TempDir;
using testing::whole_lines;
using testing::write_file;

constexpr int kCases = 240;

std::vector<std::string> run_args(const TempDir &dir)
{
    return {"--quiet", "--seed", "11", "--matrix", "2", "--shard", "1/1", "--json", dir.path("run.jsonl"), "--tsv",
            dir.path("run.tsv"), dir.path("in.txt"), dir.path("out.txt"), "10"};
}

std::string join(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\n";
    return text;
}

// One kind of damage, chosen and placed by `engine`.
std::string damage(const std::string &record, int kind, std::mt19937 &engine)
{
    std::vector<std::string> lines = whole_lines(record);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine); };
    std::string text = record;
    switch (kind) {
    case 0: text.resize(pick(text.size())); break;
    case 1: text[pick(text.size())] ^= static_cast<char>(1 + pick(255)); break;
    case 2: lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size()))); return join(lines);
    case 3: {
        const std::size_t at = pick(lines.size());
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(pick(lines.size())), lines[at]);
        return join(lines);
    }
    case 4: std::swap(lines[pick(lines.size())], lines[pick(lines.size())]); return join(lines);
    case 5: {
        // A recorded length a little off, or the line before's.
        const std::size_t at = 1 + pick(lines.size() - 1);
        testing::Json line = testing::Json::parse(lines[at], nullptr, false);
        const char *key = pick(2) == 0 ? "report_bytes" : "tsv_bytes";
        if (line.is_discarded() || !line.contains(key))
            return record;
        const testing::Json before = testing::Json::parse(lines[at - 1]);
        const long long deltas[] = {-1, 1, -40};
        line[key] = before.contains(key) && pick(2) == 0 ? before[key].get<long long>()
                                                          : line[key].get<long long>() + deltas[pick(3)];
        lines[at] = line.dump();
        return join(lines);
    }
    default: {
        // Any number: digits replaced by another number, huge or negative at times.
        std::size_t at = pick(text.size());
        while (at < text.size() && !std::isdigit(static_cast<unsigned char>(text[at])))
            ++at;
        std::size_t end = at;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
            ++end;
        const std::string numbers[] = {"0", "1", "-1", "4294967316", "18446744073709551616", "99999999999999999999999",
                                       std::to_string(pick(100000))};
        text.replace(at, end - at, numbers[pick(std::size(numbers))]);
    }
    }
    return text;
}

TEST(CorruptedRecords, RefusedUntouchedOrLikeAnUndamagedRun)
{
    TempDir base;
    write_file(base.path("in.txt"), testing::pair_file(testing::related_pairs(21, 5, 40)));
    ASSERT_EQ(testing::run_in_process(run_args(base), "").status, 0);
    const std::string report = read_file(base.path("out.txt")), tsv = read_file(base.path("run.tsv"));
    const std::string record = read_file(base.path("run.jsonl"));
    const std::vector<std::string> lines = whole_lines(record);
    // The files as a run killed after its sixth quartet left them.
    const testing::Json sixth = testing::Json::parse(lines[6]);
    const std::string cut_report = report.substr(0, sixth["report_bytes"].get<std::size_t>());
    const std::string cut_tsv = tsv.substr(0, sixth["tsv_bytes"].get<std::size_t>());
    const std::string cut_record = join({lines.begin(), lines.begin() + 7});

    std::mt19937 engine(20261207);
    int refused = 0;
    for (int c = 0; c < kCases; ++c) {
        SCOPED_TRACE("case " + std::to_string(c));
        const int kind = c % 8;
        TempDir dir;
        write_file(dir.path("in.txt"), read_file(base.path("in.txt")));
        // Kind 7 damages the report or the TSV instead: one byte, same length.
        std::string files[] = {cut_report, cut_tsv};
        if (kind == 7) {
            std::string &file = files[c % 2];
            file[std::uniform_int_distribution<std::size_t>(0, file.size() - 1)(engine)] ^= 0x20;
        }
        write_file(dir.path("out.txt"), files[0]);
        write_file(dir.path("run.tsv"), files[1]);
        write_file(dir.path("run.jsonl"), kind == 7 ? cut_record : damage(cut_record, kind, engine));
        std::vector<std::string> resume = run_args(dir);
        resume.insert(resume.begin(), "--resume");
        const auto before = testing::directory_files(dir);
        const RunResult resumed = testing::run_in_process(resume, "");
        if (resumed.status == 2) {
            ++refused;
            EXPECT_EQ(testing::directory_files(dir), before) << resumed.console;
        } else {
            EXPECT_EQ(resumed.status, 0) << resumed.console;
            EXPECT_TRUE(read_file(dir.path("out.txt")) == report) << "the resumed report differs";
            EXPECT_EQ(read_file(dir.path("run.tsv")), tsv);
        }

        // The whole record damaged, as a part to merge and a record to draw.
        write_file(dir.path("out.txt"), report);
        write_file(dir.path("run.tsv"), tsv);
        write_file(dir.path("run.jsonl"), kind == 7 ? record : damage(record, kind, engine));
        if (kind == 7)
            write_file(dir.path(c % 2 == 0 ? "out.txt" : "run.tsv"), files[c % 2 == 0 ? 0 : 1] +
                                                                      (c % 2 == 0 ? report : tsv).substr(files[c % 2].size()));
        const auto whole = testing::directory_files(dir);
        const RunResult merged = testing::run_in_process(
            {"merge", "--json", dir.path("m.jsonl"), "--tsv", dir.path("m.tsv"), dir.path("m.txt"), dir.path("run.jsonl")},
            "");
        if (merged.status == 0) {
            EXPECT_TRUE(read_file(dir.path("m.txt")) == report) << "the merged report differs";
            EXPECT_EQ(read_file(dir.path("m.tsv")), tsv);
            for (const char *name : {"m.txt", "m.tsv", "m.jsonl"})
                std::filesystem::remove(dir.path(name));
        } else {
            EXPECT_EQ(merged.status, 2) << merged.console;
        }
        EXPECT_EQ(testing::directory_files(dir), whole) << merged.console;
        const RunResult drawn =
            testing::run_in_process({"html", dir.path("run.jsonl"), dir.path("in.txt"), dir.path("p.html")}, "");
        EXPECT_TRUE(drawn.status == 0 || drawn.status == 2) << drawn.console;
        EXPECT_EQ(std::filesystem::exists(dir.path("p.html")), drawn.status == 0) << drawn.console;
    }
    // Most damage is caught; some (a torn last line) is what a kill leaves.
    EXPECT_GT(refused, kCases / 2);

}

}  // namespace
}  // namespace kelto
