// The order of quartets and the first draw of each.
#include "windows/quartet_order.hpp"

#include <algorithm>

namespace kelto {

bool pairs_of_quartet(long long index, int pairs, int &pair_a, int &pair_b)
{
    for (pair_a = 0; pair_a < pairs - 1; ++pair_a) {
        const long long row = pairs - 1 - pair_a;
        if (index < row) {
            pair_b = pair_a + 1 + static_cast<int>(index);
            return true;
        }
        index -= row;
    }
    return false;
}

Quartet make_quartet(const SequenceSet &set, int pair_a, int pair_b)
{
    const auto record = [&](int i) { return &set.records[static_cast<std::size_t>(i)]; };
    return Quartet{{record(2 * pair_a), record(2 * pair_a + 1), record(2 * pair_b), record(2 * pair_b + 1)}};
}

uint64_t first_draw(const std::vector<std::vector<int>> &scores, int n_minimum, int randomisations, long long first)
{
    const int pairs = static_cast<int>(scores.size());
    QuartetCursor cursor{&scores, pairs, n_minimum, randomisations};
    cursor.skip(std::clamp<long long>(first, 0, quartet_count(pairs)));
    return cursor.next_draw;
}

}  // namespace kelto
