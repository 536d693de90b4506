// Command-line options: the same run from the menu or from options, with
// any thread count and option placement; refused options; help, version,
// quiet consoles and the seed line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/options.hpp"
#include "test_support.hpp"
#include "windows/kernel.hpp"

namespace {

using namespace kelto::testing;
using Args = std::vector<std::string>;

// Four pairs (six quartets, most with significant windows) in dir/in.txt.
struct Input {
    Input() { write_file(in, pair_file(related_pairs(3, 4, 50))); }
    TempDir dir;
    const std::string in = dir.path("in.txt");
    const std::string out = dir.path("out.txt");
};

// Randomisations: enough that the percentages, and so the report, depend on the draws.
const std::string kT = "400";

// The console of a menu run with the question (every time it was asked) removed.
std::string without_menu(std::string console)
{
    for (std::size_t at; (at = console.find(kMenu)) != std::string::npos;)
        console = console.substr(0, at) + console.substr(at + kMenu.size());
    return console;
}

TEST(Options, SeedAndMatrixGiveTheMenuRunWithAnyThreadCount)
{
    Input f;
    const std::string menu_report = f.dir.path("menu.txt");
    const RunResult menu = run_in_process({"--seed", "77", f.in, menu_report, kT}, "2\n");
    const std::string report = read_file(menu_report);
    ASSERT_EQ(menu.status, 0);
    ASSERT_NE(report.find("\nWin= "), std::string::npos);  // significant windows: the draws matter
    EXPECT_NE(menu.console.find(kMenu), std::string::npos);
    for (const char *threads : {"1", "2", "3"}) {
        SCOPED_TRACE(std::string(threads) + " threads");
        const RunResult r = run_in_process({"--seed", "77", "--matrix=2", "--threads", threads, f.in, f.out, kT}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(read_file(f.out) == report) << "report differs from the menu run's";
        EXPECT_EQ(r.console, without_menu(menu.console));
    }
}

TEST(Options, OptionsStandAnywhereAndDoubleDashEndsThem)
{
    Input f;
    const RunResult base = run_in_process({f.in, f.out, kT, "--seed", "77", "--matrix", "2"}, "");
    ASSERT_EQ(base.status, 0);
    const std::string extra = f.dir.path("extra.txt");
    for (const Args &args : {Args{"--seed=77", "--matrix=2", f.in, f.out, kT},
                             Args{f.in, "--seed", "77", f.out, "--matrix", "blosum62", kT},
                             Args{"--matrix", "2", f.in, f.out, "--seed=77", kT, "--threads", "2"},
                             Args{"--seed", "77", "--matrix", "2", "--", f.in, f.out, kT},
                             Args{f.in, f.out, kT, extra, "--seed", "77", "x", "--matrix=2", "more"}}) {
        SCOPED_TRACE(args[0] + " " + args[1] + " " + args[2]);
        std::filesystem::remove(f.out);
        const RunResult r = run_in_process(args, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.console, base.console);
        EXPECT_TRUE(read_file(f.out) == base.report) << "report differs";
    }
    EXPECT_FALSE(std::filesystem::exists(extra));  // extra positionals are ignored

    // After "--" names that start with "--" are files.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(f.dir.dir);
    std::filesystem::copy_file(f.in, "--in.txt");
    const RunResult dashed = run_in_process({"--seed", "77", "--matrix", "2", "--", "--in.txt", "--out.txt", kT}, "");
    const std::string dashed_report = read_file("--out.txt");
    std::filesystem::current_path(previous);
    EXPECT_EQ(dashed.status, 0) << dashed.errors;
    EXPECT_EQ(dashed.console, base.console);
    EXPECT_TRUE(dashed_report == base.report) << "report differs";

    // A negative T is a positional, refused by the check of T.
    for (const Args &args : {Args{f.in, f.out, "-5", "--seed", "77", "--matrix", "2"},
                             Args{"--matrix", "2", "--", f.in, f.out, "-5"}}) {
        const RunResult r = run_in_process(args, "");
        EXPECT_EQ(r.console, kBanner + "\n T > 0 !!.\n");
        EXPECT_EQ(r.errors, "");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(std::filesystem::exists(f.out) && read_file(f.out).empty());
    }
}

// Refused with a message naming the option, the usage line and status 2,
// before any file is created or truncated.
TEST(Options, BadOptionsStopBeforeAnyFileIsTouched)
{
    const Args cases[] = {{"--bogus"}, {"--bogus=3"}, {"--seed"}, {"--json"}, {"--seed", "abc"}, {"--seed", "-1"},
                          {"--seed", "12x"}, {"--seed=", "--quiet"}, {"--seed", "18446744073709551616"},
                          {"--matrix", "7"}, {"--matrix", "PAM2500"}, {"--threads", "0"}, {"--threads", "abc"},
                          {"--quiet=1"}, {"--shard", "0/3", "--seed", "1"}, {"--shard", "4/3", "--seed", "1"},
                          {"--shard", "1/0", "--seed", "1"},
                          {"-threads", "2"}, {"-x"}, {"-quiet"}};
    for (bool report_exists : {false, true}) {
        for (const Args &bad : cases) {
            SCOPED_TRACE(bad[0] + (bad.size() > 1 ? " " + bad[1] : "") + (report_exists ? " (report exists)" : ""));
            Input f;
            if (report_exists)
                write_file(f.out, "an earlier report\n");
            const auto before = directory_files(f.dir);
            Args args{f.in, f.out, "5", "--json", f.dir.path("run.jsonl"), "--tsv", f.dir.path("run.tsv")};
            args.insert(args.end(), bad.begin(), bad.end());
            const RunResult r = run_in_process(args, "2\n");
            EXPECT_EQ(r.status, 2);
            EXPECT_EQ(r.console, "");
            // "kelto: " and a line naming the option, then the usage line.
            const std::string message = r.errors.substr(0, r.errors.find('\n') + 1);
            EXPECT_TRUE(message.starts_with("kelto: ")) << r.errors;
            EXPECT_NE(message.find(bad[0].substr(0, bad[0].find('='))), std::string::npos) << r.errors;
            EXPECT_EQ(r.errors, message + kelto::kUsageLine);
            EXPECT_EQ(directory_files(f.dir), before);
        }
    }
}

TEST(Options, LargestSeedAndEveryMatrixNameAreAccepted)
{
    Input f;
    for (const char *seed : {"0", "18446744073709551615"}) {
        const RunResult r = run_in_process({f.in, f.out, "5", "--seed", seed, "--matrix", "1"}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.errors, std::string("kelto: seed ") + seed + " (from --seed)\n");
    }
    const char *names[] = {"blosum45", "Blosum62", "BLOSUM90", "pam30", "Pam70", "pAm250"};
    std::set<std::string> reports;
    for (int m = 0; m < 6; ++m) {
        SCOPED_TRACE(names[m]);
        const std::string answer = std::to_string(m + 1) + "\n";
        const RunResult menu = run_in_process({f.in, f.dir.path("menu.txt"), "20", "--seed", "9"}, answer);
        const RunResult r = run_in_process({f.in, f.out, "20", "--seed", "9", "--matrix", names[m]}, "");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(r.report == menu.report) << "report differs from the menu answer's";
        reports.insert(r.report);
    }
    EXPECT_EQ(reports.size(), 6u);  // six different matrices
}

TEST(Options, HelpAndVersionTouchNoFile)
{
    Input f;
    const auto before = directory_files(f.dir);
    const RunResult help = run_in_process({f.in, f.out, "5", "--json", f.dir.path("j"), "--help"}, "2\n");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.errors, "");
    const char *options[] = {"--seed S",    "--matrix M",   "--pairs FILE", "--format FORM", "--family-randomisations J_MAX",
                             "--family-exceedances H",      "--family-null NULL",
                             "--threads N", "--quiet",      "--json FILE",  "--tsv FILE",
                             "--html FILE", "--resume",     "--shard K/N",  "--help",
                             "--version"};
    EXPECT_EQ(count(help.console, "\n  --"), std::size(options)) << help.console;
    for (const char *option : options) {
        // "  --name ARG", two or more blanks, then the help text.
        const std::string start = std::string("\n  ") + option + "  ";
        const std::size_t at = help.console.find(start);
        ASSERT_NE(at, std::string::npos) << option << " missing from\n" << help.console;
        const std::size_t text = help.console.find_first_not_of(' ', at + start.size());
        EXPECT_TRUE(text != std::string::npos && help.console[text] != '\n') << option << " has no help text";
    }

    EXPECT_EQ(run_in_process({f.in, "-h", f.out, "5"}, "").console, help.console);  // -h is --help

    const RunResult version = run_in_process({"--version", f.in, f.out, "5"}, "2\n");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.errors, "");
    const std::string kernel = kelto::kernel_name(kelto::best_kernel());
    EXPECT_TRUE(version.console.starts_with("kelto 1.3.0\nrandomisation kernel: " + kernel)) << version.console;
    EXPECT_EQ(count(version.console, "\n"), 2u) << version.console;
    EXPECT_TRUE(version.console.ends_with("\n"));
    EXPECT_EQ(directory_files(f.dir), before);
}

