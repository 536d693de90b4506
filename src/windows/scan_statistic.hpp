// The penalised, standardised scan statistic of a profile.
//
// A window of w positions (2 <= w <= N-1) with sum S is standardised by the
// exact mean and variance of a window sum when the profile's values are
// randomly arranged:
//   Z = (S - w mu) / sqrt(w s2 (N - w) / (N - 1)),
// with mu and s2 the profile's mean and variance (divisor N). In integers,
// with T the profile's total and V = N sum(d^2) - T^2 = N^2 s2,
//   Z = (N S - w T) / sqrt(w (N - w) V / (N - 1)).
// Each window is penalised by pen(w) = sqrt(2 ln(e N / min(w, N - w))), so
// that short windows do not dominate, and the statistic M is the largest of
// Z - pen(w) (maximum side) and -Z - pen(w) (minimum side) over all windows.
// The penalty is that of the multiscale scan, sqrt(2 ln(e N / w)), made
// symmetric: with the profile's total fixed, a window of w positions and
// the N - w positions around it carry the same evidence (their sums add to
// T), so a long window is as many windows' worth of search as its short
// complement. Without it the long near-complement of a short block, with
// the smaller penalty, would take the block's place.
//
// A window that touches an end of the profile is the same evidence as its
// complement, which touches the other end: S + S' = T, so Z' = -Z exactly.
// Each such pair is counted once, as the shorter window: windows longer
// than N/2 are taken only where they touch neither end. Otherwise the
// longer one, with its smaller penalty, would always win: a window of N-1
// positions would stand for one extreme position, and a block near one end
// would be reported as the rest of the profile.
//
// Bytes must not depend on the CPU or compiler: every floating-point step
// here is one correctly rounded IEEE operation (the build turns contraction
// into FMA off), and the logarithm is computed from them, not taken from
// the C library.
#pragma once

#include <cstdint>
#include <vector>

namespace kelto {

// The profile's total and spread; `spread` 0 means every value is the same
// and the statistic is undefined.
struct ScanMoments {
    int n = 0;
    long long total = 0;
    long long spread = 0;  // V = N sum(d^2) - T^2
    long long reach = 0;   // sum |d|: no window sum lies beyond it
};

ScanMoments scan_moments(const std::vector<int> &diff);

// ln x for finite x > 0, from basic operations only.
double portable_log(double x);

// pen(w) for w = 0 .. n (entry 0 unused).
std::vector<double> scan_penalties(int n);

// sqrt(w (N - w) V / (N - 1)) for w = 0 .. n (entry 0 unused).
std::vector<double> scan_scales(const ScanMoments &moments);

// The windows of w positions the statistic takes: starts first .. last
// (from 0); none when last < first.
inline void scan_starts(int n, int w, int &first, int &last)
{
    const bool interior_only = 2 * w > n;
    first = interior_only ? 1 : 0;
    last = interior_only ? n - w - 1 : n - w;
}

// Z of a window of w positions with sum S.
inline double scan_z(const ScanMoments &m, const std::vector<double> &scales, long long sum, int w)
{
    return static_cast<double>(static_cast<long long>(m.n) * sum - static_cast<long long>(w) * m.total) /
           scales[static_cast<std::size_t>(w)];
}

// Z - pen(w) on the maximum side (side +1), -Z - pen(w) on the minimum side
// (side -1).
inline double scan_score(const ScanMoments &m, const std::vector<double> &scales, const std::vector<double> &penalties,
                         long long sum, int w, int side)
{
    const double z = scan_z(m, scales, sum, w);
    return (side > 0 ? z : -z) - penalties[static_cast<std::size_t>(w)];
}

// The score of any window (start from 1) as the statistic counts it: a
// window longer than N/2 that touches an end scores as its complement, on
// the other side.
inline double counted_score(const ScanMoments &m, const std::vector<double> &scales,
                            const std::vector<double> &penalties, int start, int w, long long sum, int side)
{
    if (2 * w > m.n && (start == 1 || start + w - 1 == m.n))
        return scan_score(m, scales, penalties, m.total - sum, m.n - w, -side);
    return scan_score(m, scales, penalties, sum, w, side);
}

// The window that attains M. Positions count from 1.
struct ScanWindow {
    int side = 0;  // +1 maximum, -1 minimum; 0: no window (no test)
    int size = 0;
    int start = 0;
    int end = 0;
    long long sum = 0;
    double z = 0.0;
    double score = 0.0;  // M
};

// Storage of one quartet's statistic, owned by a worker.
struct ScanContext {
    ScanMoments moments;
    std::vector<double> scales;
    const std::vector<double> *penalties = nullptr;  // the run's, for its N
    std::vector<int32_t> prefix;
};

// Fills `context` for `diff` and finds the window attaining M: sizes in
// increasing order, the maximum side before the minimum side, and the
// first start among equal sums; a later window replaces it only with a
// strictly larger score. Returns false (and no window) when the profile
// has fewer than 4 positions (N = 3 has no counted window) or no spread.
bool observed_scan(const std::vector<int> &diff, const std::vector<double> &penalties, ScanContext &context,
                   ScanWindow &window);

// The integer thresholds equivalent to "score >= level" for one size: on
// the maximum side, the smallest sum with Z - pen >= level; on the minimum
// side, the largest sum with -Z - pen >= level. Sums no window can reach
// are given as INT32_MAX and INT32_MIN.
void scan_thresholds(const ScanContext &context, int w, double level, int32_t &high, int32_t &low);

}  // namespace kelto
