// The order of a run's quartets and the draws each takes: quartet k is the
// pairs (a, b), a < b, ordered by a and then b, and its draws follow those
// of every quartet before it in the run's one stream of draws, so that any
// stretch of quartets can be analysed on its own and give the same numbers.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "input/pair_file.hpp"
#include "profile/profile.hpp"

namespace kelto {

// The number of the run's first draw.
inline constexpr uint64_t kFirstDraw = 1;

// The quartets [first, end) of the run's order, and the number of the first
// draw of quartet `first` in the run's stream.
struct QuartetRange {
    long long first = 0;
    long long end = 0;
    uint64_t first_draw = kFirstDraw;
};

// Number of quartets of a run with `pairs` pairs.
inline long long quartet_count(int pairs) { return static_cast<long long>(pairs) * (pairs - 1) / 2; }

// Pairs of quartet `index` in the order (0,1), (0,2), ..., (1,2), ...;
// false when the index is past the last quartet.
bool pairs_of_quartet(long long index, int pairs, int &pair_a, int &pair_b);

// The four records of the quartet of pairs `pair_a` and `pair_b`: pair p is
// records 2p and 2p+1 of the set.
Quartet make_quartet(const SequenceSet &set, int pair_a, int pair_b);

// Draws consumed by one quartet: T randomisations of N-1 Fisher-Yates steps
// for each window size 2 .. N-1, and none for an identical quartet. Wraps
// modulo 2^64 like the stream itself.
inline uint64_t quartet_draw_count(bool identical, int n_minimum, int randomisations)
{
    if (identical || n_minimum < 3)
        return 0;
    const uint64_t n = static_cast<uint64_t>(n_minimum);
    return static_cast<uint64_t>(randomisations) * (n - 2) * (n - 1);
}

// Hands out quartets in order, each with the number of its first draw.
struct QuartetCursor {
    const std::vector<std::vector<int>> *scores;
    int pairs;
    int n_minimum;
    int randomisations;
    int a = 0;
    int b = 1;
    uint64_t next_draw = kFirstDraw;

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

    // Passes over `count` quartets without analysing them.
    void skip(long long count)
    {
        int pair_a = 0, pair_b = 0;
        uint64_t first_draw = 0;
        for (long long q = 0; q < count; ++q)
            take(pair_a, pair_b, first_draw);
    }

    // Stands at quartet `index`, whose first draw is `draw`.
    void start_at(long long index, uint64_t draw)
    {
        pairs_of_quartet(index, pairs, a, b);
        next_draw = draw;
    }
};

// The number of the first draw of quartet `first`: the draws of every
// quartet before it counted from the run's first draw.
uint64_t first_draw(const std::vector<std::vector<int>> &scores, int n_minimum, int randomisations, long long first);

}  // namespace kelto