// Sets KELTO_KERNEL for the life of the object.
struct ForcedKernel {
    explicit ForcedKernel(const char *name) { setenv("KELTO_KERNEL", name, 1); }
    ~ForcedKernel() { unsetenv("KELTO_KERNEL"); }
    ForcedKernel(const ForcedKernel &) = delete;
    ForcedKernel &operator=(const ForcedKernel &) = delete;
};

TEST(Options, EveryKernelTheCpuRunsGivesTheSameReportAndVersionNamesIt)
{
    Input f;
    const RunResult chosen = run_in_process({"--seed", "31", f.in, f.out, kT}, "2\n");
    ASSERT_EQ(chosen.status, 0);
    const std::string report = read_file(f.out);
    ASSERT_NE(report.find("\nWin= "), std::string::npos);  // significant windows: the draws matter
    for (kelto::KernelKind kind : {kelto::KernelKind::kScalar, kelto::KernelKind::kAvx2, kelto::KernelKind::kAvx512,
                                   kelto::KernelKind::kNeon}) {
        const char *name = kelto::kernel_name(kind);
        SCOPED_TRACE(name);
        ForcedKernel forced(name);
        const RunResult version = run_in_process({"--version"}, "");
        if (!kelto::kernel_available(kind)) {
            EXPECT_EQ(version.status, 2);
            EXPECT_EQ(version.console, "");
            EXPECT_EQ(version.errors,
                      std::string("kelto: KELTO_KERNEL=") + name + ": this CPU cannot run the " + name + " kernel\n");
            continue;
        }
        EXPECT_TRUE(version.console.starts_with("kelto 1.3.0\nrandomisation kernel: " + std::string(name) + " ("))
            << version.console;
        const std::string out = f.dir.path(std::string(name) + ".txt");
        const RunResult r = run_in_process({"--seed", "31", f.in, out, kT}, "2\n");
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(read_file(out) == report) << "report differs from the default kernel's";
        EXPECT_EQ(r.console, chosen.console);
    }
}

