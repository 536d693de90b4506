// The penalised scan statistic: moments, penalties, the observed maximum
// and the integer thresholds that stand for it.
#include "windows/scan_statistic.hpp"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace kelto {

ScanMoments scan_moments(const std::vector<int> &diff)
{
    ScanMoments m;
    m.n = static_cast<int>(diff.size());
    long long squares = 0;
    for (int d : diff) {
        m.total += d;
        squares += static_cast<long long>(d) * d;
        m.reach += std::llabs(d);
    }
    m.spread = static_cast<long long>(m.n) * squares - m.total * m.total;
    return m;
}

// ln x = e ln 2 + 2 atanh(u), u = (m - 1) / (m + 1), with x = m 2^e and
// m in [1/sqrt 2, sqrt 2), so |u| < 0.172 and 20 odd terms reach double
// precision. frexp and ldexp are exact.
double portable_log(double x)
{
    int e = 0;
    double m = std::frexp(x, &e);
    if (m < 0.70710678118654752440) {
        m = m * 2.0;
        e -= 1;
    }
    const double u = (m - 1.0) / (m + 1.0);
    const double u2 = u * u;
    double series = 0.0;
    for (int k = 39; k >= 1; k -= 2)
        series = series * u2 + 1.0 / static_cast<double>(k);
    return static_cast<double>(e) * 0.69314718055994530942 + 2.0 * (u * series);
}

std::vector<double> scan_penalties(int n)
{
    std::vector<double> penalties(static_cast<std::size_t>(n > 0 ? n : 0) + 1, 0.0);
    if (n < 3)
        return penalties;
    const double log_n = portable_log(static_cast<double>(n));
    for (int w = 1; w < n; ++w)
        penalties[static_cast<std::size_t>(w)] =
            std::sqrt(2.0 * (1.0 + (log_n - portable_log(static_cast<double>(std::min(w, n - w))))));
    return penalties;
}

std::vector<double> scan_scales(const ScanMoments &m)
{
    std::vector<double> scales(static_cast<std::size_t>(m.n > 0 ? m.n : 0) + 1, 0.0);
    for (int w = 1; w < m.n; ++w)
        scales[static_cast<std::size_t>(w)] = std::sqrt(static_cast<double>(static_cast<long long>(w) * (m.n - w)) *
                                                        static_cast<double>(m.spread) /
                                                        static_cast<double>(m.n - 1));
    return scales;
}

bool observed_scan(const std::vector<int> &diff, const std::vector<double> &penalties, ScanContext &context,
                   ScanWindow &window)
{
    window = ScanWindow{};
    context.moments = scan_moments(diff);
    context.penalties = &penalties;
    const int n = context.moments.n;
    if (n < 3 || context.moments.spread <= 0)
        return false;
    context.scales = scan_scales(context.moments);
    context.prefix.assign(diff.size() + 1, 0);
    for (int i = 0; i < n; ++i)
        context.prefix[static_cast<std::size_t>(i) + 1] = context.prefix[static_cast<std::size_t>(i)] + diff[static_cast<std::size_t>(i)];
    const int32_t *prefix = context.prefix.data();
    for (int w = 2; w < n; ++w) {
        int first = 0, last = 0;
        scan_starts(n, w, first, last);
        if (last < first)
            continue;
        int high_at = first, low_at = first;
        int32_t highest = prefix[first + w] - prefix[first], lowest = highest;
        for (int i = first + 1; i <= last; ++i) {
            const int32_t sum = prefix[i + w] - prefix[i];
            if (sum > highest) {
                highest = sum;
                high_at = i;
            }
            if (sum < lowest) {
                lowest = sum;
                low_at = i;
            }
        }
        for (const int side : {1, -1}) {
            const int32_t sum = side > 0 ? highest : lowest;
            const double score = scan_score(context.moments, context.scales, penalties, sum, w, side);
            if (window.side == 0 || score > window.score) {
                const int at = side > 0 ? high_at : low_at;
                window = ScanWindow{side, w, at + 1, at + w, sum, scan_z(context.moments, context.scales, sum, w), score};
            }
        }
    }
    // N = 3 has no window the scan counts: its one size, 2, is the
    // complement of a single position at either end.
    return window.side != 0;
}

void scan_thresholds(const ScanContext &context, int w, double level, int32_t &high, int32_t &low)
{
    const ScanMoments &m = context.moments;
    const std::vector<double> &penalties = *context.penalties;
    const auto reaches = [&](long long sum, int side) {
        return scan_score(m, context.scales, penalties, sum, w, side) >= level;
    };
    // The score is monotone in the sum for a fixed size; the closed form
    // gives a start within a step or two, and the exact predicate settles it.
    const double centre = static_cast<double>(static_cast<long long>(w) * m.total) / static_cast<double>(m.n);
    const double reach = (level + penalties[static_cast<std::size_t>(w)]) * context.scales[static_cast<std::size_t>(w)] /
                         static_cast<double>(m.n);
    const double top = static_cast<double>(m.reach) + 1.0;

    double guess = std::ceil(centre + reach);
    if (!(guess <= top)) {
        high = INT32_MAX;
    } else {
        long long sum = guess < -top ? -m.reach - 1 : static_cast<long long>(guess);
        while (sum > -m.reach - 1 && reaches(sum - 1, 1))
            --sum;
        while (!reaches(sum, 1) && sum <= m.reach)
            ++sum;
        high = sum > m.reach ? INT32_MAX : static_cast<int32_t>(sum);
    }
    guess = std::floor(centre - reach);
    if (!(guess >= -top)) {
        low = INT32_MIN;
    } else {
        long long sum = guess > top ? m.reach + 1 : static_cast<long long>(guess);
        while (sum < m.reach + 1 && reaches(sum + 1, -1))
            ++sum;
        while (!reaches(sum, -1) && sum >= -m.reach)
            --sum;
        low = sum < -m.reach ? INT32_MIN : static_cast<int32_t>(sum);
    }
}

}  // namespace kelto
