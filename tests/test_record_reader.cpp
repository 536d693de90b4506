// The one reader of the JSON Lines record: valid and broken lines, each
// refused with the file, the line and what is wrong, and the same refusal
// from every command that reads records (resume and merge).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "record/record.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::Json;
using testing::read_file;
using testing::TempDir;
using testing::whole_lines;
using testing::write_file;

// A shard 1/1 of four pairs (six quartets) in `dir`, recorded in `record`:
// a record both resume and merge read.
std::vector<std::string> shard_run(const TempDir &dir, const std::string &record)
{
    return {"--quiet", "--seed", "5", "--matrix", "2", "--shard", "1/1", "--json", record, "--tsv",
            dir.path("run.tsv"), dir.path("in.txt"), dir.path("out.txt"), "10"};
}

struct Case {
    const char *name;
    // Edits the record's lines (parsed; the raw text is rebuilt from them)
    // or, for text-level damage, the raw text.
    std::function<void(std::vector<Json> &)> edit;
    std::function<void(std::string &)> edit_text;
    const char *error;  // the message after "PATH", or nullptr: read, not refused
};

void PrintTo(const Case &c, std::ostream *out) { *out << c.name; }

using Lines = std::vector<Json>;

void nest(Json &value, int depth)
{
    for (int i = 0; i < depth; ++i)
        value = Json::array({value});
}

// A record as version 1.1 wrote it: format 1, without the input's form, the
// matrix's values and file, the chosen pairs and the warnings.
void format_one(Lines &l)
{
    l[0]["format"] = 1;
    for (const char *key : {"matrix_values", "matrix_file", "pairs_file", "warnings", "family_test"})
        l[0].erase(key);
    l[0]["input"].erase("form");
    for (Json &line : l) {
        if (line["type"] != "quartet")
            continue;
        for (const char *key :
             {"p_family", "p_floor", "family_arrangements", "family_exceedances", "family_capped", "scan_window"})
            line.erase(key);
        for (const char *list : {"final_max", "final_min"})
            for (Json &window : line[list])
                for (const char *key : {"p_value", "p_family", "z", "score", "columns", "residues"})
                    window.erase(key);
    }
}

const Case kCases[] = {
    {"Valid", {}, {}, nullptr},
    {"FormatOne", format_one, {}, nullptr},
    {"FormatOneUnknownMatrix", [](Lines &l) { format_one(l); l[0]["matrix"] = "BLOSUM50"; }, {},
     " line 1: the record names no known matrix"},
    {"TornLastLine", {}, [](std::string &t) { t.resize(t.size() - 10); }, nullptr},
    {"UnterminatedLastLine", {}, [](std::string &t) { t.pop_back(); }, nullptr},
    {"GarbledLastLine", {}, [](std::string &t) { t.replace(t.size() - 20, 5, "\x01\x02]]]"); }, nullptr},
    {"GarbledMiddleLine", {}, [](std::string &t) { t.insert(t.find('\n') + 1, "{\"type\":"); },
     " line 2: not a line of a record (a JSON object with a \"type\")"},
    {"RunLineOfAnotherFormat", [](Lines &l) { l[0]["format"] = 4; }, {},
     " line 1: the record has format 4, this program reads formats 1 to 3"},
    {"RunLineTAsText", [](Lines &l) { l[0]["T"] = "10"; }, {}, " line 1: the run line's \"T\" is missing or out of range"},
    {"RunLineNegativeSeed", [](Lines &l) { l[0]["seed"] = -5; }, {},
     " line 1: the run line's \"seed\" is missing or out of range"},
    {"RunLineWithoutInput", [](Lines &l) { l[0].erase("input"); }, {},
     " line 1: the run line's \"input\" is missing or out of range"},
    {"RunLineQuartetsNotOfItsPairs", [](Lines &l) { l[0]["quartets"] = 7; }, {},
     " line 1: the run line's \"quartets\" is not the number of quartets of its pairs"},
    {"ShardPastTheRun", [](Lines &l) { l[0]["shard"]["end"] = 9; }, {},
     " line 1: the run line's \"shard\" is not a valid block of the run"},
    {"QuartetLengthAsText", [](Lines &l) { l[2]["report_bytes"] = "12"; }, {},
     " line 3: the quartet line's \"report_bytes\" is missing or out of range"},
    {"QuartetWithoutNames", [](Lines &l) { l[2].erase("names"); }, {},
     " line 3: the quartet line's \"names\" is missing or out of range"},
    {"QuartetIdenticalAsNumber", [](Lines &l) { l[2]["identical"] = 0; }, {},
     " line 3: the quartet line's \"identical\" is missing or out of range"},
    {"QuartetSkipped", [](Lines &l) { l.erase(l.begin() + 2); }, {}, " line 3: quartet 2 where quartet 1 is due"},
    {"QuartetPastItsBlock", [](Lines &l) { l[0]["shard"]["end"] = 2; }, {},
     " line 4: quartet 2 is past the end of the run's block (2)"},
    {"ReportLengthGoesBackwards", [](Lines &l) { l[3]["report_bytes"] = l[2]["report_bytes"].get<uint64_t>() - 1; },
     {}, " line 4: the report or TSV length it records goes backwards"},
    {"TsvLengthGoesBackwards", [](Lines &l) { l[3]["tsv_bytes"] = 0; }, {},
     " line 4: the report or TSV length it records goes backwards"},
    {"WindowSizeNotItsSpan",
     [](Lines &l) {
         for (Json &line : l)
             if (line["type"] == "quartet")
                 line["final_max"] = Json::array({{{"size", 3}, {"start", 1}, {"end", 4}, {"value", 1}, {"count", 0},
                                                   {"percent", 0.0}, {"average", 0.0}, {"err", 0.0},
                                                   {"eliminated", false}, {"p_value", 1.0 / 11}, {"p_family", 1.0},
                                                   {"z", 0.0}, {"score", 0.0},
                                                   {"columns", {1, 4}}, {"residues", Json::array({{1, 4}, {1, 4}, {1, 4}, {1, 4}})}}});
     },
     {}, " line 2: a window of \"final_max\" has a size that does not match its start and end"},
    {"DeepNesting", [](Lines &l) { nest(l[2]["extra"] = 1, 9); }, {}, " line 3: nested more than 8 deep"},
    {"QuartetAfterALimitStop", [](Lines &l) { l[1]["stop"] = "too_many_maximum"; }, {},
     " line 3: a quartet after the quartet that stopped the run"},
    {"LineAfterTheEnd", [](Lines &l) { l.push_back(l[1]); }, {}, " line 9: a line after the end line"},
    {"EndLineExitStatusOutOfRange", [](Lines &l) { l.back()["exit_status"] = 300; }, {},
     " line 8: the end line's \"exit_status\" is missing or out of range"},
};

