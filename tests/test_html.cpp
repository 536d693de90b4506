// The HTML page of a recorded run: the html command reads and checks the
// JSON Lines record against its input, and writes one self-contained page
// whose embedded data no record name can end or break.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "input/gaps.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "page/page.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

using testing::Json;
using testing::read_file;
using testing::RunResult;
using testing::TempDir;
using testing::whole_lines;
using testing::write_file;
constexpr std::size_t npos = std::string::npos;

// Record names with markup, an ampersand, quotes, U+FFFD, U+2028 and U+2029.
const std::vector<std::string> kNames = {"a<b>", "Tom & \"Jerry\" 'x'", "</script><script>alert(1)</script>",
                                         "\xef\xbf\xbd?", "line\xe2\x80\xa8sep\xe2\x80\xa9", "<!--plain"};

// The data embedded in a page, parsed (discarded when there is none).
nlohmann::json embedded_data(const std::string &page)
{
    const std::string open = "<script type=\"application/json\" id=\"kelto-data\">";
    const std::size_t from = page.find(open), to = page.find("</script>", from);
    return from == npos || to == npos ? nlohmann::json(nlohmann::json::value_t::discarded)
                                      : nlohmann::json::parse(page.substr(from + open.size(), to - from - open.size()),
                                                              nullptr, false);
}

// A run of page_run.txt (windows of both kinds, eliminated ones, an
// identical quartet: ten quartets) with the awkward names, and its record.
struct HtmlPage : ::testing::Test {
    TempDir dir;
    std::string input = dir.path("in<put>.txt"), record = dir.path("run.jsonl"), page = dir.path("page.html");
    std::string record_text;
    std::vector<std::string> names;

    void SetUp() override
    {
        std::string text;
        for (const std::string &line : whole_lines(read_file(KELTO_TEST_DATA "/page_run.txt"))) {
            if (line.starts_with(">"))
                names.push_back(kNames[names.size() % kNames.size()]);
            text += (line.starts_with(">") ? ">" + names.back() : line) + "\n";
        }
        write_file(input, text);
        ASSERT_EQ(testing::run_in_process({"--quiet", "--seed", "18446744073709551615", "--matrix", "2", "--json",
                                           record, input, dir.path("out.txt"), "20"},
                                          "")
                      .status,
                  0);
        record_text = read_file(record);
    }

    RunResult html(const std::string &record_path, const std::string &page_path)
    {
        return testing::run_in_process({"html", record_path, input, page_path}, "");
    }

    // The record with its line k (from 0) changed.
    std::string with_line(std::size_t k, const std::function<void(Json &)> &change) const
    {
        std::vector<std::string> lines = whole_lines(record_text);
        Json line = Json::parse(lines[k]);
        change(line);
        lines[k] = line.dump();
        std::string text;
        for (const std::string &each : lines)
            text += each + "\n";
        return text;
    }

    // `text` as the record is refused with "RECORD`message`" (the reader names
    // the line, " line N: ...", where one is at fault); no page is written.
    void expect_refused(const std::string &text, const std::string &message)
    {
        write_file(dir.path("edited.jsonl"), text);
        const RunResult result = html(dir.path("edited.jsonl"), page);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors, "kelto html: " + dir.path("edited.jsonl") + message + "\n");
        EXPECT_FALSE(std::filesystem::exists(page));
    }
};

