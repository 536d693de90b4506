// The HTML page writer and the html command: reading and checking a JSON
// Lines record, the embedded data, and the self-contained page.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "input/matrices.hpp"
#include "profile/profile.hpp"
#include "results/digest.hpp"
#include "results/html.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::read_file;
using testing::TempDir;
using testing::write_file;
using Json = nlohmann::ordered_json;

const SubstitutionMatrix &blosum62() { return kMatrixSet[1].scores; }

// Three pairs of six residues; pair 2 repeats pair 0, so quartet 1 (0, 2)
// is identical.
SequenceSet three_pairs()
{
    SequenceSet set;
    for (const char *residues : {"ACDEFG", "ACDEWG", "WCDKFY", "ACKEFG", "ACDEFG", "ACDEWG"})
        set.records.push_back(SequenceRecord{"name\n", residues});
    return set;
}

// Record names with markup, an ampersand, quotes, U+FFFD, U+2028 and U+2029.
const std::vector<std::string> kNames = {"a<b>",         "Tom & \"Jerry\" 'x'",           "</script><script>alert(1)</script>",
                                         "\xef\xbf\xbd?", "line\xe2\x80\xa8sep\xe2\x80\xa9", "<!--plain"};

long long sum_of(const SequenceSet &set, int pair_a, int pair_b, int start, int end)
{
    const std::vector<int> a = pair_scores(set.records[2 * pair_a].residues, set.records[2 * pair_a + 1].residues,
                                           blosum62());
    const std::vector<int> b = pair_scores(set.records[2 * pair_b].residues, set.records[2 * pair_b + 1].residues,
                                           blosum62());
    long long sum = 0;
    for (int k = start - 1; k < end; ++k)
        sum += a[k] - b[k];
    return sum;
}

Json window_json(const SequenceSet &set, int pair_a, int pair_b, int start, int end, int count, bool eliminated)
{
    const long long value = sum_of(set, pair_a, pair_b, start, end);
    const int size = end - start + 1;
    return Json{{"size", size},   {"start", start}, {"end", end}, {"value", value}, {"count", count},
                {"percent", count * 100.0 / 20}, {"average", static_cast<double>(value) / size}, {"err", 0.5},
                {"eliminated", eliminated}};
}

std::string run_line(int n_minimum = 6, int pairs = 3, const std::string &matrix = "BLOSUM62")
{
    Json names = Json::array();
    for (int p = 0; p < pairs; ++p)
        names.push_back(Json::array({kNames[2 * p % kNames.size()], kNames[(2 * p + 1) % kNames.size()]}));
    Json run = {{"type", "run"},        {"format", 1},          {"program", "kelto"}, {"version", "1.1.0"},
                {"seed", 18446744073709551615ULL}, {"seed_source", "option"}, {"T", 20}, {"matrix", matrix},
                {"input", {{"path", "in<put>.txt"}, {"bytes", 123}, {"xxh3_128", std::string(32, 'a')}}},
                {"pairs", names}, {"record_lengths", Json::array({6, 6, 6, 6, 6, 6})}, {"gap_columns", 0},
                {"n_minimum", n_minimum}, {"quartets", pairs * (pairs - 1) / 2}, {"threads", 2}};
    return run.dump() + "\n";
}

std::string quartet_line(int index, int pair_a, int pair_b, const Json &final_max, const Json &final_min,
                         bool identical = false, const char *stop = nullptr)
{
    Json line = {{"type", "quartet"}, {"quartet", index}, {"pair_a", pair_a}, {"pair_b", pair_b},
                 {"names", Json::array({"n0", "n1", "n2", "n3"})}, {"identical", identical}, {"mean", 0.5},
                 {"std", 1.5}, {"significant_max", 4}, {"significant_min", 3}, {"final_max", final_max},
                 {"final_min", final_min}, {"stop", stop == nullptr ? Json(nullptr) : Json(stop)},
                 {"report_bytes", 1000}, {"tsv_bytes", 100}};
    return line.dump() + "\n";
}

const std::string kEndLine =
    "{\"type\":\"end\",\"status\":\"completed\",\"exit_status\":0,\"quartets_written\":3,\"wall_seconds\":0.25}\n";