class RecordReader : public ::testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite()
    {
        dir_ = new TempDir;
        write_file(dir_->path("in.txt"), testing::pair_file(testing::related_pairs(3, 4, 40)));
        ASSERT_EQ(testing::run_in_process(shard_run(*dir_, dir_->path("run.jsonl")), "").status, 0);
        record_ = read_file(dir_->path("run.jsonl"));
    }
    static void TearDownTestSuite() { delete dir_; }

    // The record with the case's edit.
    static std::string edited(const Case &c)
    {
        std::string text = record_;
        if (c.edit) {
            std::vector<Json> lines;
            for (const std::string &line : whole_lines(record_))
                lines.push_back(Json::parse(line));
            c.edit(lines);
            text.clear();
            for (const Json &line : lines)
                text += line.dump() + "\n";
        }
        if (c.edit_text)
            c.edit_text(text);
        return text;
    }

    static TempDir *dir_;
    static std::string record_;
};

TempDir *RecordReader::dir_ = nullptr;
std::string RecordReader::record_;

// The reader takes or refuses the record; resume and merge give the same
// refusal in their own words around it.
TEST_P(RecordReader, ReadsOrRefusesAlike)
{
    const Case &c = GetParam();
    const std::string path = dir_->path(std::string(c.name) + ".jsonl");
    write_file(path, edited(c));
    RecordSummary summary;
    std::string message;
    const bool read = read_record(path, summary, message);
    if (c.error == nullptr) {
        ASSERT_TRUE(read) << message;
        const std::size_t lines = whole_lines(record_).size();
        const bool format_one = std::string(c.name) == "FormatOne";
        const bool torn = std::string(c.name) != "Valid" && !format_one;
        EXPECT_EQ(summary.torn, torn);
        EXPECT_EQ(summary.has_end, !torn);
        EXPECT_EQ(summary.quartet_lines, static_cast<long long>(lines - 2));
        EXPECT_EQ(summary.next_quartet(), 6);
        if (format_one) {  // merged into a record of today's format, with the built-in's values
            EXPECT_EQ(summary.run.matrix_values.size(), 400u);
            EXPECT_EQ(testing::run_in_process({"merge", "--json", dir_->path("m.jsonl"), dir_->path("m.txt"), path}, "")
                          .status,
                      0);
            Json shard_line = Json::parse(whole_lines(record_)[0]);
            shard_line.erase("shard");
            shard_line["family_test"] = Json{{"statistic", "none"}};  // format 1 knew no family test
            EXPECT_EQ(Json::parse(whole_lines(read_file(dir_->path("m.jsonl")))[0]), shard_line);
            return;
        }
        EXPECT_EQ(summary.kept_bytes, record_.size() - whole_lines(record_).back().size() - 1);
        return;
    }
    EXPECT_FALSE(read);
    EXPECT_EQ(message, path + c.error);

    std::vector<std::string> resume = shard_run(*dir_, path);
    resume.insert(resume.begin(), "--resume");
    const testing::RunResult resumed = testing::run_in_process(resume, "");
    EXPECT_EQ(resumed.status, 2);
    EXPECT_EQ(resumed.errors, "kelto: cannot resume: " + path + c.error + "\n");
    EXPECT_EQ(resumed.console, "");
    const testing::RunResult merged = testing::run_in_process({"merge", dir_->path("m.txt"), path}, "");
    EXPECT_EQ(merged.status, 2);
    EXPECT_EQ(merged.errors, "kelto: merge: " + path + c.error + "\n");
    EXPECT_EQ(merged.console, "");
    EXPECT_EQ(read_file(dir_->path("run.jsonl")), record_);
}