TEST(Options, UnknownKernelIsRefusedBeforeAnyFileIsTouched)
{
    Input f;
    const auto before = directory_files(f.dir);
    ForcedKernel forced("fast");
    const RunResult r = run_in_process({f.in, f.out, kT}, "2\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.errors, "kelto: KELTO_KERNEL=fast: no such kernel (scalar, avx2, avx512 or neon)\n");
    EXPECT_EQ(directory_files(f.dir), before);
}

TEST(Options, QuietConsoleKeepsOnlyTheMenuAndStopMessages)
{
    Input f;
    const RunResult loud = run_in_process({f.in, f.dir.path("loud.txt"), kT, "--seed", "4"}, "2\n");
    ASSERT_EQ(loud.status, 0);
    ASSERT_GT(loud.console.size(), 1000u);
    const RunResult quiet = run_in_process({f.in, f.out, "--quiet", kT, "--seed", "4", "--matrix", "2"}, "");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.console, "");
    EXPECT_EQ(quiet.errors, "kelto: seed 4 (from --seed)\n");
    EXPECT_TRUE(quiet.report == loud.report) << "quiet report differs";
    const RunResult asked = run_in_process({f.in, f.out, "--quiet", kT, "--seed", "4"}, "9\n2\n");
    EXPECT_EQ(asked.status, 0);
    EXPECT_EQ(asked.console, kMenu + kMenu);
    EXPECT_TRUE(asked.report == loud.report) << "quiet report differs";

    const struct {
        std::string file, t, message;
    } stops[] = {
        {"# 2\n>a\nAC\n>b\n9\n>c\nAC\n>d\nAC\n", "3", "\n ERROR IN THE SEQUENCE 1.\n"},
        {"# 1\n>a\nAC\n>b\nAC\n", "3", "\n Pairs of Sequences = 1\n\n Minimum 2 Pairs of Sequences. \n"},
        {"# 2\n>a\nAC\n>b\nAC\n>c\nAC\n>d\nAC\n", "0", "\n T > 0 !!.\n"},
        {pair_file(too_many_maximum_records()), "40",
         "\nToo many significant maximum Windows.\n\nCall the authors. \t\tTHANK YOU ."},
    };
    for (const auto &s : stops) {
        SCOPED_TRACE(s.message);
        write_file(f.in, s.file);
        const RunResult r = run_in_process({f.in, f.out, s.t, "--matrix=2", "--quiet", "--seed=4"}, "");
        const RunResult l = run_in_process({f.in, f.dir.path("loud.txt"), s.t, "--matrix=2", "--seed=4"}, "");
        EXPECT_EQ(r.console, s.message);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(l.console.ends_with(s.message));
        EXPECT_TRUE(r.report == l.report) << "quiet report differs";
    }
}

