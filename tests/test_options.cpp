// Command-line options: the same run from the menu or from options, with
// any thread count and option placement; refused options; help, version,
// quiet consoles and the seed line.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "app/options.hpp"
#include "test_support.hpp"
#include "windows/kernel.hpp"

namespace {

using namespace kelto::testing;

// Four pairs (six quartets, most with significant windows) in dir/in.txt.
struct Input {
    Input() { write_file(in, pair_file(related_pairs(3, 4, 50))); }
    TempDir dir;
    const std::string in = dir.path("in.txt");
    const std::string out = dir.path("out.txt");
};

// Randomisations: enough that the percentages, and so the report, depend on the draws.
const std::string kT = "400";

const std::string kTooManyStop = "\nToo many significant maximum Windows.\n\nCall the authors. \t\tTHANK YOU .";

// The console of a menu run with the question (every time it was asked) removed.
std::string without_menu(std::string console)
{
    for (std::size_t at; (at = console.find(kMenu)) != std::string::npos;)
        console.erase(at, kMenu.size());
    return console;
}

TEST(Options, SeedAndMatrixGiveTheReportOfTheMenuRun) {
    Input f;
    const std::string menu_report = f.dir.path("menu.txt"), clock_report = f.dir.path("clock.txt");
    const Captured options = run_captured({"--seed", "77", "--matrix", "2", f.in, f.out, kT}, "");
    const Captured menu = run_captured({"--seed", "77", f.in, menu_report, kT}, "2\n");
    const Captured clock = run_captured({f.in, clock_report, kT}, "2\n", 77);  // the clock read 77
    for (const Captured *r : {&options, &menu, &clock})
        EXPECT_EQ(r->status, 0) << r->console;
    EXPECT_TRUE(read_file(f.out) == read_file(menu_report)) << "report differs from the menu run";
    EXPECT_TRUE(read_file(f.out) == read_file(clock_report)) << "report differs from the clock-seeded run";
    EXPECT_EQ(options.console.find(kMenu), std::string::npos);
    EXPECT_NE(menu.console.find(kMenu), std::string::npos);
    EXPECT_EQ(options.console, without_menu(menu.console));
    EXPECT_EQ(options.console, without_menu(clock.console));
}

TEST(Options, ThreadCountChangesNoByte) {
    Input f;
    const Captured one = run_captured({f.in, f.out, kT, "--seed", "5", "--matrix", "3", "--threads", "1"}, "");
    const std::string report = read_file(f.out);
    ASSERT_EQ(one.status, 0);
    ASSERT_NE(report.find("\nWin= "), std::string::npos);  // significant windows: the draws matter
    for (const char *threads : {"2", "3"}) {
        const Captured r = run_captured({f.in, f.out, kT, "--seed", "5", "--matrix", "3", "--threads", threads}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.console == one.console) << threads << " threads: console differs";
        EXPECT_TRUE(read_file(f.out) == report) << threads << " threads: report differs";
    }
}

// Changes to a directory for the lifetime of the object.
struct WorkingDirectory {
    explicit WorkingDirectory(const std::string &dir) : previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(previous); }
    std::filesystem::path previous;
};

TEST(Options, OptionsStandAnywhereAndDoubleDashEndsThem) {
    Input f;
    const Captured base = run_captured({f.in, f.out, kT, "--seed", "77", "--matrix", "2"}, "");
    const std::string report = read_file(f.out);
    ASSERT_EQ(base.status, 0);
    const std::string extra = f.dir.path("extra.txt");
    const std::vector<std::vector<std::string>> placements = {
        {"--seed=77", "--matrix=2", f.in, f.out, kT},
        {f.in, "--seed", "77", f.out, "--matrix", "blosum62", kT},
        {"--matrix", "2", f.in, f.out, "--seed=77", kT, "--threads", "2"},
        {"--seed", "77", "--matrix", "2", "--", f.in, f.out, kT},
        {f.in, f.out, kT, extra, "--seed", "77", "-x", "--matrix=2", "more"},  // extra positionals are ignored
    };
    for (const auto &args : placements) {
        SCOPED_TRACE(args[0] + " " + args[1] + " " + args[2]);
        std::filesystem::remove(f.out);
        const Captured r = run_captured(args, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, base.console);
        EXPECT_TRUE(read_file(f.out) == report) << "report differs";
    }
    EXPECT_FALSE(std::filesystem::exists(extra));

    {  // after "--" names that start with "--" are files
        const WorkingDirectory cwd(f.dir.dir);
        std::filesystem::copy_file(f.in, "--in.txt");
        const Captured r = run_captured({"--seed", "77", "--matrix", "2", "--", "--in.txt", "--out.txt", kT}, "");
        EXPECT_EQ(r.status, 0) << r.errors;
        EXPECT_EQ(r.console, base.console);
        EXPECT_TRUE(read_file("--out.txt") == report) << "report differs";
    }

    // A negative T is a positional, refused by the check of T.
    for (const auto &args : {std::vector<std::string>{f.in, f.out, "-5", "--seed", "77", "--matrix", "2"},
                             std::vector<std::string>{"--matrix", "2", "--", f.in, f.out, "-5"}}) {
        std::filesystem::remove(f.out);
        const Captured r = run_captured(args, "");
        EXPECT_EQ(r.console, kBanner + "\n T > 0 !!.\n");
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(std::filesystem::exists(f.out));
        EXPECT_EQ(read_file(f.out), "");
    }
}

