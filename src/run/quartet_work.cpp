// One quartet's work in a worker thread.
#include "run/quartet_work.hpp"

#include <new>
#include <utility>

#include "tsv/tsv.hpp"
#include "windows/quartet_order.hpp"

namespace kelto {

std::array<std::string, 4> quartet_names(const SequenceSet &set, int pair_a, int pair_b)
{
    const Quartet quartet = make_quartet(set, pair_a, pair_b);
    return {quartet.records[0]->header, quartet.records[1]->header, quartet.records[2]->header,
            quartet.records[3]->header};
}

WorkerPacking make_packing(const QuartetSinks &sinks)
{
    return WorkerPacking{make_packer(sinks.report_compression), make_packer(sinks.tsv_compression),
                         sinks.json != nullptr || sinks.tsv != nullptr, {}};
}

namespace {

// The quartet's TSV rows, and its report text and rows each compressed
// into one unit where their files are compressed: done by the worker that
// analysed it, so that compression runs in parallel too.
void pack_output(const SequenceSet &set, WorkerPacking &packing, QuartetOutput &output)
{
    locate_windows(output.result, set);
    if (packing.rows)
        append_tsv_rows(output.tsv, output.result, quartet_names(set, output.result.pair_a, output.result.pair_b));
    for (auto [packer, text] : {std::pair{&packing.report, &output.report}, std::pair{&packing.tsv, &output.tsv}}) {
        if (packer->kind == Compression::kNone)
            continue;
        packing.buffer.clear();
        pack_append(*packer, *text, packing.buffer);
        std::swap(packing.buffer, *text);
    }
}

// A quartet whose analysis or packing ran out of storage: no plain text
// is left inside a compressed report.
void note_memory_failure(const WorkerPacking &packing, QuartetOutput &output)
{
    output.message += "\n Memory allocation failed.\n";
    output.status = Status::kStopMemory;
    output.result.stop = StopReason::kMemory;
    if (packing.report.kind != Compression::kNone)
        output.report.clear();
    output.tsv.clear();
}

}  // namespace

void analyse_safely(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                    const AnalysisSettings &settings, long long index, int pair_a, int pair_b, uint64_t first_draw,
                    QuartetScratch &scratch, WorkerPacking &packing, QuartetOutput &output)
{
    output.tsv.clear();
    try {
        analyse_quartet(make_quartet(set, pair_a, pair_b), scores[static_cast<std::size_t>(pair_a)],
                        scores[static_cast<std::size_t>(pair_b)], settings, first_draw, index, scratch, output);
    } catch (const std::bad_alloc &) {
        note_memory_failure(packing, output);
    }
    output.result.index = index;
    output.result.pair_a = pair_a;
    output.result.pair_b = pair_b;
    if (output.status == Status::kStopSignal || output.status == Status::kStopMemory)
        return;
    try {
        pack_output(set, packing, output);
    } catch (const std::bad_alloc &) {
        note_memory_failure(packing, output);
    }
}

}  // namespace kelto