TEST_F(HtmlPage, PageIsSelfContainedAndEmbedsEscapedData)
{
    const RunResult written = testing::run_executable({"html", record, input, page});  // from the program's entry
    ASSERT_EQ(written.status, 0) << written.console;
    EXPECT_EQ(written.console, "");
    const std::string html = read_file(page);
    EXPECT_TRUE(html.starts_with("<!DOCTYPE html>"));
    EXPECT_NE(html.find("<html lang=\"en\" data-quartets=\"10\""), npos);
    EXPECT_NE(html.find("default-src 'none'"), npos);  // the page itself forbids loading

    // Nothing to load: no src= or href= attribute (in any case, blanks
    // before the '=' aside), no CSS url() or import; the only URL is the
    // SVG namespace name, in the markup and in the script.
    std::string squeezed;
    for (char c : html)
        if (c != ' ' && c != '\t' && c != '\n')
            squeezed += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(squeezed.find("src="), npos);
    EXPECT_EQ(squeezed.find("href="), npos);
    EXPECT_EQ(html.find("url("), npos);
    EXPECT_EQ(html.find("@import"), npos);
    EXPECT_EQ(testing::count(html, "://"), 2u);
    EXPECT_EQ(testing::count(html, "http://www.w3.org/2000/svg"), 2u);
    EXPECT_EQ(testing::count(html, "<script"), 3u);  // error capture, data, drawing

    // The data: no '<' at all, U+2028 and U+2029 (line ends to a script)
    // escaped, and it reads back to the names, the trimmed records and the run.
    const std::size_t from = html.find("id=\"kelto-data\">"), to = html.find("</script>", from);
    const std::string text = html.substr(from + 16, to - from - 16);
    EXPECT_EQ(text.find('<'), npos);
    EXPECT_EQ(text.find("\xe2\x80\xa8"), npos);
    EXPECT_EQ(text.find("\xe2\x80\xa9"), npos);
    EXPECT_NE(text.find("\\u003c/script\\u003e"), npos);
    const nlohmann::json data = embedded_data(html);
    ASSERT_FALSE(data.is_discarded());
    EXPECT_EQ(data["names"].get<std::vector<std::string>>(), names);
    EXPECT_EQ(data["records"].size(), 10u);
    for (const auto &residues : data["records"])
        EXPECT_EQ(residues.get<std::string>().size(), data["run"]["n_minimum"].get<std::size_t>());
    EXPECT_EQ(data["run"]["input"]["path"], input);
    EXPECT_EQ(data["run"]["seed"], "18446744073709551615");  // as text: beyond a script number
    EXPECT_EQ(data["matrix"].size(), 400u);
    EXPECT_EQ(data["matrix"][20 * 17 + 17], 11);  // W-W in BLOSUM62
    EXPECT_EQ(data["end"]["quartets_written"], 10);
}

// Per quartet: its final maximum and minimum windows, significant ones and
// flags (1: identical, a stop's index + 1 above it); per window: start,
// size, value, count, eliminated. A stopped run carries the stop.
TEST_F(HtmlPage, QuartetsAndWindowsInCompactColumns)
{
    write_file(dir.path("stop.txt"), testing::pair_file(testing::too_many_maximum_records()));
    ASSERT_EQ(testing::run_in_process({dir.path("stop.txt"), dir.path("stop.out"), "40", "--matrix", "2", "--json",
                                       dir.path("stop.jsonl"), "--html", dir.path("stop.html")},
                                      "")
                  .status,
              2);
    ASSERT_EQ(html(record, page).status, 0);
    const std::pair<std::string, std::string> runs[] = {{record, page},
                                                         {dir.path("stop.jsonl"), dir.path("stop.html")}};
    for (const auto &[run, written] : runs) {
        std::vector<int> quartets, windows;
        for (const Json &q : testing::json_lines(read_file(run))) {
            if (q["type"] != "quartet")
                continue;
            const char *limits[] = {"too_many_minimum_per_size", "too_many_maximum_per_size", "too_many_minimum",
                                    "too_many_maximum"};
            int stop = 0;
            for (int k = 0; k < 4; ++k)
                stop = q["stop"] == limits[k] ? k + 1 : stop;
            quartets.insert(quartets.end(),
                            {static_cast<int>(q["final_max"].size()), static_cast<int>(q["final_min"].size()),
                             q["significant_max"].get<int>(), q["significant_min"].get<int>(),
                             (q["identical"].get<bool>() ? 1 : 0) | stop << 1});
            for (const char *kind : {"final_max", "final_min"})
                for (const Json &w : q[kind])
                    windows.insert(windows.end(), {w["start"].get<int>(), w["size"].get<int>(), w["value"].get<int>(),
                                                   w["count"].get<int>(), w["eliminated"].get<bool>() ? 1 : 0});
        }
        const nlohmann::json data = embedded_data(read_file(written));
        EXPECT_EQ(data["Q"].get<std::vector<int>>(), quartets);
        EXPECT_EQ(data["W"].get<std::vector<int>>(), windows);
    }
    EXPECT_EQ(embedded_data(read_file(dir.path("stop.html")))["Q"][5 * 5 + 4], 4 << 1);  // too_many_maximum
    EXPECT_EQ(embedded_data(read_file(dir.path("stop.html")))["Q"][5 * 4 + 4], 1);       // identical
}

