// One quartet: heading, profile, display, windows, filters, final report.
#include "run/analysis.hpp"

#include <limits>

#include "common/text.hpp"
#include "profile/display.hpp"
#include "report/filters.hpp"
#include "report/final_report.hpp"
#include "windows/kernel.hpp"

namespace kelto {

namespace {

void append_quartet_heading(std::string &report, const Quartet &quartet)
{
    appendf(report, "\n===============================");
    appendf(report, "=========================================\n\n");
    appendf(report, "GENE QUARTET: \n");
    for (const SequenceRecord *record : quartet.records)
        appendf(report, "\n>%s%s\n", record->name.c_str(), record->residues.c_str());
    appendf(report, "\n===============================");
    appendf(report, "=========================================\n\n");
}

// Null distributions and significant windows of every window size.
Status detect_windows(const std::vector<int> &diff, const AnalysisSettings &settings, uint64_t first_draw,
                      QuartetScratch &scratch, QuartetOutput &output)
{
    prepare_null(diff, scratch.histograms, scratch.shuffled, output.report);
    DrawStream stream = stream_at(settings.seed, first_draw);
    for (int w = 2; w <= settings.n_minimum - 1; ++w) {
        if (!fill_null(scratch.histograms, scratch.shuffled, w, settings.randomisations, settings.multipliers, stream,
                       settings.stop)) {
            output.result.stop = StopReason::kInterrupted;
            return Status::kStopSignal;
        }
        const Status status = scan_window_size(diff, w, scratch.histograms, settings.randomisations,
                                               scratch.minimum, scratch.maximum, scratch.scan, output.message,
                                               output.report, &output.result.stop);
        if (status != Status::kContinue)
            return status;
    }
    append_window_counts(output.report, scratch.maximum, scratch.minimum);
    return Status::kContinue;
}

// The family-wise test once the final windows are known: the quartet's
// scan window and p-value, and each final window's p-value.
Status family_test(const std::vector<int> &diff, const AnalysisSettings &settings, long long index,
                   QuartetScratch &scratch, QuartetResult &result)
{
    const FamilySettings &family = settings.family;
    if (family.arrangements_cap <= 0)
        return Status::kContinue;
    FamilyScratch &work = scratch.family;
    ScanWindow observed;
    if (!observed_scan(diff, settings.penalties, work.context, observed))
        return Status::kContinue;
    scratch.window_scores.clear();
    for (auto [list, side] : {std::pair{&result.final_max, 1}, std::pair{&result.final_min, -1}})
        for (FinalWindow &window : *list) {
            window.z = scan_z(work.context.moments, work.context.scales, window.record.Value, window.record.Win);
            window.score = counted_score(work.context.moments, work.context.scales, settings.penalties,
                                         window.record.Start, window.record.Win, window.record.Value, side);
            scratch.window_scores.push_back(window.score);
        }
    const DrawStream stream = stream_at(family_stream_seed(settings.seed),
                                        family_first_draw(index, settings.n_minimum, family.arrangements_cap));
    SequentialTest test;
    if (!run_family(work, diff, family, settings.multipliers, stream, observed, scratch.window_scores, test,
                    settings.stop)) {
        result.stop = StopReason::kInterrupted;
        return Status::kStopSignal;
    }
    FamilyResult &out = result.family;
    out.tested = true;
    out.p = sequential_p_value(test);
    out.p_floor = family_p_floor(family.arrangements_cap);
    out.arrangements = test.drawn;
    out.exceedances = test.exceeded;
    out.capped = sequential_capped(test);
    out.window = observed;
    for (std::vector<FinalWindow> *list : {&result.final_max, &result.final_min})
        for (FinalWindow &window : *list)
            window.p_family = family_window_p_value(family_level_count(work, window.score), test.drawn);
    return Status::kContinue;
}

}  // namespace

AnalysisSettings make_analysis_settings(int n_minimum, int randomisations, uint64_t seed)
{
    AnalysisSettings settings;
    settings.n_minimum = n_minimum;
    settings.randomisations = randomisations;
    settings.seed = seed;
    settings.multipliers = fastmod_table(n_minimum);
    settings.penalties = scan_penalties(n_minimum);
    return settings;
}

void analyse_quartet(const Quartet &quartet, const std::vector<int> &score_a, const std::vector<int> &score_b,
                     const AnalysisSettings &settings, uint64_t first_draw, long long index,
                     QuartetScratch &scratch, QuartetOutput &output)
{
    output.console.clear();
    output.report.clear();
    output.message.clear();
    output.status = Status::kContinue;
    QuartetResult &result = output.result;
    result.identical = false;
    result.mean = result.std_dev = std::numeric_limits<double>::quiet_NaN();
    result.significant_max = result.significant_min = 0;
    result.final_max.clear();
    result.final_min.clear();
    result.stop = StopReason::kNone;
    result.randomisations = settings.randomisations;
    result.family = FamilyResult{};

    append_quartet_heading(output.report, quartet);
    reset_window_list(scratch.minimum, settings.n_minimum);
    reset_window_list(scratch.maximum, settings.n_minimum);

    const QuartetProfile profile = build_profile(score_a, score_b);
    append_display(output.console, quartet, profile, settings.n_minimum);
    append_display(output.report, quartet, profile, settings.n_minimum);
    if (is_identical(profile)) {
        append_identical(output.console, output.report);
        result.identical = true;
        if (settings.n_minimum > 0)
            result.mean = 0.0;
        if (settings.n_minimum > 1)
            result.std_dev = 0.0;
        return;
    }

    output.status = detect_windows(profile.diff, settings, first_draw, scratch, output);
    result.significant_max = static_cast<int>(scratch.maximum.records.size());
    result.significant_min = static_cast<int>(scratch.minimum.records.size());
    if (output.status != Status::kContinue)
        return;

    const std::size_t n = profile.diff.size();
    PositionMarks marks{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0)};
    filter_maximum_windows(scratch.maximum, output.console, output.report);
    append_final_maximum(scratch.maximum, marks, output.console, output.report, &result.final_max);
    filter_minimum_windows(scratch.minimum, output.console, output.report);
    append_final_minimum(scratch.minimum, marks, output.console, output.report, &result.final_min);
    append_profile_statistics(profile.diff, output.console, output.report, &result.mean, &result.std_dev);
    append_position_table(quartet, profile.diff, marks, output.report);
    output.status = family_test(profile.diff, settings, index, scratch, result);
}

