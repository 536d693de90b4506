// One quartet's work in a worker thread: its analysis, its TSV rows and
// where its windows lie, and its report text and rows compressed where
// their files are, so that all of it runs in parallel.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/compress.hpp"
#include "input/pair_file.hpp"
#include "run/analysis.hpp"
#include "run/quartets.hpp"

namespace kelto {

// The record names of a quartet's four records, in quartet order: the
// data carry whole header lines; the report keeps the 79-character names.
std::array<std::string, 4> quartet_names(const SequenceSet &set, int pair_a, int pair_b);

// One worker's compressors, and whether quartets get TSV rows (a JSON or
// TSV file is written).
struct WorkerPacking {
    Packer report, tsv;
    bool rows = false;
    std::string buffer;
};

WorkerPacking make_packing(const QuartetSinks &sinks);

// Analyses quartet `index` of pairs pair_a and pair_b and packs its output;
// running out of storage is noted in the output (kStopMemory), never thrown.
void analyse_safely(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                    const AnalysisSettings &settings, long long index, int pair_a, int pair_b, uint64_t first_draw,
                    QuartetScratch &scratch, WorkerPacking &packing, QuartetOutput &output);

}  // namespace kelto