// A complete record of three quartets: windows of both kinds, an
// eliminated one, and an identical quartet.
std::string full_record(const SequenceSet &set)
{
    return run_line() +
           quartet_line(0, 0, 1, Json::array({window_json(set, 0, 1, 1, 3, 0, false)}),
                        Json::array({window_json(set, 0, 1, 4, 6, 1, true)})) +
           quartet_line(1, 0, 2, Json::array(), Json::array(), true) +
           quartet_line(2, 1, 2, Json::array(), Json::array({window_json(set, 1, 2, 2, 5, 0, false)})) + kEndLine;
}

// A temporary file holding `text`, read from the start.
struct TextFile {
    explicit TextFile(const std::string &text) : file(std::tmpfile())
    {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
    }
    ~TextFile() { std::fclose(file); }
    FILE *file;
};

bool read_record(const std::string &text, const SequenceSet &set, PageData &data, std::string &message)
{
    TextFile record(text);
    return read_page_data(record.file, set, blosum62(), data, message);
}

// Writes the page of `record` and returns it ("" when the writer failed).
std::string page_of(const std::string &record, const SequenceSet &set, std::string &message)
{
    TempDir dir;
    TextFile in(record);
    FILE *page = std::fopen(dir.path("page.html").c_str(), "wb");
    const bool ok = write_html_page(in.file, set, blosum62(), page, message);
    std::fclose(page);
    return ok ? read_file(dir.path("page.html")) : "";
}

std::string embedded_data(const std::string &page)
{
    const std::string open = "<script type=\"application/json\" id=\"kelto-data\">";
    const std::size_t from = page.find(open);
    const std::size_t to = page.find("</script>", from);
    if (from == std::string::npos || to == std::string::npos)
        return "";
    return page.substr(from + open.size(), to - from - open.size());
}

TEST(HtmlPage, ReadsTheRecordIntoCompactColumns)
{
    const SequenceSet set = three_pairs();
    PageData data;
    std::string message;
    ASSERT_TRUE(read_record(full_record(set), set, data, message)) << message;
    EXPECT_EQ(data.quartet_count, 3);
    EXPECT_EQ(data.first_quartet, 0);
    EXPECT_EQ(data.run.names, kNames);
    EXPECT_EQ(data.run.shown["seed"], "18446744073709551615");  // as text: beyond a script number
    EXPECT_EQ(data.end["status"], "completed");
    const int value0 = static_cast<int>(sum_of(set, 0, 1, 1, 3));
    const int value1 = static_cast<int>(sum_of(set, 0, 1, 4, 6));
    const int value2 = static_cast<int>(sum_of(set, 1, 2, 2, 5));
    EXPECT_EQ(data.quartets, (std::vector<int32_t>{1, 1, 4, 3, 0, 0, 0, 4, 3, 1, 0, 1, 4, 3, 0}));
    EXPECT_EQ(data.windows, (std::vector<int32_t>{1, 3, value0, 0, 0, 4, 3, value1, 1, 1, 2, 4, value2, 0, 0}));

    // A stop: its flag (the first stop name is bit 1) beside the identical flag.
    const Json none = Json::array();
    ASSERT_TRUE(read_record(run_line() + quartet_line(0, 0, 1, none, none) + quartet_line(1, 0, 2, none, none, true) +
                                quartet_line(2, 1, 2, none, none, false, "too_many_minimum_per_size"),
                            set, data, message))
        << message;
    ASSERT_EQ(data.quartets.size(), 15u);
    EXPECT_EQ(data.quartets[4], 0);
    EXPECT_EQ(data.quartets[9], 1);
    EXPECT_EQ(data.quartets[14], 1 << 1);
}

