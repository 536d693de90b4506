// Gap-column removal and the common length of the alignment.
#include "input/gaps.hpp"

#include <vector>

#include "common/text.hpp"

namespace kelto {

int remove_gap_columns(SequenceSet &set, int shortest, std::string &console)
{
    const std::size_t columns = static_cast<std::size_t>(shortest);
    std::vector<char> gap(columns, 0);
    for (const SequenceRecord &record : set.records)
        for (std::size_t k = 0; k < columns; ++k)
            if (record.residues[k] == '-')
                gap[k] = 1;

    int gap_count = 0;
    for (char g : gap)
        gap_count += g;

    for (SequenceRecord &record : set.records) {
        std::size_t kept = 0;
        for (std::size_t k = 0; k < columns; ++k)
            if (!gap[k])
                record.residues[kept++] = record.residues[k];
        record.residues.resize(kept);
    }

    const int n_minimum = shortest - gap_count;
    if (gap_count >= 1)
        appendf(console, "\n\n Gaps= %d", gap_count);
    appendf(console, "\n\n---->  N_minimum (Without gaps) = %d \n", n_minimum);
    appendf(console, "\n------------------------------------------------------------\n\n");
    return n_minimum;
}

}  // namespace kelto
