// The HTML page writer and the html command: reading and checking a JSON
// Lines record, the embedded data, and the self-contained page.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/html_command.hpp"
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

// Record names with markup, an ampersand, quotes, U+FFFD and U+2028.
const std::vector<std::string> kNames = {"a<b>",         "Tom & \"Jerry\" 'x'", "</script><script>alert(1)</script>",
                                         "\xef\xbf\xbd?", "line\xe2\x80\xa8sep",  "<!--plain"};

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
    return Json{{"size", size},         {"start", start},
                {"end", end},           {"value", value},
                {"count", count},       {"percent", count * 100.0 / 20},
                {"average", static_cast<double>(value) / size}, {"err", 0.5},
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
    Json line = {{"type", "quartet"},
                 {"quartet", index},
                 {"pair_a", pair_a},
                 {"pair_b", pair_b},
                 {"names", Json::array({"n0", "n1", "n2", "n3"})},
                 {"identical", identical},
                 {"mean", 0.5},
                 {"std", 1.5},
                 {"significant_max", 4},
                 {"significant_min", 3},
                 {"final_max", final_max},
                 {"final_min", final_min},
                 {"stop", stop == nullptr ? Json(nullptr) : Json(stop)},
                 {"report_bytes", 1000},
                 {"tsv_bytes", 100}};
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

// True when `name` (any case) is followed by optional blanks and '=': an attribute.
bool assigns(const std::string &page, const std::string &name)
{
    std::string lower = page;
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t at = lower.find(name); at != std::string::npos; at = lower.find(name, at + 1)) {
        std::size_t next = at + name.size();
        while (next < lower.size() && (lower[next] == ' ' || lower[next] == '\t' || lower[next] == '\n'))
            ++next;
        if (next < lower.size() && lower[next] == '=')
            return true;
    }
    return false;
}

// Every http:// or https:// address in the page, up to a quote, blank or bracket.
std::vector<std::string> urls_in(const std::string &page)
{
    std::vector<std::string> urls;
    for (std::size_t at = page.find("http"); at != std::string::npos; at = page.find("http", at + 1)) {
        if (page.compare(at, 7, "http://") != 0 && page.compare(at, 8, "https://") != 0)
            continue;
        const std::size_t end = page.find_first_of(" \t\n\"'<>()", at);
        urls.push_back(page.substr(at, end - at));
    }
    return urls;
}

// `text` with the first `from` replaced by `to`.
std::string replace_first(std::string text, const std::string &from, const std::string &to)
{
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
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

    // Nothing to load: no src= or href= attribute, no CSS url() or import;
    // the only URL is the SVG namespace name.
    EXPECT_FALSE(assigns(page, "src"));
    EXPECT_FALSE(assigns(page, "href"));
    EXPECT_EQ(page.find("url("), std::string::npos);
    EXPECT_EQ(page.find("@import"), std::string::npos);
    EXPECT_EQ(urls_in(page), std::vector<std::string>(2, "http://www.w3.org/2000/svg"));  // markup and script

    // The data: no '<' at all, U+2028 escaped, and it reads back to the names and records.
    const std::string data = embedded_data(page);
    ASSERT_FALSE(data.empty());
    EXPECT_EQ(data.find('<'), std::string::npos);
    EXPECT_EQ(data.find("\xe2\x80\xa8"), std::string::npos);
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
    std::size_t scripts = 0;
    for (std::size_t at = page.find("<script"); at != std::string::npos; at = page.find("<script", at + 1))
        ++scripts;
    EXPECT_EQ(scripts, 3u);
}