// --html without --json draws the page from a record kept aside: the same
// quartets and windows as the page of the recorded run, and no record left.
TEST_F(HtmlPage, RunWithoutRecordFileStillDrawsItsPage)
{
    const std::string own = dir.path("own.html");
    ASSERT_EQ(testing::run_in_process({"--quiet", "--seed", "18446744073709551615", "--matrix", "2", "--html", own,
                                       input, dir.path("own.txt"), "20"},
                                      "")
                  .status,
              0);
    ASSERT_EQ(html(record, page).status, 0);
    const nlohmann::json drawn = embedded_data(read_file(own)), recorded = embedded_data(read_file(page));
    EXPECT_EQ(drawn["Q"], recorded["Q"]);
    EXPECT_EQ(drawn["W"], recorded["W"]);
    EXPECT_EQ(drawn["run"]["input"]["bytes"], recorded["run"]["input"]["bytes"]);
    EXPECT_EQ(drawn["run"]["input"]["xxh3_128"], recorded["run"]["input"]["xxh3_128"]);
    EXPECT_EQ(drawn["end"]["status"], "completed");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.dir), std::filesystem::directory_iterator()), 6)
        << "in<put>.txt, run.jsonl, out.txt, page.html, own.html, own.txt";
}

// A torn last line (cut off, or whole but without its line feed) is left out
// and the run shown without its end; a broken line before the last is an
// error naming it.
TEST_F(HtmlPage, TornLastLineIsIgnored)
{
    const std::vector<std::string> lines = whole_lines(record_text);
    const std::string head = lines[0] + "\n" + lines[1] + "\n" + lines[2] + "\n";
    const std::pair<std::string, std::size_t> records[] = {{head + lines[3].substr(0, 30), 2}, {head + lines[3], 2}};
    for (const auto &[text, quartets] : records) {
        write_file(dir.path("torn.jsonl"), text);
        ASSERT_EQ(html(dir.path("torn.jsonl"), page).status, 0);
        const nlohmann::json data = embedded_data(read_file(page));
        EXPECT_EQ(data["Q"].size(), 5 * quartets);
        EXPECT_TRUE(data["end"].is_null());
        std::filesystem::remove(page);
    }
    expect_refused(head + lines[3].substr(0, 30) + "\n" + lines.back() + "\n", " line 4: not a line of a record (a JSON object with a \"type\")");
}

TEST_F(HtmlPage, RefusesRecordsThatDoNotFitTheInput)
{
    const std::vector<std::string> lines = whole_lines(record_text);
    // A shard's record starts at the first quartet of its block.
    Json shard_run = Json::parse(lines[0]);
    shard_run["shard"] = {{"index", 2}, {"count", 2}, {"first", 1}, {"end", 10}, {"report", "r.txt"}, {"tsv", nullptr}};
    write_file(dir.path("shard.jsonl"), shard_run.dump() + "\n" + lines[2] + "\n");
    EXPECT_EQ(html(dir.path("shard.jsonl"), page).status, 0);
    EXPECT_EQ(embedded_data(read_file(page))["first"], 1);  // numbered in the whole run
    std::filesystem::remove(page);

    expect_refused("", ": holds no complete run line: nothing was recorded");
    expect_refused(record_text.substr(lines[0].size() + 1), " line 1: not the run line of a record of this program");
    expect_refused(with_line(0, [](Json &run) { run["n_minimum"] = 40; }),
                   ": the record's N_minimum 40 is not the input's");
    expect_refused(with_line(0,
                             [](Json &run) {
                                 run["pairs"].erase(4);
                                 run["record_lengths"].erase(9);
                                 run["record_lengths"].erase(8);
                                 run["quartets"] = 6;
                             }),
                   ": the record has 4 pairs, the input 5");
    expect_refused(with_line(0, [](Json &run) { run["matrix_values"][1] = 7; }),
                   " line 1: the run line's \"matrix_values\" is missing or out of range");
    expect_refused(lines[0] + "\n" + lines[1] + "\n" + lines[3] + "\n",
                   " line 3: quartet 2 where quartet 1 is due");
    expect_refused(with_line(1, [](Json &q) { q["pair_b"] = 2; }),
                   " line 2: quartet 0 names pairs 0 and 2, not the pairs of its index");
    expect_refused(with_line(1, [](Json &q) { q["quartet"] = 10; }),
                   " line 2: the quartet line's \"quartet\" is missing or out of range");
    expect_refused(with_line(1, [](Json &q) { q["stop"] = "too_many_things"; }),
                   " line 2: quartet 0 has an unknown stop");
    expect_refused(with_line(1, [](Json &q) { q["stop"] = "too_many_maximum"; }),
                   " line 3: a quartet after the quartet that stopped the run");
    expect_refused(record_text + lines[1] + "\n", " line 13: a line after the end line");
    expect_refused(lines[0] + "\n{\"type\":\"merge\"}\n", " line 2: unknown line type \"merge\"");

    // A window without its count, and one whose value the records do not give.
    std::size_t k = 1;
    while (Json::parse(lines[k])["final_max"].empty())
        ++k;
    const std::string at = " line " + std::to_string(k + 1) + ": ";
    expect_refused(with_line(k, [](Json &q) { q["final_max"][0].erase("count"); }),
                   at + "a window of \"final_max\" lacks a field or has one out of range");
    expect_refused(with_line(k, [](Json &q) { Json &w = q["final_max"][0]; w["value"] = w["value"].get<int>() ^ 1; }),
                   at + "quartet " + std::to_string(k - 1) + ": a window's value does not match the records (another input or matrix?)");
}

