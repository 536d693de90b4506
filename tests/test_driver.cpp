// The quartet driver's promises that no output shows directly: the files
// are synced on the interval while the run goes on, a stop flag raised
// between quartets stops the run before the next one, and the input's
// checksum covers every byte of an input larger than one read buffer.
#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <vector>

#include "input/matrices.hpp"
#include "profile/profile.hpp"
#include "common/digest.hpp"
#include "run/quartets.hpp"
#include "test_support.hpp"

namespace kelto {
namespace {

// Five pairs of 40 random residues, their scores under BLOSUM62.
struct Pairs {
    SequenceSet set;
    std::vector<std::vector<int>> scores;
    Pairs()
    {
        std::mt19937 engine(8);
        for (int r = 0; r < 10; ++r) {
            SequenceRecord record;
            record.header = std::to_string(r);
            record.name = record.header + '\n';
            record.residues = testing::random_residues(engine, 40);
            set.records.push_back(record);
        }
        for (int p = 0; p < 5; ++p)
            scores.push_back(pair_scores(set.records[2 * p].residues, set.records[2 * p + 1].residues,
                                         kMatrixSet[1].scores));
    }
};

QuartetsOutcome run_all(const Pairs &pairs, int workers, QuartetSinks &sinks, const std::atomic<int> *stop)
{
    AnalysisSettings settings = make_analysis_settings(40, 5, 3);
    settings.stop = stop;
    return run_quartets(pairs.set, pairs.scores, settings, workers, sinks, QuartetRange{0, 10}, ProgressTarget{});
}

TEST(Driver, FilesAreSyncedOnTheIntervalAndAStopBetweenQuartetsIsSeen)
{
    const Pairs pairs;
    for (int workers : {1, 2}) {
        SCOPED_TRACE(std::to_string(workers) + " workers");
        TextSink console, report, json;
        QuartetSinks sinks{&console, &report, &json};
        sinks.sync_interval = std::chrono::seconds(0);  // every quartet is past the interval
        EXPECT_EQ(run_all(pairs, workers, sinks, nullptr).written, 10);
        EXPECT_EQ(sinks.syncs, 10);
        QuartetSinks quiet{&console, &report, &json};  // the default interval: no sync in a quick run
        EXPECT_EQ(run_all(pairs, workers, quiet, nullptr).written, 10);
        EXPECT_EQ(quiet.syncs, 0);

        const std::atomic<int> raised{SIGTERM};
        TextSink stopped_report;
        QuartetSinks stopped{&console, &stopped_report, nullptr};
        const QuartetsOutcome outcome = run_all(pairs, workers, stopped, &raised);
        EXPECT_EQ(outcome.status, Status::kStopSignal);
        EXPECT_EQ(outcome.written, 0);
        EXPECT_EQ(stopped_report.text, "");
    }
}

TEST(Driver, InputChecksumCoversInputsLargerThanOneBuffer)
{
    testing::TempDir dir;
    const std::string bytes = testing::pair_file(testing::related_pairs(6, 400, 300));
    ASSERT_GT(bytes.size(), std::size_t{3} << 16);
    testing::write_file(dir.path("in.txt"), bytes);
    FileDigest digest;
    ASSERT_TRUE(digest_file(dir.path("in.txt"), digest));
    const XXH128_hash_t whole = XXH3_128bits(bytes.data(), bytes.size());
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(whole.high64),
                  static_cast<unsigned long long>(whole.low64));
    EXPECT_EQ(digest.bytes, bytes.size());
    EXPECT_EQ(digest.xxh3_128, hex);
}

}  // namespace
}  // namespace kelto
