// The plan of a run, for each mode: the files it would create or cut back,
// the seed and the quartets, checked without running a quartet; planning
// changes no file (it only creates a new output empty, to lock it, and
// removes it again when the plan is dropped), and a refused plan says why.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/options.hpp"
#include "report/heading.hpp"
#include "run/plan.hpp"
#include "test_support.hpp"
#include "tsv/tsv.hpp"

namespace kelto {
namespace {

using testing::directory_files;
using testing::read_file;
using testing::TempDir;
using testing::whole_lines;
using testing::write_file;

RunRequest options_of(std::vector<std::string> args)
{
    args.insert(args.begin(), "kelto");
    std::vector<const char *> argv;
    for (const std::string &arg : args)
        argv.push_back(arg.c_str());
    RunOptions options;
    std::string error;
    EXPECT_TRUE(parse_options(Command::kRun, static_cast<int>(argv.size()), argv.data(), options, error)) << error;
    return run_request(options);
}

// A directory with four pairs (six quartets) as in.txt.
struct Study {
    TempDir dir;
    Study() { write_file(dir.path("in.txt"), testing::pair_file(testing::related_pairs(4, 4, 50))); }
    std::vector<std::string> args(std::vector<std::string> extra) const
    {
        extra.insert(extra.end(), {"--matrix", "2", dir.path("in.txt"), dir.path("out.txt"), "10"});
        return extra;
    }
    RunPlan plan(const std::vector<std::string> &extra, TextSink &console) const
    {
        const RunRequest options = options_of(args(extra));
        if (options.resume)
            return plan_resume(options, 2, console);
        RunPlan plan = plan_fresh(options, RunIo{}, 77, 2, console);
        plan_shard(options, plan);
        return plan;
    }
};

void expect_file(const PlannedFile &file, const std::string &path, bool cut_back, uint64_t length)
{
    EXPECT_EQ(file.path, path) << file.role;
    EXPECT_EQ(file.cut_back, cut_back) << file.role;
    EXPECT_EQ(file.length, length) << file.role;
}

TEST(Plan, FreshRunAndShardCreateTheirFilesAndStartAtTheirBlock)
{
    Study study;
    const auto before = directory_files(study.dir);
    TextSink console;
    {
        const RunPlan whole =
            study.plan({"--json", study.dir.path("r.jsonl"), "--tsv", study.dir.path("r.tsv")}, console);
        ASSERT_EQ(whole.decision.refused, Status::kContinue);
        // Its new outputs exist, empty and locked, while the plan lives.
        auto planned = before;
        for (const char *name : {"out.txt", "r.jsonl", "r.tsv"})
            planned[name] = "";
        EXPECT_EQ(directory_files(study.dir), planned);
        EXPECT_EQ(whole.files.locks.size(), 3u);
        EXPECT_TRUE(whole.files.write_headings);
        expect_file(whole.files.report, study.dir.path("out.txt"), false, 0);
        expect_file(whole.files.json, study.dir.path("r.jsonl"), false, 0);
        expect_file(whole.files.tsv, study.dir.path("r.tsv"), false, 0);
        EXPECT_FALSE(whole.files.json_temporary);
        EXPECT_EQ(whole.input.seed, 77u);
        EXPECT_EQ(whole.input.seed_line, "kelto: seed 77 (from the clock; rerun with --seed 77)\n");
        EXPECT_EQ(whole.quartets.range.first, 0);
        EXPECT_EQ(whole.quartets.range.end, 6);
        EXPECT_EQ(whole.quartets.range.first_draw, kFirstDraw);
        EXPECT_EQ(whole.input.record.quartets, 6);
        EXPECT_FALSE(whole.input.record.sharded);
    }  // the plan dropped: its new outputs removed
    EXPECT_EQ(directory_files(study.dir), before);

    {
        const RunPlan shard =
            study.plan({"--seed", "9", "--shard", "3/3", "--html", study.dir.path("p.html")}, console);
        ASSERT_EQ(shard.decision.refused, Status::kContinue);
        EXPECT_TRUE(shard.files.json_temporary);  // the page is drawn from a record kept aside
        EXPECT_EQ(shard.input.seed_line, "kelto: seed 9 (from --seed)\n");
        EXPECT_GT(shard.quartets.range.first, 0);
        EXPECT_EQ(shard.quartets.range.end, 6);
        EXPECT_EQ(shard.quartets.range_begin, shard.quartets.range.first);
        EXPECT_GT(shard.quartets.range.first_draw, kFirstDraw);
        EXPECT_EQ(shard.quartets.range.first_draw,
                  first_draw(shard.input.scores, shard.input.record.n_minimum, 10, shard.quartets.range.first));
        EXPECT_TRUE(shard.input.record.sharded);
        EXPECT_EQ(shard.input.record.shard.report, study.dir.path("out.txt"));
    }
    EXPECT_EQ(directory_files(study.dir), before);
    EXPECT_EQ(console.text, "");
}

TEST(Plan, ResumeCutsEveryFileBackToItsLastRecordedQuartet)
{
    Study study;
    const std::vector<std::string> files = {"--seed", "5", "--json", study.dir.path("r.jsonl"), "--tsv",
                                            study.dir.path("r.tsv")};
    std::vector<std::string> fresh = study.args(files);
    fresh.insert(fresh.begin(), "--quiet");
    ASSERT_EQ(testing::run_in_process(fresh, "").status, 0);
    // The record as a run killed after its third quartet left it.
    const std::vector<std::string> lines = whole_lines(read_file(study.dir.path("r.jsonl")));
    std::string kept;
    for (std::size_t i = 0; i < 4; ++i)
        kept += lines[i] + "\n";
    write_file(study.dir.path("r.jsonl"), kept + lines[4].substr(0, 20));
    const testing::Json third = testing::Json::parse(lines[3]);
    const auto before = directory_files(study.dir);

    std::vector<std::string> resume = files;
    resume.push_back("--resume");
    TextSink console;
    RunPlan plan = study.plan(resume, console);
    ASSERT_EQ(plan.decision.refused, Status::kContinue) << console.text;
    EXPECT_FALSE(plan.files.write_headings);
    expect_file(plan.files.report, study.dir.path("out.txt"), true, third["report_bytes"].get<uint64_t>());
    expect_file(plan.files.json, study.dir.path("r.jsonl"), true, kept.size());
    expect_file(plan.files.tsv, study.dir.path("r.tsv"), true, third["tsv_bytes"].get<uint64_t>());
    EXPECT_EQ(plan.input.seed, 5u);
    EXPECT_EQ(plan.input.seed_line, "kelto: seed 5 (from the record " + study.dir.path("r.jsonl") + ")\n");
    EXPECT_EQ(plan.quartets.range.first, 3);
    EXPECT_EQ(plan.quartets.range.end, 6);
    EXPECT_EQ(plan.quartets.range.first_draw, first_draw(plan.input.scores, plan.input.record.n_minimum, 10, 3));
    EXPECT_EQ(plan.quartets.written_before, 3);
    EXPECT_EQ(plan.quartets.resume_note,
              "\n Resuming the run recorded in " + study.dir.path("r.jsonl") + " at quartet 4 of 6.\n");
    EXPECT_EQ(directory_files(study.dir), before);
    // The plan holds the locks of the files: a second plan on them is refused.
    TextSink second;
    EXPECT_EQ(study.plan(resume, second).decision.refused, Status::kStopInput);
    EXPECT_NE(second.text.find(study.dir.path("out.txt") + " is in use by another kelto process (pid "),
              std::string::npos)
        << second.text;
    {
        RunPlan released;  // drops the first plan's locks
        std::swap(plan, released);
    }

    // Only the run line recorded: the files go back to their heading and header.
    write_file(study.dir.path("r.jsonl"), lines[0] + "\n");
    const RunPlan start = study.plan(resume, console);
    ASSERT_EQ(start.decision.refused, Status::kContinue) << console.text;
    expect_file(start.files.report, study.dir.path("out.txt"), true, report_heading(10).size());
    expect_file(start.files.tsv, study.dir.path("r.tsv"), true, std::string(kTsvHeader).size());
    EXPECT_EQ(start.quartets.range.first, 0);
    EXPECT_EQ(start.quartets.range.first_draw, kFirstDraw);
}

// Each refusal is made while planning, with its message, and leaves every
// file as it was; T out of range is planned as the start-up's stop after
// the report is created: planning creates it empty only to lock it, and
// removes it again when the plan is dropped unexecuted.
TEST(Plan, RefusalsTouchNoFile)
{
    Study study;
    ASSERT_EQ(testing::run_in_process(study.args({"--quiet", "--seed", "5", "--json", study.dir.path("r.jsonl")}), "")
                  .status,
              0);
    const struct {
        std::vector<std::string> extra;
        std::string message;
    } cases[] = {
        {{"--json", study.dir.path("in.txt")}, "is the same file as the input"},
        {{"--tsv", study.dir.path("out.txt")}, "is the same file as the report"},
        {{"--json", study.dir.path("a"), "--html", study.dir.path("a")}, "is the same file as the JSON file"},
        {{"--resume", "--seed", "6", "--json", study.dir.path("r.jsonl")}, "cannot resume: the seed differs"},
        {{"--resume", "--json", study.dir.path("r.jsonl"), "--tsv", study.dir.path("none.tsv")},
         "cannot resume: the TSV file is missing"},
        {{"--resume", "--json", study.dir.path("none.jsonl")}, "there is no record of the run to resume"},
    };
    const auto before = directory_files(study.dir);
    for (const auto &c : cases) {
        TextSink console;
        const RunPlan plan = study.plan(c.extra, console);
        EXPECT_EQ(plan.decision.refused, Status::kStopInput) << c.message;
        EXPECT_NE(console.text.find(c.message), std::string::npos) << console.text;
        EXPECT_EQ(directory_files(study.dir), before) << c.message;
    }
    TextSink console;
    const RunRequest options = options_of({study.dir.path("in.txt"), study.dir.path("new.txt"), "0"});
    {
        const RunPlan early = plan_fresh(options, RunIo{}, 1, 1, console);
        EXPECT_EQ(early.decision.refused, Status::kContinue);
        EXPECT_EQ(early.decision.early_stop, EarlyStop::kAfterReportOpened);
        EXPECT_EQ(early.decision.early_message, "\n T > 0 !!.\n");
        EXPECT_EQ(read_file(study.dir.path("new.txt")), "");
    }
    EXPECT_EQ(directory_files(study.dir), before);
}

}  // namespace
}  // namespace kelto
