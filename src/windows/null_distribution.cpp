// Randomisation null distributions.
#include "windows/null_distribution.hpp"

#include <algorithm>
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

    appendf(report, "\n===============================");
    appendf(report, "=========================================\n\n");
    appendf(report, "SIGNIFICANT WINDOWS :  \n\n");

    shuffled = diff;
}

void fill_null(NullHistograms &histograms, std::vector<int> &shuffled, int w, int randomisations,
               const std::vector<uint64_t> &multipliers, DrawStream &stream)
{
    std::fill(histograms.minimum.begin(), histograms.minimum.end(), 0);
    std::fill(histograms.maximum.begin(), histograms.maximum.end(), 0);
    int32_t *minimum = histograms.minimum.data() + histograms.offset;
    int32_t *maximum = histograms.maximum.data() + histograms.offset;
    int *x = shuffled.data();
    const int n = static_cast<int>(shuffled.size());
    const uint64_t *table = multipliers.data();
    for (int t = 0; t < randomisations; ++t) {
        const WindowExtremes extremes = shuffle_and_scan(x, n, w, table, stream);
        ++minimum[extremes.lowest];
        ++maximum[extremes.highest];
    }
}

}  // namespace kelto