TEST(Options, BadOptionsStopBeforeAnyFileIsTouched) {
    const struct {
        std::vector<std::string> args;  // after IN OUT T --json J --tsv T
        const char *option;             // named in the message
    } cases[] = {
        {{"--bogus"}, "--bogus"},
        {{"--bogus=3"}, "--bogus"},
        {{"--seed"}, "--seed"},
        {{"--json"}, "--json"},
        {{"--threads"}, "--threads"},
        {{"--seed", "abc"}, "--seed"},
        {{"--seed", "-1"}, "--seed"},
        {{"--seed=", "--quiet"}, "--seed"},
        {{"--seed", "12x"}, "--seed"},
        {{"--seed", "18446744073709551616"}, "--seed"},
        {{"--matrix", "7"}, "--matrix"},
        {{"--matrix", "0"}, "--matrix"},
        {{"--matrix", "foo"}, "--matrix"},
        {{"--matrix", "PAM2500"}, "--matrix"},
        {{"--threads", "0"}, "--threads"},
        {{"--threads", "abc"}, "--threads"},
        {{"--threads", "-2"}, "--threads"},
        {{"--quiet=1"}, "--quiet"},
    };
    for (bool report_exists : {false, true}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "") +
                         (report_exists ? " (report exists)" : ""));
            Input f;
            if (report_exists)
                write_file(f.out, "an earlier report\n");
            const auto before = directory_files(f.dir);
            std::vector<std::string> args{f.in, f.out, "5", "--json", f.dir.path("run.jsonl"), "--tsv",
                                          f.dir.path("run.tsv")};
            args.insert(args.end(), c.args.begin(), c.args.end());
            const Captured r = run_captured(args, "2\n");
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.console, "");
            const std::size_t line_end = r.errors.find('\n');
            ASSERT_NE(line_end, std::string::npos) << r.errors;
            const std::string message = r.errors.substr(0, line_end);
            EXPECT_TRUE(message.starts_with("kelto: ")) << message;
            EXPECT_NE(message.find(c.option), std::string::npos) << message;
            EXPECT_EQ(r.errors.substr(line_end + 1), kelto::kUsageLine);
            EXPECT_EQ(directory_files(f.dir), before);
        }
    }
}

TEST(Options, LargestSeedAndEveryMatrixNameAreAccepted) {
    Input f;
    for (const char *seed : {"0", "18446744073709551615"}) {
        const Captured r = run_captured({f.in, f.out, "5", "--seed", seed, "--matrix", "1"}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.errors, std::string("kelto: seed ") + seed + " (from --seed)\n");
    }
    const char *names[] = {"blosum45", "Blosum62", "BLOSUM90", "pam30", "Pam70", "pAm250"};
    std::set<std::string> reports;
    for (int m = 0; m < 6; ++m) {
        SCOPED_TRACE(names[m]);
        const std::string menu_report = f.dir.path("menu.txt");
        run_captured({f.in, menu_report, "20", "--seed", "9"}, std::to_string(m + 1) + "\n");
        const Captured r = run_captured({f.in, f.out, "20", "--seed", "9", "--matrix", names[m]}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(read_file(f.out) == read_file(menu_report)) << "report differs from the menu answer";
        reports.insert(read_file(f.out));
    }
    EXPECT_EQ(reports.size(), 6u);  // six different matrices
}

TEST(Options, HelpAndVersionTouchNoFile) {
    Input f;
    const auto before = directory_files(f.dir);
    const Captured help = run_captured({f.in, f.out, "5", "--json", f.dir.path("j"), "--help"}, "2\n");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.errors, "");
    const char *options[] = {"--seed S",  "--matrix M", "--threads N", "--quiet", "--json FILE", "--tsv FILE",
                             "--html FILE", "--resume",  "--shard K/N", "--help",  "--version"};
    std::size_t option_lines = 0;
    for (std::size_t at = 0; (at = help.console.find("\n  --", at)) != std::string::npos; ++at)
        ++option_lines;
    EXPECT_EQ(option_lines, std::size(options)) << help.console;
    for (const char *option : options) {
        const std::regex line(std::string("\n  ") + option + "  +\\S[^\n]*\n");
        EXPECT_TRUE(std::regex_search(help.console, line)) << option << " missing from\n" << help.console;
    }

    const Captured version = run_captured({"--version", f.in, f.out, "5"}, "2\n");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.errors, "");
    const std::string kernel = kelto::wide_kernel_available() ? "wide" : "scalar";
    EXPECT_TRUE(std::regex_match(version.console, std::regex("kelto 1\\.1\\.0\nrandomisation kernel: " + kernel +
                                                             "[^\n]*\n")))
        << version.console;
    EXPECT_EQ(directory_files(f.dir), before);
}

