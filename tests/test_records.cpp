// The JSON Lines and TSV records of a run: they parse, they say what the
// report says, they do not depend on the thread count, they keep awkward
// names readable, and they never overwrite the input or the report.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "tsv/tsv.hpp"

namespace {

using namespace kelto::testing;

constexpr std::size_t npos = std::string::npos;
const std::string kRule(72, '=');
const std::string kHeading = "\n" + kRule + "\n\nGENE QUARTET: \n";

template <class... Args>
std::string format(const char *pattern, Args... args)
{
    char text[512];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// Reads both files with Python's json and csv modules (check_records.py).
void expect_python_reads(const std::string &json, const std::string &tsv)
{
    if (std::system("command -v python3 > /dev/null 2>&1") != 0) {
        std::printf("python3 not found: the records were not read with Python\n");
        return;
    }
    const std::string script = (std::filesystem::path(__FILE__).parent_path() / "check_records.py").string();
    TempDir io;
    const int status = std::system(
        ("python3 '" + script + "' '" + json + "' '" + tsv + "' > '" + io.path("out") + "' 2>&1").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(io.path("out"));
}

std::string listing_line(const Json &w)
{
    return format("Win= %3d | Pos= %3d-%3d | Value= %3d | %6.4f%% | Average= %6.4f | Err= %6.4f", w["size"].get<int>(),
                  w["start"].get<int>(), w["end"].get<int>(), w["value"].get<int>(), w["percent"].get<double>(),
                  w["average"].get<double>(), w["err"].get<double>()) +
           (w["eliminated"].get<bool>() ? " --> ELIMINATED!" : "");
}

// The window lines listed under `title` in a quartet's report text.
std::vector<std::string> listed_windows(const std::string &section, const std::string &title)
{
    const std::size_t start = section.find(title);
    if (start == npos)
        return {"(no " + title + ")"};
    const std::size_t end = section.find("\n\n" + kRule, start);
    std::istringstream block(section.substr(start + title.size(), end - start - title.size()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(block, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// One quartet line against the quartet's text in the report.
void expect_quartet_as_reported(const Json &q, const std::string &section, int randomisations)
{
    SCOPED_TRACE("quartet " + q["quartet"].dump());
    const bool identical = section.find("IDENTICAL SEQUENCES!") != npos;
    EXPECT_EQ(q["identical"], identical);
    if (identical || !q["stop"].is_null()) {
        EXPECT_EQ(q["final_max"], Json::array());
        EXPECT_EQ(q["final_min"], Json::array());
    }
    if (identical) {
        for (const char *key : {"mean", "std", "significant_max", "significant_min"})
            EXPECT_EQ(q[key], 0) << key;
        return;
    }
    if (!q["stop"].is_null()) {  // the detected windows are all the report shows
        EXPECT_EQ(count(section, "\nWin= "),
                  q["significant_max"].get<std::size_t>() + q["significant_min"].get<std::size_t>());
        return;
    }
    EXPECT_NE(section.find(format("\n\n %4d maximum windows.", q["significant_max"].get<int>())), npos);
    EXPECT_NE(section.find(format("\n\n %4d minimum windows\n", q["significant_min"].get<int>())), npos);
    for (const auto &[key, title] : {std::pair{"final_max", "FINAL MAXIMUM WINDOWS: \n"},
                                     std::pair{"final_min", "FINAL MINIMUM WINDOWS: \n"}}) {
        std::vector<std::string> expected;
        for (const Json &w : q[key]) {
            expected.push_back(listing_line(w));
            EXPECT_NEAR(w["percent"].get<double>(), w["count"].get<double>() * 100.0 / randomisations, 1e-9);
        }
        EXPECT_EQ(listed_windows(section, title), expected) << key;
    }
    EXPECT_NE(section.find(format("Average value of C(k)12 = %7.4f \t|\tSTD= %7.4f", q["mean"].get<double>(),
                                  q["std"].get<double>())),
              npos);
}

// How a run ends: its end line's status, exit status and quartets written.
struct Outcome {
    const char *status;
    int exit_status;
    long long written;
};

struct RunFiles {
    std::string console, report, json, tsv;
};

// Runs on dir/in.txt with --json and --tsv beside the report; checks every
// line of the JSON against the report and the TSV; returns the files.
RunFiles run_and_check(const TempDir &dir, int pairs, int t, const std::string &threads, const Outcome &outcome)
{
    SCOPED_TRACE(threads + " threads");
    const RunResult r = run_in_process({dir.path("in.txt"), dir.path("out.txt"), std::to_string(t), "--seed", "11",
                                        "--matrix", "2", "--threads", threads, "--json", dir.path("run.jsonl"),
                                        "--tsv", dir.path("run.tsv")},
                                       "");
    RunFiles files{r.console, r.report, read_file(dir.path("run.jsonl")), read_file(dir.path("run.tsv"))};
    EXPECT_EQ(r.status, outcome.exit_status);
    const std::vector<Json> lines = json_lines(files.json);
    EXPECT_EQ(lines.size(), static_cast<std::size_t>(outcome.written) + 2);
    if (lines.size() < 2)
        return files;

    const Json &run = lines.front();
    EXPECT_EQ(run["type"], "run");
    EXPECT_EQ(run["quartets"], pairs * (pairs - 1) / 2);
    EXPECT_EQ(run["T"], t);
    EXPECT_EQ(run["seed"], 11);
    EXPECT_EQ(run["seed_source"], "option");
    EXPECT_EQ(run["matrix"], "BLOSUM62");
    EXPECT_EQ(run["threads"], std::stoi(threads));
    EXPECT_EQ(run["input"]["bytes"], std::filesystem::file_size(dir.path("in.txt")));
    EXPECT_EQ(run["pairs"].size(), static_cast<std::size_t>(pairs));
    Json end = lines.back();
    end.erase("wall_seconds");
    EXPECT_EQ(end.dump(), format("{\"type\":\"end\",\"status\":\"%s\",\"exit_status\":%d,\"quartets_written\":%lld}",
                                 outcome.status, outcome.exit_status, outcome.written));

    std::vector<std::size_t> headings;
    for (std::size_t at = 0; (at = files.report.find(kHeading, at)) != npos; ++at)
        headings.push_back(at);
    EXPECT_EQ(headings.size(), lines.size() - 2);
    headings.push_back(files.report.size());
    std::size_t tsv_end = files.tsv.find('\n') + 1;  // after the header
    int a = 0, b = 1;
    for (std::size_t i = 0; i + 2 < lines.size() && i + 1 < headings.size(); ++i) {
        const Json &q = lines[i + 1];
        EXPECT_EQ(q["type"], "quartet");
        EXPECT_EQ(q["quartet"], i);
        EXPECT_EQ(q["pair_a"], a);
        EXPECT_EQ(q["pair_b"], b);
        const auto name = [](int record) { return std::string(1, 's') += std::to_string(record); };
        EXPECT_EQ(q["names"], Json({name(2 * a), name(2 * a + 1), name(2 * b), name(2 * b + 1)}));
        EXPECT_EQ(q["stop"].is_null(), i + 3 < lines.size() || outcome.exit_status == 0) << "only the last may stop";
        if (!q["stop"].is_null()) {
            EXPECT_EQ(q["stop"], outcome.status);
        }
        EXPECT_EQ(q["report_bytes"], headings[i + 1]);
        expect_quartet_as_reported(q, files.report.substr(headings[i], headings[i + 1] - headings[i]), t);
        while (tsv_end < files.tsv.size() && std::stoul(files.tsv.substr(tsv_end, 12)) == i)
            tsv_end = files.tsv.find('\n', tsv_end) + 1;
        EXPECT_EQ(q["tsv_bytes"], tsv_end);
        if (++b == pairs)
            b = ++a + 1;
    }
    EXPECT_EQ(tsv_end, files.tsv.size());
    expect_python_reads(dir.path("run.jsonl"), dir.path("run.tsv"));
    return files;
}

// The same console, report, TSV and record (but for threads and wall time)
// with one and with three threads.
void expect_same_records_for_one_and_three_threads(const std::vector<std::string> &records, int t,
                                                   const Outcome &outcome)
{
    TempDir dir;
    write_file(dir.path("in.txt"), pair_file(records));
    const int pairs = static_cast<int>(records.size() / 2);
    const RunFiles one = run_and_check(dir, pairs, t, "1", outcome);
    const RunFiles three = run_and_check(dir, pairs, t, "3", outcome);
    EXPECT_TRUE(one.console == three.console) << "consoles differ";
    EXPECT_TRUE(one.report == three.report) << "reports differ";
    EXPECT_TRUE(one.tsv == three.tsv) << "TSV files differ";
    EXPECT_EQ(comparable_lines(one.json), comparable_lines(three.json));
    // The records cover every kind of quartet and window.
    EXPECT_NE(one.json.find("\"identical\":true"), npos);
    EXPECT_NE(one.tsv.find("\tmax\t"), npos);
    EXPECT_NE(one.tsv.find("\tmin\t"), npos);
    if (outcome.exit_status == 0) {
        EXPECT_NE(one.tsv.find("\ttrue\t"), npos);
    }
}

// The suite Parallel is what the ThreadSanitizer run of the CI runs.
TEST(Parallel, ManyQuartetsGiveTheSameRecordsAsTheReport)
{
    std::vector<std::string> records = related_pairs(5, 7, 60);
    records[10] = records[4];  // pair 5 repeats pair 2: quartet (2,5) is identical
    records[11] = records[5];
    records[12] = records[13] = records[0];  // pair 6 against pair 0: windows that average 0, eliminated
    expect_same_records_for_one_and_three_threads(records, 100, {"completed", 0, 21});
}

TEST(Parallel, StopMidwayEndsTheSameRecords)
{
    expect_same_records_for_one_and_three_threads(too_many_maximum_records(), 40, {"too_many_maximum", 2, 6});
}

// 9 of 500: 1.8, where 9 / 500 x 100 is 1.7999999999999998; the ids follow
// the residue numbers.
TEST(Records, TsvPercentIsTheNearestDoubleAndIdsFollowThePlace)
{
    kelto::QuartetResult result;
    result.randomisations = 500;
    kelto::FinalWindow window;
    window.record = kelto::WindowRecord{2, 2, 1, 5, 9.0 / 500 * 100, 1, 2.5, 0.5, 9};
    result.final_max.push_back(window);
    std::string tsv;
    kelto::append_tsv_rows(tsv, result, {"a/1-9 x ", "b", "c", "d"});
    EXPECT_NE(tsv.find("\t1.8\t"), std::string::npos) << tsv;
    EXPECT_NE(tsv.find("\t0\t0\ta/1-9\tb\tc\td\tmax\t"), std::string::npos) << tsv;
}

TEST(Records, AwkwardNamesStayValidUtf8)
{
    const std::vector<std::string> names = {"tab\there", "say \"hi\"", "back\\slash", "ctl\x01" "and\x7f",
                                            "caf\xe9",   "plain"};
    const std::vector<std::string> as_json = {names[0], names[1], names[2], names[3], "caf\xef\xbf\xbd", names[5]};
    const std::vector<std::string> residues = related_pairs(8, 3, 60);
    TempDir dir;
    std::string file = "# 3\n";
    for (std::size_t i = 0; i < names.size(); ++i)
        file += ">" + names[i] + "\n" + residues[i] + "\n";
    write_file(dir.path("in.txt"), file);
    const RunResult r = run_in_process({dir.path("in.txt"), dir.path("out.txt"), "100", "--seed", "3", "--matrix", "2",
                                        "--json", dir.path("run.jsonl"), "--tsv", dir.path("run.tsv")},
                                       "");
    ASSERT_EQ(r.status, 0);
    const std::string json = read_file(dir.path("run.jsonl")), tsv = read_file(dir.path("run.tsv"));
    for (char c : json)
        EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 && c != '\n') << "raw control byte " << int(c);
    const std::vector<Json> lines = json_lines(json);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0]["pairs"], Json::array({Json::array({as_json[0], as_json[1]}),
                                              Json::array({as_json[2], as_json[3]}),
                                              Json::array({as_json[4], as_json[5]})}));
    const int quartet_pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
    for (int q = 0; q < 3; ++q) {
        const int a = quartet_pairs[q][0], b = quartet_pairs[q][1];
        EXPECT_EQ(lines[static_cast<std::size_t>(q) + 1]["names"],
                  Json({as_json[2 * a], as_json[2 * a + 1], as_json[2 * b], as_json[2 * b + 1]}));
    }
    // The TSV's names (control characters blank, '"' as "'") and its column
    // count, against the JSON's.
    EXPECT_GT(count(tsv, "\n"), 1u);
    expect_python_reads(dir.path("run.jsonl"), dir.path("run.tsv"));
}

TEST(Records, RecordFileNamingTheInputOrTheReportIsRefused)
{
    TempDir dir;
    const std::string in = dir.path("in.txt"), out = dir.path("out.txt"), fresh = dir.path("new.txt");
    write_file(in, pair_file(related_pairs(2, 2, 30)));
    ASSERT_EQ(symlink(in.c_str(), dir.path("in.link").c_str()), 0);
    ASSERT_EQ(symlink(out.c_str(), dir.path("out.link").c_str()), 0);
    ASSERT_EQ(symlink(fresh.c_str(), dir.path("new.link").c_str()), 0);  // the report to be
    const struct {
        std::string report, option, path;
    } cases[] = {
        {out, "--json", in},    {out, "--tsv", dir.path("in.link")}, {out, "--json", out},
        {out, "--tsv", dir.path("out.link")}, {fresh, "--json", fresh}, {fresh, "--tsv", dir.path("new.link")},
        {out, "--json", dir.path("same")},  // with --tsv the same path
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.option + " " + c.path + " beside " + c.report);
        write_file(out, "an earlier report\n");  // as it was, whatever an earlier case did
        std::filesystem::remove(fresh);
        const auto before = directory_files(dir);
        std::vector<std::string> args{in, c.report, "5", "--matrix", "2", "--seed", "1", c.option, c.path};
        if (c.path == dir.path("same"))
            args.insert(args.end(), {"--tsv", c.path});
        const RunResult r = run_in_process(args, "");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.console.starts_with(kBanner)) << r.console;
        EXPECT_NE(r.errors.find(" " + c.path + " is the same file as "), npos) << r.errors;
        EXPECT_EQ(r.errors.find("seed"), npos) << r.errors;  // stopped before the analysis
        EXPECT_TRUE(directory_files(dir) == before) << "a file was created or changed";
    }
}

// The same file named relatively and absolutely before it exists, and the
// page through a link in another directory: refused, nothing created.
TEST(Records, SameFileUnderAnotherNameIsRefused)
{
    TempDir dir;
    write_file(dir.path("in.txt"), pair_file(related_pairs(2, 2, 30)));
    write_file(dir.path("out.txt"), "an earlier report\n");
    std::filesystem::create_directory(dir.path("sub"));
    ASSERT_EQ(symlink(dir.path("out.txt").c_str(), dir.path("sub/p.html").c_str()), 0);
    const std::string previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.dir);
    const auto before = directory_files(dir);
    const RunResult relative =
        run_in_process({"in.txt", "o.txt", "5", "--matrix", "2", "--json", dir.path("o.txt")}, "");
    const RunResult linked = run_in_process({"in.txt", "out.txt", "5", "--matrix", "2", "--html", "sub/p.html"}, "");
    std::filesystem::current_path(previous);
    EXPECT_EQ(relative.status, 2);
    EXPECT_NE(relative.errors.find("kelto: the JSON file " + dir.path("o.txt") + " is the same file as the report o.txt\n"),
              npos)
        << relative.errors;
    EXPECT_EQ(linked.status, 2);
    EXPECT_NE(linked.errors.find("kelto: the HTML file sub/p.html is the same file as the report out.txt\n"), npos)
        << linked.errors;
    EXPECT_TRUE(directory_files(dir) == before) << "a file was created or changed";
}

// A full disk is an error, never silently truncated output; the JSON
// records no quartet whose TSV rows were lost.
TEST(Records, UnwritableOutputStopsWithStatus2)
{
    TempDir dir;
    const std::string in = dir.path("in.txt"), out = dir.path("out.txt"), json = dir.path("run.jsonl");
    write_file(in, pair_file(related_pairs(4, 4, 40)));
    using Args = std::vector<std::string>;
    for (const auto &[args, file] : {std::pair{Args{in, "/dev/full", "20"}, "report"},
                                     std::pair{Args{in, out, "20", "--json", "/dev/full"}, "JSON"},
                                     std::pair{Args{in, out, "20", "--tsv", "/dev/full", "--json", json}, "TSV"}}) {
        Args quiet = args;
        quiet.insert(quiet.end(), {"--matrix", "2", "--quiet"});
        const RunResult r = run_in_process(quiet, "");
        EXPECT_EQ(r.console, std::string("\n Problems writing the ") + file + " file /dev/full.\n");
        EXPECT_EQ(r.status, 2);
    }
    const std::vector<Json> lines = json_lines(read_file(json));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines.back()["status"], "write_error");
    EXPECT_EQ(lines.back()["exit_status"], 2);
    EXPECT_EQ(lines.back()["quartets_written"], 0);
}

}  // namespace
