// Randomisation null distributions.
#include "windows/null_distribution.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "common/text.hpp"
#include "windows/kernel.hpp"

namespace kelto {

void prepare_null(const std::vector<int> &diff, NullHistograms &histograms, std::vector<int> &shuffled,
                  std::string &report)
{
    int absolute_sum = 0;
    for (int value : diff)
        absolute_sum += std::abs(value);
    histograms.offset = absolute_sum + 4;
    histograms.size = 2 * absolute_sum + 8;
    histograms.minimum.assign(static_cast<std::size_t>(histograms.size), 0);
    histograms.maximum.assign(static_cast<std::size_t>(histograms.size), 0);
    histograms.minimum_first = histograms.maximum_first = 0;
    histograms.minimum_last = histograms.maximum_last = -1;

    appendf(report, "\n===============================");
    appendf(report, "=========================================\n\n");
    appendf(report, "SIGNIFICANT WINDOWS :  \n\n");

    shuffled = diff;
}

// Randomisations between two looks at the stop flag: a few milliseconds
// even at the longest profiles.
constexpr int kStopCheckInterval = 256;

bool fill_null(NullHistograms &histograms, std::vector<int> &shuffled, int w, int randomisations,
               const std::vector<uint64_t> &multipliers, DrawStream &stream, const std::atomic<int> *stop)
{
    std::fill(histograms.minimum.begin() + histograms.minimum_first,
              histograms.minimum.begin() + histograms.minimum_last + 1, 0);
    std::fill(histograms.maximum.begin() + histograms.maximum_first,
              histograms.maximum.begin() + histograms.maximum_last + 1, 0);
    int32_t *minimum = histograms.minimum.data() + histograms.offset;
    int32_t *maximum = histograms.maximum.data() + histograms.offset;
    int *x = shuffled.data();
    const int n = static_cast<int>(shuffled.size());
    const uint64_t *table = multipliers.data();
    int lowest_min = INT_MAX, lowest_max = INT_MIN, highest_min = INT_MAX, highest_max = INT_MIN;
    const KernelFunction kernel =
        n <= kMaxKernelLength ? kernel_function(active_kernel()) : KernelFunction{shuffle_and_scan};
    bool stopped = false;
    for (int done = 0; done < randomisations && !stopped; done += kStopCheckInterval) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed) != 0) {
            stopped = true;
            break;
        }
        const int chunk_end = randomisations - done < kStopCheckInterval ? randomisations : done + kStopCheckInterval;
        for (int t = done; t < chunk_end; ++t) {
            const WindowExtremes extremes = kernel(x, n, w, table, stream);
            ++minimum[extremes.lowest];
            ++maximum[extremes.highest];
            lowest_min = std::min(lowest_min, extremes.lowest);
            lowest_max = std::max(lowest_max, extremes.lowest);
            highest_min = std::min(highest_min, extremes.highest);
            highest_max = std::max(highest_max, extremes.highest);
        }
    }
    if (stopped)
        return false;  // abandoned: prepare_null starts the next quartet afresh
    histograms.minimum_first = histograms.offset + lowest_min;
    histograms.minimum_last = histograms.offset + lowest_max;
    histograms.maximum_first = histograms.offset + highest_min;
    histograms.maximum_last = histograms.offset + highest_max;
    return true;
}

}  // namespace kelto
