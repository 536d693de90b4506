// Shards: a run cut into N contiguous blocks of quartets that separate
// processes (or machines) analyse on their own and `kelto merge` joins.
#pragma once

#include <string>
#include <vector>

#include "run/quartets.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"

namespace kelto {

// Class of every pair: pairs with equal score vectors share a class, so a
// quartet is identical (costs nothing) when its two pairs' classes agree.
// Classes are numbered by first appearance.
std::vector<int> pair_classes(const std::vector<std::vector<int>> &scores);

// The block [first, end) of quartets of shard `index` (1 to `count`): the
// quartet order is cut into `count` contiguous blocks holding about equal
// numbers of non-identical quartets (block k ends where the
// floor(k * W / count)-th non-identical quartet begins, W the number of
// them); identical quartets stay with the non-identical one that follows
// them, trailing ones go to the last block. With no non-identical quartet
// the quartets themselves are shared out evenly. Blocks may be empty when
// there are fewer non-identical quartets than shards.
QuartetRange shard_range(const std::vector<std::vector<int>> &scores, int index, int count);

}  // namespace kelto