TEST_F(HtmlPage, RefusesAnotherInputAndSamePathsWritingNothing)
{
    std::string changed = read_file(input);
    changed[changed.size() - 2] = changed[changed.size() - 2] == 'A' ? 'C' : 'A';  // same size, other bytes
    const std::string other = dir.path("other.txt");
    write_file(other, changed);
    RunResult result = testing::run_in_process({"html", record, other, page}, "");
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "kelto html: " + other + " is not the input of this run (size or XXH3-128 differs from " +
                                  input + ")\n");
    ASSERT_EQ(symlink(record.c_str(), dir.path("link.jsonl").c_str()), 0);
    ASSERT_EQ(mkfifo(dir.path("fifo").c_str(), 0600), 0);
    const std::pair<std::string, std::string> targets[] = {
        {record, "is the same file as the record " + record},
        {input, "is the same file as the input " + input},
        {dir.path("link.jsonl"), "is the same file as the record " + record},
        {dir.path("fifo"), "is not a regular file (a device, FIFO or socket is never replaced)"},
        {dir.dir, "is a directory"},
        {dir.path("report.txt"), "exists and is not an HTML page: it is not replaced"},
    };
    write_file(dir.path("report.txt"), "a report\n");
    for (const auto &[target, why] : targets) {
        result = html(record, target);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.errors, "kelto html: the page " + target + " " + why + "\n");
    }
    EXPECT_EQ(read_file(dir.path("report.txt")), "a report\n");
    EXPECT_EQ(read_file(record), record_text);
    EXPECT_EQ(testing::run_in_process({"html", record, input}, "").errors,
              "kelto html: usage: kelto html RUN.jsonl IN_FILE PAGE.html\n");
    EXPECT_TRUE(html(dir.path("none.jsonl"), page).errors.starts_with("kelto html: cannot open the record "));
    EXPECT_FALSE(std::filesystem::exists(page));
}

TEST_F(HtmlPage, AFullDiskIsAnErrorWithAMessage)
{
    FILE *in = std::fopen(input.c_str(), "rb");
    SequenceSet set;
    std::string console, message;
    int shortest = 0;
    ASSERT_EQ(read_pair_file(in, console, set, shortest), Status::kContinue);
    std::fclose(in);
    remove_gap_columns(set, shortest, console);
    FILE *records = std::fopen(record.c_str(), "rb");
    FILE *full = std::fopen("/dev/full", "wb");
    ASSERT_TRUE(records != nullptr && full != nullptr);
    EXPECT_FALSE(write_html_page(records, record, set, kMatrixSet[1].scores, [full] { return full; }, message));
    std::fclose(records);
    std::fclose(full);
    EXPECT_EQ(message, "cannot write the page (disk full?)");

    // The command never writes to a device: a link to one is refused and
    // left in place.
    const std::string device = dir.path("full-page");
    ASSERT_EQ(symlink("/dev/full", device.c_str()), 0);
    const RunResult result = html(record, device);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.errors, "kelto html: the page " + device +
                                  " is not a regular file (a device, FIFO or socket is never replaced)\n");
    EXPECT_TRUE(std::filesystem::is_symlink(device));
}

}  // namespace
}  // namespace kelto