namespace {

void locate(const SequenceSet &set, const int records[4], int start, int end, std::array<int, 2> &columns,
            std::array<std::array<int, 2>, 4> &residues)
{
    const auto first = static_cast<std::size_t>(start - 1);
    const auto last = static_cast<std::size_t>(end - 1);
    columns = {set.columns[first], set.columns[last]};
    for (int i = 0; i < 4; ++i) {
        const std::vector<int> &numbers = set.residue_numbers[static_cast<std::size_t>(records[i])];
        residues[static_cast<std::size_t>(i)] = {numbers[first], numbers[last]};
    }
}

}  // namespace

// Each final window's and the scan window's columns in the input alignment
// and residue numbers in the quartet's four records.
void locate_windows(QuartetResult &result, const SequenceSet &set)
{
    if (set.columns.empty())
        return;
    const int records[4] = {2 * result.pair_a, 2 * result.pair_a + 1, 2 * result.pair_b, 2 * result.pair_b + 1};
    for (std::vector<FinalWindow> *list : {&result.final_max, &result.final_min})
        for (FinalWindow &window : *list)
            locate(set, records, window.record.Start, window.record.End, window.columns, window.residues);
    FamilyResult &family = result.family;
    if (family.tested)
        locate(set, records, family.window.start, family.window.end, family.columns, family.residues);
}

}  // namespace kelto