TEST(HtmlPage, PageIsSelfContainedAndEmbedsEscapedData)
{
    const SequenceSet set = three_pairs();
    std::string message;
    const std::string page = page_of(full_record(set), set, message);
    ASSERT_FALSE(page.empty()) << message;
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    EXPECT_NE(page.find("<html lang=\"en\" data-quartets=\"3\""), std::string::npos);
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);  // the page itself forbids loading

    // Nothing to load: no src= or href= attribute (in any case, blanks
    // before the '=' aside), no CSS url() or import; the only URL is the
    // SVG namespace name, in the markup and in the script.
    std::string squeezed;
    for (char c : page)
        if (c != ' ' && c != '\t' && c != '\n')
            squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(squeezed.find("src="), std::string::npos);
    EXPECT_EQ(squeezed.find("href="), std::string::npos);
    EXPECT_EQ(page.find("url("), std::string::npos);
    EXPECT_EQ(page.find("@import"), std::string::npos);
    EXPECT_EQ(testing::count(page, "://"), 2u);
    EXPECT_EQ(testing::count(page, "http://www.w3.org/2000/svg"), 2u);

    // The data: no '<' at all, U+2028 and U+2029 (line ends to a script)
    // escaped, and it reads back to the names and records.
    const std::string data = embedded_data(page);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.find('<'), std::string::npos);
    EXPECT_EQ(data.find("\xe2\x80\xa8"), std::string::npos);
    EXPECT_EQ(data.find("\xe2\x80\xa9"), std::string::npos);
    EXPECT_NE(data.find("\\u003c/script\\u003e"), std::string::npos);
    const nlohmann::json parsed = nlohmann::json::parse(data, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded());
    EXPECT_EQ(parsed["names"].get<std::vector<std::string>>(), kNames);
    EXPECT_EQ(parsed["records"][3], "ACKEFG");
    EXPECT_EQ(parsed["run"]["input"]["path"], "in<put>.txt");
    EXPECT_EQ(parsed["matrix"].size(), 400u);
    EXPECT_EQ(parsed["matrix"][20 * 17 + 17], 11);  // W-W in BLOSUM62
    EXPECT_EQ(parsed["Q"].size(), 15u);
    EXPECT_EQ(parsed["W"].size(), 15u);
    EXPECT_EQ(parsed["end"]["quartets_written"], 3);
    // Exactly the three scripts of the page: error capture, data, drawing.
    EXPECT_EQ(testing::count(page, "<script"), 3u);
}

TEST(HtmlPage, TornLastLineIsIgnoredAndTheRunShownIncomplete)
{
    const SequenceSet set = three_pairs();
    std::string record = full_record(set);
    record = record.substr(0, record.find("{\"type\":\"quartet\",\"quartet\":2"));
    const std::string torn = quartet_line(2, 1, 2, Json::array(), Json::array());
    PageData data;
    std::string message;
    ASSERT_TRUE(read_record(record + torn.substr(0, torn.size() / 2), set, data, message)) << message;
    EXPECT_EQ(data.quartet_count, 2);
    EXPECT_TRUE(data.end.is_null());
    // A complete last line without its line feed still counts.
    ASSERT_TRUE(read_record(record + torn.substr(0, torn.size() - 1), set, data, message)) << message;
    EXPECT_EQ(data.quartet_count, 3);
    // A broken line that is not the last is an error naming the line.
    EXPECT_FALSE(read_record(record + torn.substr(0, 20) + "\n" + kEndLine, set, data, message));
    EXPECT_EQ(message, "line 4: not a JSON object with a type");
}

TEST(HtmlPage, RefusesRecordsThatDoNotFitTheInput)
{
    const SequenceSet set = three_pairs();
    const std::string head = run_line();
    const Json none = Json::array();
    struct Case {
        std::string record;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "the record is empty"},
        {"{\"type\":\"quartet\"}\n", "line 1: the first line is not a run line"},
        {run_line(5), "the record's N_minimum 5 is not the input's"},
        {run_line(6, 2), "the record has 2 pairs, the input 3"},
        {head + quartet_line(1, 0, 2, none, none), ""},  // a shard may start anywhere: accepted
        {head + quartet_line(0, 0, 1, none, none) + quartet_line(2, 1, 2, none, none),
         "line 3: quartet 2 where quartet 1 was expected"},
        {head + quartet_line(0, 0, 2, none, none), "line 2: quartet 0 names pairs 0 and 2, not the pairs of its index"},
        {head + quartet_line(3, 0, 1, none, none), "line 2: the quartet index is missing or out of range"},
        {head + quartet_line(0, 0, 1, Json::array({Json{{"size", 3}, {"start", 5}, {"end", 7}, {"value", 0},
                                                         {"count", 0}, {"eliminated", false}}}),
                             none),
         "line 2: quartet 0: a window of \"final_max\" lacks a field or has one out of range"},
        {head + quartet_line(0, 0, 1, none, Json::array({window_json(set, 1, 2, 1, 2, 0, false)})),
         "line 2: quartet 0: a window's value does not match the records (another input or matrix?)"},
        {head + quartet_line(0, 0, 1, none, none, false, "too_many_maximum") + quartet_line(1, 0, 2, none, none),
         "line 3: a quartet after the quartet that stopped the run"},
        {head + quartet_line(0, 0, 1, none, none, false, "too_many_things"), "line 2: quartet 0 has an unknown stop"},
        {head + kEndLine + quartet_line(0, 0, 1, none, none), "line 3: a line after the end line"},
        {head + "{\"type\":\"merge\"}\n", "line 2: unknown line type \"merge\""},
    };
    for (const Case &c : cases) {
        PageData data;
        std::string message;
        EXPECT_EQ(read_record(c.record, set, data, message), c.message.empty()) << c.record;
        EXPECT_EQ(message, c.message) << c.record;
    }
    // The sum check uses the matrix: another matrix does not fit the same record.
    TextFile record(full_record(set));
    PageData data;
    std::string message;
    EXPECT_FALSE(read_page_data(record.file, set, kMatrixSet[3].scores, data, message));
}

