// Thread scaling of the quartet driver: quartets per second with 1, 2, 4, ...
// workers up to the number of hardware threads, on a synthetic pair set
// (random sequences over the twenty residues, no gaps). Console and report
// go to /dev/null, as the program would write them to files.
//
// "quartets/s" is wall-clock throughput; "cpu_ms/quartet" is the CPU time of
// all threads per quartet, which shows the driver's overhead even when other
// processes compete for the cores.
//
// Before timing, main() runs the set once with one worker and once with the
// most workers into memory and checks that both texts are byte-identical.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/resource.h>

#include "run/analysis.hpp"
#include "run/quartets.hpp"
#include "common/text.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "profile/profile.hpp"

namespace {

constexpr int kPairs = 16;           // 120 quartets
constexpr int kLength = 150;         // N_minimum
constexpr int kRandomisations = 50;  // T
constexpr uint64_t kSeed = 20240611;

kelto::SequenceSet make_pair_set()
{
    static const char letters[] = "ARNDCQEGHILKMFPSTWYV";
    std::mt19937_64 engine(12345);
    std::uniform_int_distribution<int> letter(0, 19);
    kelto::SequenceSet set;
    for (int r = 0; r < 2 * kPairs; ++r) {
        kelto::SequenceRecord record;
        record.header = "seq" + std::to_string(r);
        record.name = record.header + "\n";
        for (int k = 0; k < kLength; ++k)
            record.residues.push_back(letters[letter(engine)]);
        set.records.push_back(std::move(record));
    }
    return set;
}

int max_workers()
{
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware);
}

const kelto::SequenceSet &pair_set()
{
    static const kelto::SequenceSet set = make_pair_set();
    return set;
}

const kelto::AnalysisSettings &settings()
{
    static const kelto::AnalysisSettings s = kelto::make_analysis_settings(kLength, kRandomisations, kSeed);
    return s;
}

// Every pair's scores under BLOSUM62.
const std::vector<std::vector<int>> &scores()
{
    static const std::vector<std::vector<int>> all = [] {
        std::vector<std::vector<int>> pairs;
        const kelto::SequenceSet &set = pair_set();
        for (int p = 0; p < set.pair_count(); ++p)
            pairs.push_back(kelto::pair_scores(set.records[static_cast<std::size_t>(2 * p)].residues,
                                               set.records[static_cast<std::size_t>(2 * p + 1)].residues,
                                               kelto::kMatrixSet[1].scores));
        return pairs;
    }();
    return all;
}

// CPU seconds used so far by every thread of the process.
double process_cpu_seconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec); };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One pass over the whole set; `records` adds the JSON Lines and TSV
// records (to the same sink) with the per-quartet flushes they bring.
kelto::QuartetsOutcome run_once(int workers, kelto::TextSink &console, kelto::TextSink &report,
                                kelto::TextSink *json, kelto::TextSink *tsv)
{
    kelto::QuartetSinks sinks;
    sinks.console = &console;
    sinks.report = &report;
    sinks.json = json;
    sinks.tsv = tsv;
    return kelto::run_quartets(pair_set(), scores(), settings(), workers, sinks,
                               kelto::QuartetRange{0, kelto::quartet_count(kPairs)}, kelto::ProgressTarget{});
}

void quartets_benchmark(benchmark::State &state, bool records)
{
    const int workers = static_cast<int>(state.range(0));
    FILE *sink = std::fopen("/dev/null", "w");
    if (sink == nullptr) {
        state.SkipWithError("cannot open /dev/null");
        return;
    }
    const double cpu_start = process_cpu_seconds();
    for (auto _ : state) {
        kelto::TextSink console{sink, {}, false};
        kelto::TextSink report{sink, {}, false};
        kelto::TextSink json{sink, {}, false};
        kelto::TextSink tsv{sink, {}, false};
        const kelto::QuartetsOutcome outcome =
            run_once(workers, console, report, records ? &json : nullptr, records ? &tsv : nullptr);
        kelto::sink_flush(console);
        kelto::sink_flush(report);
        kelto::sink_flush(json);
        kelto::sink_flush(tsv);
        if (outcome.status != kelto::Status::kContinue) {
            state.SkipWithError("run stopped early");
            break;
        }
    }
    const double cpu_used = process_cpu_seconds() - cpu_start;
    std::fclose(sink);
    const int64_t quartets = static_cast<int64_t>(kPairs) * (kPairs - 1) / 2;
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * quartets);
    state.counters["quartets/s"] =
        benchmark::Counter(static_cast<double>(quartets), benchmark::Counter::kIsIterationInvariantRate);
    // Work per quartet summed over all threads: stays flat when the workers
    // add no overhead, whatever else the machine is running.
    state.counters["cpu_ms/quartet"] =
        1e3 * cpu_used / (static_cast<double>(state.iterations()) * static_cast<double>(quartets));
}

void BM_Quartets(benchmark::State &state) { quartets_benchmark(state, false); }

// The same with the JSON Lines and TSV records written beside the report.
void BM_QuartetsWithRecords(benchmark::State &state) { quartets_benchmark(state, true); }

void worker_counts(benchmark::internal::Benchmark *b)
{
    const int most = max_workers();
    for (int workers = 1; workers < most; workers *= 2)
        b->Arg(workers);
    b->Arg(most);
}

BENCHMARK(BM_Quartets)->Apply(worker_counts)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuartetsWithRecords)->Apply(worker_counts)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Runs the whole set into memory with the given number of workers.
std::string run_into_memory(int workers)
{
    kelto::TextSink console;
    kelto::TextSink report;
    if (run_once(workers, console, report, nullptr, nullptr).status != kelto::Status::kContinue) {
        std::fprintf(stderr, "bench_threads: the synthetic run stopped early\n");
        std::exit(1);
    }
    return console.text + '\f' + report.text;
}

}  // namespace

int main(int argc, char **argv)
{
    const std::string one = run_into_memory(1);
    const std::string many = run_into_memory(max_workers() < 2 ? 2 : max_workers());
    if (one != many) {
        std::fprintf(stderr, "bench_threads: output depends on the number of workers\n");
        return 1;
    }
    std::fprintf(stderr, "bench_threads: %d quartets, N=%d, T=%d, output identical for 1 and %d workers (%zu bytes)\n",
                 kPairs * (kPairs - 1) / 2, kLength, kRandomisations, max_workers() < 2 ? 2 : max_workers(),
                 one.size());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