// The seed N of "kelto: seed N (from the clock; rerun with --seed N)\n",
// when that is the whole text and both numbers agree; empty otherwise.
std::string clock_seed(const std::string &errors)
{
    const std::string head = "kelto: seed ";
    if (!errors.starts_with(head))
        return {};
    const std::string n = errors.substr(head.size(), errors.find_first_not_of("0123456789", head.size()) - head.size());
    return !n.empty() && errors == head + n + " (from the clock; rerun with --seed " + n + ")\n" ? n : "";
}

TEST(Options, SeedLineNamesTheSeedAndReproducesTheRun)
{
    Input f;
    const RunResult given = run_in_process({f.in, f.out, kT, "--seed", "123456789012", "--quiet"}, "2\n");
    EXPECT_EQ(given.errors, "kelto: seed 123456789012 (from --seed)\n");
    const RunResult quiet_clock = run_executable({f.in, f.out, kT, "--quiet", "--matrix", "2"});
    EXPECT_EQ(quiet_clock.status, 0);
    EXPECT_FALSE(clock_seed(quiet_clock.errors).empty()) << quiet_clock.errors;

    const RunResult clock = run_executable({f.in, f.out, kT}, "2\n");
    ASSERT_EQ(clock.status, 0);
    const std::string n = clock_seed(clock.errors);
    ASSERT_FALSE(n.empty()) << clock.errors;
    const RunResult again = run_executable({f.in, f.out, kT, "--seed", n, "--matrix", "2"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.errors, "kelto: seed " + n + " (from --seed)\n");
    EXPECT_TRUE(again.report == clock.report) << "the printed seed does not reproduce the report";
    EXPECT_EQ(again.console, without_menu(clock.console));

    // The report depends on the seed, so the comparison above can fail.
    const std::string other = std::to_string(std::stoull(n) + 1);
    EXPECT_FALSE(run_executable({f.in, f.out, kT, "--seed", other, "--matrix", "2"}).report == clock.report);
}

}  // namespace