TEST(HtmlPage, AFullDiskIsAnErrorWithAMessage)
{
    const SequenceSet set = three_pairs();
    TextFile record(full_record(set));
    FILE *full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::string message;
    EXPECT_FALSE(write_html_page(record.file, set, blosum62(), full, message));
    std::fclose(full);
    EXPECT_EQ(message, "cannot write the page (disk full?)");
}

// The html command on a record written by the program itself.
struct HtmlCommand : ::testing::Test {
    TempDir dir;
    std::string input = dir.path("in.txt"), record = dir.path("run.jsonl"), page = dir.path("page.html");
    void SetUp() override
    {
        write_file(input, read_file(KELTO_TEST_DATA "/page_run.txt"));
        ASSERT_EQ(testing::run_in_process({"--quiet", "--seed", "1", "--matrix", "2", "--json", record, input,
                                           dir.path("out.txt"), "20"},
                                          "")
                      .status,
                  0);
    }
    // Refused with exactly `message`, no page written.
    void expect_refused(const std::vector<std::string> &args, const std::string &message)
    {
        std::vector<std::string> command{"html"};
        command.insert(command.end(), args.begin(), args.end());
        const testing::RunResult result = testing::run_in_process(command, "");
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.console, "kelto html: " + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(page));
    }
};

// The page of the recorded run, from the program's entry; then what does
// not fit is refused.
TEST_F(HtmlCommand, WritesThePageOrRefusesWhatDoesNotFit)
{
    const testing::RunResult written = testing::run_executable({"html", record, input, page});
    EXPECT_EQ(written.status, 0);
    EXPECT_EQ(written.console, "");
    EXPECT_NE(read_file(page).find("data-quartets=\"10\""), std::string::npos);
    std::filesystem::remove(page);

    std::string changed = read_file(input);
    changed[changed.size() - 2] = changed[changed.size() - 2] == 'A' ? 'C' : 'A';  // same size, other bytes
    write_file(dir.path("other.txt"), changed);
    expect_refused({record, dir.path("other.txt"), page}, dir.path("other.txt") +
                   " is not the input of this run (size or XXH3-128 differs from " + input + ")");
    const std::string record_text = read_file(record);
    ASSERT_EQ(symlink(record.c_str(), dir.path("link.jsonl").c_str()), 0);
    for (const std::string &target : {record, input, dir.path("link.jsonl")})
        expect_refused({record, input, target}, "the page " + target + " is the record or the input file itself");
    EXPECT_EQ(read_file(record), record_text);
    expect_refused({record, input}, "usage: kelto html RUN.jsonl IN_FILE PAGE.html");

    const std::string edited = dir.path("edited.jsonl");
    const std::size_t matrix = record_text.find("\"BLOSUM62\"");
    write_file(edited, record_text.substr(0, matrix) + "\"BLOSUM50\"" + record_text.substr(matrix + 10));
    expect_refused({edited, input, page}, edited + ": unknown matrix \"BLOSUM50\"");
    // A window value edited (26 -> 126, -30 -> -130): the record no longer fits its input.
    std::size_t digits = record_text.find("\"value\":") + 8;
    digits += record_text[digits] == '-' ? 1 : 0;
    write_file(edited, record_text.substr(0, digits) + "1" + record_text.substr(digits));
    const testing::RunResult broken = testing::run_in_process({"html", edited, input, page}, "");
    EXPECT_EQ(broken.status, 2);
    EXPECT_NE(broken.console.find(": a window's value does not match the records"), std::string::npos);
    const testing::RunResult missing = testing::run_in_process({"html", dir.path("none.jsonl"), input, page}, "");
    EXPECT_TRUE(missing.console.starts_with("kelto html: cannot open the record ")) << missing.console;
    EXPECT_FALSE(std::filesystem::exists(page));
}

}  // namespace
}  // namespace kelto