TEST(Options, QuietConsoleKeepsOnlyTheMenuAndStopMessages) {
    Input f;
    const std::string loud_report = f.dir.path("loud.txt");
    const Captured loud = run_captured({f.in, loud_report, kT, "--seed", "4"}, "2\n");
    ASSERT_EQ(loud.status, 0);
    ASSERT_GT(loud.console.size(), 1000u);

    const Captured quiet = run_captured({"--quiet", f.in, f.out, kT, "--seed", "4", "--matrix", "2"}, "");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.console, "");
    EXPECT_EQ(quiet.errors, "kelto: seed 4 (from --seed)\n");
    EXPECT_TRUE(read_file(f.out) == read_file(loud_report)) << "quiet report differs";

    const Captured asked = run_captured({"--quiet", f.in, f.out, kT, "--seed", "4"}, "9\n2\n");
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.console, kMenu + kMenu);
    EXPECT_TRUE(read_file(f.out) == read_file(loud_report)) << "quiet report differs";

    const struct { std::string file, t, message; } stops[] = {
        {"# 2\n>a\nAC\n>b\nX\n>c\nAC\n>d\nAC\n", "3", "\n ERROR IN THE SEQUENCE 1.\n"},
        {"# 1\n>a\nAC\n>b\nAC\n", "3", "\n Pairs of Sequences = 1\n\n Minimum 2 Pairs of Sequences. \n"},
        {"# 2\n>a\nAC\n>b\nAC\n>c\nAC\n>d\nAC\n", "0", "\n T > 0 !!.\n"},
        {pair_file(too_many_maximum_records()), "40", kTooManyStop},
    };
    for (const auto &s : stops) {
        SCOPED_TRACE(s.message);
        write_file(f.in, s.file);
        const Captured r = run_captured({f.in, f.out, s.t, "--matrix=2", "--quiet", "--seed=4"}, "");
        const std::string quiet_report = read_file(f.out);
        const Captured l = run_captured({f.in, loud_report, s.t, "--matrix=2", "--seed=4"}, "");
        EXPECT_EQ(r.console, s.message);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(l.console.ends_with(s.message));
        EXPECT_TRUE(quiet_report == read_file(loud_report)) << "quiet report differs";
    }
}

TEST(Options, SeedLineNamesTheSeedAndReproducesTheRun) {
    Input f;
    const Captured given = run_captured({f.in, f.out, kT, "--seed", "123456789012", "--quiet"}, "2\n");
    EXPECT_EQ(given.errors, "kelto: seed 123456789012 (from --seed)\n");

    const std::regex clock_line("kelto: seed ([0-9]+) \\(from the clock; rerun with --seed ([0-9]+)\\)\n");
    std::smatch seed;
    const Captured quiet_clock = run_executable_captured({f.in, f.out, kT, "--quiet", "--matrix", "2"}, "");
    EXPECT_EQ(quiet_clock.status, 0);
    EXPECT_TRUE(std::regex_match(quiet_clock.errors, clock_line)) << quiet_clock.errors;

    const Captured clock = run_executable_captured({f.in, f.out, kT}, "2\n");
    const std::string report = read_file(f.out);
    ASSERT_EQ(clock.status, 0);
    ASSERT_TRUE(std::regex_match(clock.errors, seed, clock_line)) << clock.errors;
    EXPECT_EQ(seed[1], seed[2]);
    const std::string n = seed[1];

    const Captured again = run_executable_captured({f.in, f.out, kT, "--seed", n, "--matrix", "2"}, "");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.errors, "kelto: seed " + n + " (from --seed)\n");
    EXPECT_TRUE(read_file(f.out) == report) << "the printed seed does not reproduce the report";
    EXPECT_EQ(again.console, without_menu(clock.console));

    // The report depends on the seed, so the comparison above can fail.
    const std::string other = std::to_string(std::stoull(n) + 1);
    run_executable_captured({f.in, f.out, kT, "--seed", other, "--matrix", "2"}, "");
    EXPECT_FALSE(read_file(f.out) == report);
}

}  // namespace
