// Shard blocks balanced by cost, and the shard fields of a run's record.
#include "run/shards.hpp"

#include <map>

#include "profile/profile.hpp"

namespace kelto {

namespace {

// Where block `k` of `count` begins: quartet position of the
// floor(k * W / count)-th non-identical quartet (W = `different` > 0), or
// an even share of the quartets when every one is identical.
long long block_start(const std::vector<int> &classes, long long k, long long count, long long quartets,
                      long long different)
{
    if (k <= 0)
        return 0;
    if (k >= count)
        return quartets;
    if (different == 0)
        return k * quartets / count;
    const long long target = k * different / count;
    const int pairs = static_cast<int>(classes.size());
    long long position = 0;
    long long seen = 0;
    for (int a = 0; a < pairs; ++a)
        for (int b = a + 1; b < pairs; ++b, ++position)
            if (classes[static_cast<std::size_t>(a)] != classes[static_cast<std::size_t>(b)] && seen++ == target)
                return position;
    return quartets;
}

}  // namespace

std::vector<int> pair_classes(const std::vector<std::vector<int>> &scores)
{
    std::map<std::vector<int>, int> seen;
    std::vector<int> classes;
    classes.reserve(scores.size());
    for (const std::vector<int> &pair : scores)
        classes.push_back(seen.emplace(pair, static_cast<int>(seen.size())).first->second);
    return classes;
}

QuartetRange shard_range(const std::vector<std::vector<int>> &scores, int index, int count)
{
    const std::vector<int> classes = pair_classes(scores);
    const long long quartets = quartet_count(static_cast<int>(classes.size()));
    // Identical quartets are the pairs within one class.
    std::map<int, long long> class_sizes;
    for (int c : classes)
        ++class_sizes[c];
    long long different = quartets;
    for (const auto &[c, size] : class_sizes)
        different -= size * (size - 1) / 2;
    QuartetRange range;
    range.first = block_start(classes, index - 1, count, quartets, different);
    range.end = block_start(classes, index, count, quartets, different);
    return range;
}

}  // namespace kelto
