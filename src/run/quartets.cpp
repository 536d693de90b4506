// Parallel quartet driver with ordered output and bounded buffering.
#include "run/quartets.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "run/progress.hpp"
#include "run/quartet_work.hpp"
#include "profile/profile.hpp"
#include "common/digest.hpp"
#include "record/record.hpp"
#include "tsv/tsv.hpp"
#include "windows/quartet_order.hpp"
#include "windows/random.hpp"

namespace kelto {

namespace {

// Finished quartets that may wait to be written, per worker.
constexpr int kSlotsPerWorker = 4;

// How often waiting threads look at the stop flag.
constexpr auto kStopPollInterval = std::chrono::milliseconds(50);

bool stop_requested(const AnalysisSettings &settings)
{
    return settings.stop != nullptr && settings.stop->load(std::memory_order_relaxed) != 0;
}

bool any_failed(const QuartetSinks &sinks)
{
    return sinks.report->failed || (sinks.json != nullptr && sinks.json->failed) ||
           (sinks.tsv != nullptr && sinks.tsv->failed);
}

// The quartet's TSV rows and JSON line, after its report text: the report
// and TSV are flushed first, so that the record never describes more than
// they hold; a quartet whose analysis ran out of storage gets no line (its
// report text may be cut short), so a resumed run does it again.
void write_records(const QuartetOutput &output, const SequenceSet &set, QuartetSinks &sinks)
{
    const QuartetResult &result = output.result;
    const std::string &rows = output.tsv;
    sinks.tsv_bytes += rows.size();
    if (sinks.tsv != nullptr)
        sink_write(*sinks.tsv, rows);
    sink_flush(*sinks.report);
    if (sinks.tsv != nullptr)
        sink_flush(*sinks.tsv);
    if (sinks.json != nullptr && !any_failed(sinks) && output.status != Status::kStopMemory) {
        const QuartetChecksums sums{true, text_xxh3_64(output.report), text_xxh3_64(rows)};
        std::string line;
        append_quartet_line(line, result, quartet_names(set, result.pair_a, result.pair_b), sinks.report->bytes,
                            sinks.tsv_bytes, sums);
        sink_write(*sinks.json, sinks.json_packer != nullptr ? packed(*sinks.json_packer, line) : line);
        sink_flush(*sinks.json);
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - sinks.last_sync >= sinks.sync_interval) {
        sinks.last_sync = now;
        ++sinks.syncs;
        sink_sync(*sinks.report);
        if (sinks.tsv != nullptr)
            sink_sync(*sinks.tsv);
        if (sinks.json != nullptr)
            sink_sync(*sinks.json);
    }
}

// Writes one finished quartet: report, console, TSV rows and JSON line.
// Returns its status and why it stopped the run, if it did. A file that can
// no longer be written stops the run (the caller reports which).
Status write_quartet(const QuartetOutput &output, const SequenceSet &set, QuartetSinks &sinks, Progress &progress,
                     StopReason &reason)
{
    if (output.status == Status::kStopSignal) {
        reason = StopReason::kInterrupted;  // abandoned midway: nothing of it is written
        return output.status;
    }
    progress_before_console(progress);
    sink_write(*sinks.report, output.report);
    sink_write(*sinks.console, output.console);
    if (!output.message.empty())
        sink_message(*sinks.console, "%s", output.message.c_str());
    if (sinks.json != nullptr || sinks.tsv != nullptr)
        write_records(output, set, sinks);
    reason = output.result.stop;
    if (any_failed(sinks) && output.status == Status::kContinue) {
        reason = StopReason::kWriteError;
        return Status::kStopInput;
    }
    return output.status;
}

// Whether a quartet just written counts as written: not when a signal
// abandoned it, a file failed or its analysis ran out of storage.
bool counts_as_written(const QuartetsOutcome &outcome)
{
    return outcome.status != Status::kStopSignal && outcome.status != Status::kStopMemory &&
           outcome.reason != StopReason::kWriteError;
}

QuartetsOutcome run_sequential(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                               const AnalysisSettings &settings, QuartetCursor &cursor, long long first,
                               long long total, QuartetSinks &sinks, Progress &progress)
{
    QuartetScratch scratch;
    WorkerPacking packing = make_packing(sinks);
    QuartetOutput output;
    QuartetsOutcome outcome;
    for (long long q = 0; q < total; ++q) {
        if (stop_requested(settings)) {
            outcome.status = Status::kStopSignal;
            outcome.reason = StopReason::kInterrupted;
            return outcome;
        }
        int pair_a = 0, pair_b = 0;
        uint64_t first_draw = 0;
        cursor.take(pair_a, pair_b, first_draw);
        analyse_safely(set, scores, settings, first + q, pair_a, pair_b, first_draw, scratch, packing, output);
        outcome.status = write_quartet(output, set, sinks, progress, outcome.reason);
        if (!counts_as_written(outcome))
            return outcome;  // not (wholly) written
        outcome.written = q + 1;
        if (outcome.status != Status::kContinue)
            return outcome;
        progress_update(progress, q + 1, *sinks.console);
    }
    return outcome;
}

struct Slot {
    QuartetOutput output;
    bool ready = false;
};

struct Pool {
    std::mutex mutex;
    std::condition_variable work_done;   // a slot became ready
    std::condition_variable slot_freed;  // the writer moved on, or the run stops
    long long claimed = 0;               // quartets handed out
    long long written = 0;               // quartets written out
    bool stop = false;
};

QuartetsOutcome run_parallel(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                             const AnalysisSettings &settings, QuartetCursor &cursor, long long first,
                             long long total, int workers, QuartetSinks &sinks, Progress &progress)
{
    const long long window = static_cast<long long>(workers) * kSlotsPerWorker;
    std::vector<Slot> slots(static_cast<std::size_t>(window));
    Pool pool;

    // Made here, not in the workers: a failure to get memory stops the run.
    std::vector<WorkerPacking> packings;
    for (int i = 0; i < workers; ++i)
        packings.push_back(make_packing(sinks));

    auto worker = [&](WorkerPacking &packing) {
        QuartetScratch scratch;
        QuartetOutput output;
        for (;;) {
            int pair_a = 0, pair_b = 0;
            uint64_t first_draw = 0;
            long long q = 0;
            {
                std::unique_lock<std::mutex> lock(pool.mutex);
                // A stop signal cannot notify: look at it now and then.
                while (!pool.slot_freed.wait_for(lock, kStopPollInterval, [&] {
                    return pool.stop || stop_requested(settings) || pool.claimed >= total ||
                           pool.claimed < pool.written + window;
                })) {
                }
                if (pool.stop || stop_requested(settings) || pool.claimed >= total)
                    return;
                q = pool.claimed++;
                cursor.take(pair_a, pair_b, first_draw);
            }
            analyse_safely(set, scores, settings, first + q, pair_a, pair_b, first_draw, scratch, packing, output);
            Slot &slot = slots[static_cast<std::size_t>(q % window)];
            {
                std::lock_guard<std::mutex> lock(pool.mutex);
                std::swap(slot.output, output);
                slot.ready = true;
            }
            pool.work_done.notify_one();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers));
    for (int i = 0; i < workers; ++i)
        threads.emplace_back(worker, std::ref(packings[static_cast<std::size_t>(i)]));

    QuartetsOutcome outcome;
    QuartetOutput current;
    for (long long q = 0; q < total; ++q) {
        Slot &slot = slots[static_cast<std::size_t>(q % window)];
        bool never_claimed = false;
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            // Workers claim nothing once the stop flag is up, so a quartet
            // not claimed by then never will be.
            const auto settled = [&] { return slot.ready || (stop_requested(settings) && pool.claimed <= q); };
            while (!pool.work_done.wait_for(lock, kStopPollInterval, settled)) {
            }
            never_claimed = !slot.ready;
            if (!never_claimed) {
                std::swap(current, slot.output);
                slot.ready = false;
            }
        }
        if (never_claimed) {
            current.status = Status::kStopSignal;
            current.result.stop = StopReason::kInterrupted;
        }
        outcome.status = write_quartet(current, set, sinks, progress, outcome.reason);
        if (counts_as_written(outcome))
            outcome.written = q + 1;
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            pool.written = q + 1;
            if (outcome.status != Status::kContinue)
                pool.stop = true;
        }
        pool.slot_freed.notify_all();
        if (outcome.status != Status::kContinue)
            break;
        progress_update(progress, q + 1, *sinks.console);
    }
    for (std::thread &thread : threads)
        thread.join();
    return outcome;
}

}  // namespace

QuartetsOutcome run_quartets(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                             const AnalysisSettings &settings, int workers, QuartetSinks &sinks,
                             const QuartetRange &range, const ProgressTarget &progress_target)
{
    const int pairs = set.pair_count();
    const long long all = quartet_count(pairs);
    const long long first = std::clamp<long long>(range.first, 0, all);
    const long long end = std::clamp<long long>(range.end, first, all);
    const long long total = end - first;
    QuartetCursor cursor{&scores, pairs, settings.n_minimum, settings.randomisations};
    cursor.start_at(first, range.first_draw);
    Progress progress = progress_start(progress_target.stream, progress_target.shares_console, total);
    workers = static_cast<int>(std::clamp<long long>(workers, 1, std::max<long long>(total, 1)));

    const QuartetsOutcome outcome =
        workers == 1 ? run_sequential(set, scores, settings, cursor, first, total, sinks, progress)
                     : run_parallel(set, scores, settings, cursor, first, total, workers, sinks, progress);
    progress_erase(progress);
    return outcome;
}

}  // namespace kelto
