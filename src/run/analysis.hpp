// The analysis of one quartet, from its report heading to its position
// table, as a pure function of its inputs writing into memory. Called from
// worker threads: each thread passes its own QuartetScratch and output.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "profile/profile.hpp"
#include "report/quartet_result.hpp"
#include "windows/scan_test.hpp"
#include "windows/null_distribution.hpp"
#include "windows/significance.hpp"
#include "windows/window_list.hpp"

namespace kelto {

// Read-only settings shared by every quartet of a run.
struct AnalysisSettings {
    int n_minimum = 0;
    int randomisations = 0;           // T
    uint64_t seed = 0;                // seed of the run's draw stream
    std::vector<uint64_t> multipliers;  // fastmod_table(n_minimum)
    const std::atomic<int> *stop = nullptr;  // non-zero: abandon the quartet (kStopSignal)
    FamilySettings family;                   // arrangements_cap 0: no family-wise test
    std::vector<double> penalties;           // scan_penalties(n_minimum)
};

AnalysisSettings make_analysis_settings(int n_minimum, int randomisations, uint64_t seed);

// Working storage reused from quartet to quartet by one worker.
struct QuartetScratch {
    WindowList minimum;
    WindowList maximum;
    NullHistograms histograms;
    std::vector<int> shuffled;
    ScanScratch scan;
    FamilyScratch family;
    std::vector<double> window_scores;
};

struct QuartetOutput {
    std::string console;
    std::string report;  // compressed into one unit by the worker when the report file is
    std::string tsv;     // its TSV rows, set by the worker (compressed as the TSV file is)
    std::string message;  // the stop message, printed after `console` (also when quiet)
    Status status = Status::kContinue;  // kStopInput when a "Too many" limit stopped the run here
    QuartetResult result;  // the same findings as data (pair indices and index set by the caller)
};

// Analyses quartet `index`. `score_a` and `score_b` are the pair scores of
// its two pairs; `first_draw` is the number of the first draw of the run's
// stream that belongs to it. The output is cleared first.
void analyse_quartet(const Quartet &quartet, const std::vector<int> &score_a, const std::vector<int> &score_b,
                     const AnalysisSettings &settings, uint64_t first_draw, long long index,
                     QuartetScratch &scratch, QuartetOutput &output);

// Each final window's and the scan window's columns in the input alignment
// and residue numbers in the quartet's four records (pairs pair_a and
// pair_b of `set`).
void locate_windows(QuartetResult &result, const SequenceSet &set);

}  // namespace kelto