TEST(HtmlPage, ScriptSafeJsonEscapesWhatCouldEndTheElement)
{
    EXPECT_EQ(script_safe_json(R"({"a":"</script><!--&"})"),
              R"({"a":"\u003c/script\u003e\u003c!--\u0026"})");
    EXPECT_EQ(script_safe_json("\"\xe2\x80\xa8\xe2\x80\xa9\xe2\x80\xaa\""), "\"\\u2028\\u2029\xe2\x80\xaa\"");
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

TEST(HtmlPage, StopFlagsAndIdenticalQuartetsReachTheColumns)
{
    const SequenceSet set = three_pairs();
    const Json none = Json::array();
    PageData data;
    std::string message;
    ASSERT_TRUE(read_record(run_line() + quartet_line(0, 0, 1, none, none) + quartet_line(1, 0, 2, none, none, true) +
                                quartet_line(2, 1, 2, none, none, false, "too_many_minimum_per_size"),
                            set, data, message))
        << message;
    ASSERT_EQ(data.quartets.size(), 15u);
    EXPECT_EQ(data.quartets[4], 0);
    EXPECT_EQ(data.quartets[9], 1);
    EXPECT_EQ(data.quartets[14], 1 << 1);  // the first stop name
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
struct RecordedRun {
    TempDir dir;
    std::string input = dir.path("in.txt"), record = dir.path("run.jsonl"), page = dir.path("page.html");
    RecordedRun()
    {
        write_file(input, read_file(KELTO_TEST_DATA "/page_run.txt"));
        const auto r = testing::run_executable(
            {"--quiet", "--seed", "1", "--matrix", "2", "--json", record, input, dir.path("out.txt"), "20"}, "");
        EXPECT_EQ(r.status, 0);
    }
    // Runs the command in-process; returns its status, `console` gets its text.
    int html(const std::vector<std::string> &args, std::string &console) const
    {
        std::vector<const char *> argv{"html"};
        for (const std::string &arg : args)
            argv.push_back(arg.c_str());
        FILE *out = std::tmpfile();
        const int status = html_command(static_cast<int>(argv.size()), argv.data(), out);
        std::rewind(out);
        console.clear();
        for (int c; (c = std::fgetc(out)) != EOF;)
            console += static_cast<char>(c);
        std::fclose(out);
        return status;
    }
};

bool exists(const std::string &path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

TEST(HtmlCommand, WritesThePageOfTheRecordedRun)
{
    const RecordedRun run;
    std::string console;
    ASSERT_EQ(run.html({run.record, run.input, run.page}, console), 0) << console;
    EXPECT_EQ(console, "");
    const std::string page = read_file(run.page);
    // As many quartets as the record holds lines for; the records are embedded trimmed.
    std::string record = read_file(run.record);
    long quartet_lines = 0;
    for (std::size_t at = record.find("\"type\":\"quartet\""); at != std::string::npos;
         at = record.find("\"type\":\"quartet\"", at + 1))
        ++quartet_lines;
    EXPECT_EQ(quartet_lines, 10);
    EXPECT_NE(page.find("data-quartets=\"10\""), std::string::npos);
    const nlohmann::json data = nlohmann::json::parse(embedded_data(page), nullptr, false);
    ASSERT_FALSE(data.is_discarded());
    EXPECT_EQ(data["records"].size(), 10u);
    for (const auto &residues : data["records"])
        EXPECT_EQ(residues.get<std::string>().size(), data["run"]["n_minimum"].get<std::size_t>());
    EXPECT_EQ(data["run"]["matrix"], "BLOSUM62");

    // Dispatched from the program's entry, the same page.
    const std::string second = run.dir.path("second.html");
    EXPECT_EQ(testing::run_executable({"html", run.record, run.input, second}, "").status, 0);
    EXPECT_EQ(read_file(second), page);
}

TEST(HtmlCommand, RefusesAnotherInputAndSamePathsWritingNothing)
{
    const RecordedRun run;
    std::string console;
    const std::string other = run.dir.path("other.txt");
    std::string changed = read_file(run.input);
    changed[changed.size() - 2] = changed[changed.size() - 2] == 'A' ? 'C' : 'A';  // same size, other bytes
    write_file(other, changed);
    EXPECT_EQ(run.html({run.record, other, run.page}, console), 2);
    EXPECT_EQ(console, "kelto html: " + other + " is not the input of this run (size or XXH3-128 differs from " +
                           run.input + ")\n");
    EXPECT_FALSE(exists(run.page));

    const std::string record_text = read_file(run.record);
    const std::string link = run.dir.path("link.jsonl");
    ASSERT_EQ(symlink(run.record.c_str(), link.c_str()), 0);
    for (const std::string &target : {run.record, run.input, link}) {
        EXPECT_EQ(run.html({run.record, run.input, target}, console), 2);
        EXPECT_EQ(console, "kelto html: the page " + target + " is the record or the input file itself\n");
    }
    EXPECT_EQ(read_file(run.record), record_text);

    EXPECT_EQ(run.html({run.record, run.input}, console), 2);
    EXPECT_EQ(console, "kelto html: usage: kelto html RUN.jsonl IN_FILE PAGE.html\n");
    EXPECT_EQ(run.html({run.dir.path("none.jsonl"), run.input, run.page}, console), 2);
    EXPECT_EQ(console.rfind("kelto html: cannot open the record ", 0), 0u);
    EXPECT_FALSE(exists(run.page));
}

TEST(HtmlCommand, RefusesAnUnknownMatrixAndABrokenRecord)
{
    const RecordedRun run;
    std::string console;
    std::string record = read_file(run.record);
    const std::string edited = run.dir.path("edited.jsonl");
    write_file(edited, replace_first(record, "\"BLOSUM62\"", "\"BLOSUM50\""));
    EXPECT_EQ(run.html({edited, run.input, run.page}, console), 2);
    EXPECT_EQ(console, "kelto html: " + edited + ": unknown matrix \"BLOSUM50\"\n");
    // A window value edited: the record no longer fits its input.
    std::size_t digits = record.find("\"value\":") + 8;
    if (record[digits] == '-')
        ++digits;
    write_file(edited, record.substr(0, digits) + "1" + record.substr(digits));  // 26 -> 126, -30 -> -130
    EXPECT_EQ(run.html({edited, run.input, run.page}, console), 2);
    EXPECT_NE(console.find(": a window's value does not match the records"), std::string::npos) << console;
    EXPECT_FALSE(exists(run.page));
}

}  // namespace
}  // namespace kelto
