// Parallel quartet driver with ordered output and bounded buffering.
#include "app/quartets.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app/progress.hpp"
#include "profile/profile.hpp"
#include "windows/random.hpp"

namespace kelto {

namespace {

// Finished quartets that may wait to be written, per worker.
constexpr int kSlotsPerWorker = 4;

// Hands out quartets in order, each with the number of its first draw.
struct QuartetCursor {
    const std::vector<std::vector<int>> *scores;
    int pairs;
    int n_minimum;
    int randomisations;
    int a = 0;
    int b = 1;
    uint64_t next_draw = 1;

    bool identical(int p, int q) const
    {
        const std::vector<int> &x = (*scores)[static_cast<std::size_t>(p)];
        const std::vector<int> &y = (*scores)[static_cast<std::size_t>(q)];
        return x.empty() || std::memcmp(x.data(), y.data(), x.size() * sizeof(int)) == 0;
    }

    // Pair indices and first draw of the next quartet; advances.
    void take(int &pair_a, int &pair_b, uint64_t &first_draw)
    {
        pair_a = a;
        pair_b = b;
        first_draw = next_draw;
        next_draw += quartet_draw_count(identical(a, b), n_minimum, randomisations);
        if (++b == pairs) {
            ++a;
            b = a + 1;
        }
    }
};

Quartet make_quartet(const SequenceSet &set, int pair_a, int pair_b)
{
    const auto record = [&](int i) { return &set.records[static_cast<std::size_t>(i)]; };
    return Quartet{{record(2 * pair_a), record(2 * pair_a + 1), record(2 * pair_b), record(2 * pair_b + 1)}};
}

void analyse_safely(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                    const AnalysisSettings &settings, int pair_a, int pair_b, uint64_t first_draw,
                    QuartetScratch &scratch, QuartetOutput &output)
{
    try {
        analyse_quartet(make_quartet(set, pair_a, pair_b), scores[static_cast<std::size_t>(pair_a)],
                        scores[static_cast<std::size_t>(pair_b)], settings, first_draw, scratch, output);
    } catch (const std::bad_alloc &) {
        output.console += "\n Memory allocation failed.\n";
        output.status = Status::kStopMemory;
    }
}

// Writes one finished quartet; returns its status. A report that can no
// longer be written stops the run (the caller reports it).
Status write_quartet(const QuartetOutput &output, TextSink &console, TextSink &report, Progress &progress)
{
    progress_before_console(progress);
    sink_write(report, output.report);
    sink_write(console, output.console);
    return report.failed && output.status == Status::kContinue ? Status::kStopInput : output.status;
}

Status run_sequential(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                      const AnalysisSettings &settings, QuartetCursor &cursor, long long total, TextSink &console,
                      TextSink &report, Progress &progress)
{
    QuartetScratch scratch;
    QuartetOutput output;
    for (long long q = 0; q < total; ++q) {
        int pair_a = 0, pair_b = 0;
        uint64_t first_draw = 0;
        cursor.take(pair_a, pair_b, first_draw);
        analyse_safely(set, scores, settings, pair_a, pair_b, first_draw, scratch, output);
        const Status status = write_quartet(output, console, report, progress);
        if (status != Status::kContinue)
            return status;
        progress_update(progress, q + 1, console);
    }
    return Status::kContinue;
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

Status run_parallel(const SequenceSet &set, const std::vector<std::vector<int>> &scores,
                    const AnalysisSettings &settings, QuartetCursor &cursor, long long total, int workers,
                    TextSink &console, TextSink &report, Progress &progress)
{
    const long long window = static_cast<long long>(workers) * kSlotsPerWorker;
    std::vector<Slot> slots(static_cast<std::size_t>(window));
    Pool pool;

    auto worker = [&]() {
        QuartetScratch scratch;
        QuartetOutput output;
        for (;;) {
            int pair_a = 0, pair_b = 0;
            uint64_t first_draw = 0;
            long long q = 0;
            {
                std::unique_lock<std::mutex> lock(pool.mutex);
                pool.slot_freed.wait(lock, [&] { return pool.stop || pool.claimed >= total || pool.claimed < pool.written + window; });
                if (pool.stop || pool.claimed >= total)
                    return;
                q = pool.claimed++;
                cursor.take(pair_a, pair_b, first_draw);
            }
            analyse_safely(set, scores, settings, pair_a, pair_b, first_draw, scratch, output);
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
        threads.emplace_back(worker);

    Status status = Status::kContinue;
    QuartetOutput current;
    for (long long q = 0; q < total; ++q) {
        Slot &slot = slots[static_cast<std::size_t>(q % window)];
        {
            std::unique_lock<std::mutex> lock(pool.mutex);
            pool.work_done.wait(lock, [&] { return slot.ready; });
            std::swap(current, slot.output);
            slot.ready = false;
        }
        status = write_quartet(current, console, report, progress);
        {
            std::lock_guard<std::mutex> lock(pool.mutex);
            pool.written = q + 1;
            if (status != Status::kContinue)
                pool.stop = true;
        }
        pool.slot_freed.notify_all();
        if (status != Status::kContinue)
            break;
        progress_update(progress, q + 1, console);
    }
    for (std::thread &thread : threads)
        thread.join();
    return status;
}

}  // namespace

Status run_quartets(const SequenceSet &set, const SubstitutionMatrix &matrix, const AnalysisSettings &settings,
                    int workers, TextSink &console, TextSink &report, const ProgressTarget &progress_target)
{
    const int pairs = set.pair_count();
    std::vector<std::vector<int>> scores(static_cast<std::size_t>(pairs));
    for (int p = 0; p < pairs; ++p)
        scores[static_cast<std::size_t>(p)] = pair_scores(set.records[static_cast<std::size_t>(2 * p)].residues,
                                                          set.records[static_cast<std::size_t>(2 * p + 1)].residues,
                                                          matrix);

    const long long total = static_cast<long long>(pairs) * (pairs - 1) / 2;
    QuartetCursor cursor{&scores, pairs, settings.n_minimum, settings.randomisations};
    Progress progress = progress_start(progress_target.stream, progress_target.shares_console, total);
    workers = static_cast<int>(std::clamp<long long>(workers, 1, std::max<long long>(total, 1)));

    const Status status = workers == 1
                              ? run_sequential(set, scores, settings, cursor, total, console, report, progress)
                              : run_parallel(set, scores, settings, cursor, total, workers, console, report, progress);
    progress_erase(progress);
    return status;
}

}  // namespace kelto