INSTANTIATE_TEST_SUITE_P(Lines, RecordReader, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &p) { return std::string(p.param.name); });

// What every writer writes, the reader reads back to the same bytes.
TEST(RecordLines, WrittenLinesReadBackToTheSameBytes)
{
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(testing::related_pairs(9, 4, 60)));
    ASSERT_EQ(testing::run_in_process({"--quiet", "--seed", "1", "--matrix", "1", "--json", dir.path("r.jsonl"),
                                       dir.path("in.txt"), dir.path("out.txt"), "30"},
                                      "")
                  .status,
              0);
    const std::vector<std::string> lines = whole_lines(read_file(dir.path("r.jsonl")));
    RunLine run;
    std::string why;
    ASSERT_TRUE(parse_run_line(lines.front(), run, why)) << why;
    EXPECT_EQ(run_line_text(run), lines.front() + "\n");
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        QuartetLine quartet;
        ASSERT_TRUE(parse_quartet_line(lines[i], run, quartet, why)) << why;
        std::string text;
        append_quartet_line(text, quartet.result, quartet.names, quartet.report_bytes, quartet.tsv_bytes,
                            quartet.sums);
        EXPECT_EQ(text, lines[i] + "\n");
    }
    EndLine end;
    ASSERT_TRUE(parse_end_line(lines.back(), end, why)) << why;
    EXPECT_EQ(end_line_text(end), lines.back() + "\n");
}

}  // namespace
}  // namespace kelto

namespace kelto {
namespace {

// Records that are no records: a directory, a FIFO (nothing may wait on it),
// a line of 100 000 nested brackets (nothing may recurse on it). Resume,
// merge and html refuse each at once and leave every file as it was, with
// no temporary file behind.
TEST(RecordFiles, NonRecordsAreRefusedByEveryReader)
{
    TempDir dir;
    write_file(dir.path("in.txt"), testing::pair_file(testing::related_pairs(3, 4, 40)));
    ASSERT_EQ(testing::run_in_process(shard_run(dir, dir.path("run.jsonl")), "").status, 0);
    const std::string first_line = whole_lines(read_file(dir.path("run.jsonl"))).front();
    const struct {
        const char *name;
        std::function<void(const std::string &)> make;
        const char *why;
    } cases[] = {
        {"directory", [](const std::string &p) { std::filesystem::create_directory(p); }, "directory"},
        {"fifo", [](const std::string &p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }, "not a regular file"},
        {"brackets",
         [&](const std::string &p) { write_file(p, first_line + "\n" + std::string(100000, '[') + "\n{}\n"); },
         "line 2: nested more than 8 deep"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string record = dir.path(c.name);
        c.make(record);
        const auto before = testing::directory_files(dir);
        std::vector<std::string> resume = shard_run(dir, record);
        resume.insert(resume.begin(), "--resume");
        const testing::RunResult results[] = {
            testing::run_in_process(resume, ""),
            testing::run_in_process({"merge", "--json", dir.path("m.jsonl"), dir.path("m.txt"), record}, ""),
            testing::run_in_process({"html", record, dir.path("in.txt"), dir.path("p.html")}, ""),
        };
        for (const testing::RunResult &result : results) {
            EXPECT_EQ(result.status, 2);
            EXPECT_NE(result.errors.find(c.why), std::string::npos) << result.errors;
        }
        EXPECT_EQ(testing::directory_files(dir), before);
    }
}

}  // namespace
}  // namespace kelto
