// Classification of input bytes: residue index, gap, record start, line feed
// or ignored.
#pragma once

#include <array>
#include <cstdint>

namespace kelto {

inline constexpr int kClassGap = 20;
inline constexpr int kClassRecordStart = 62;  // equals the code of '>'
inline constexpr int kClassLineFeed = 100;
inline constexpr int kClassIgnored = 255;

using ResidueClassTable = std::array<int16_t, 256>;

// Letters in class order; class i is kResidueLetters[i] in either case.
inline constexpr char kResidueLetters[] = "ARNDCQEGHILKMFPSTWYV";

constexpr ResidueClassTable make_residue_class_table()
{
    ResidueClassTable table{};
    for (auto &entry : table)
        entry = kClassIgnored;
    for (int i = 0; i < 20; ++i) {
        const unsigned char upper = static_cast<unsigned char>(kResidueLetters[i]);
        table[upper] = static_cast<int16_t>(i);
        table[upper - 'A' + 'a'] = static_cast<int16_t>(i);
    }
    table[static_cast<unsigned char>('-')] = kClassGap;
    table[static_cast<unsigned char>('>')] = kClassRecordStart;
    table[static_cast<unsigned char>('\n')] = kClassLineFeed;
    return table;
}

inline constexpr ResidueClassTable kResidueClass = make_residue_class_table();

inline int residue_class(char c) { return kResidueClass[static_cast<unsigned char>(c)]; }

// True for the bytes a record stores: the twenty residues and the gap.
inline bool is_stored_character(int byte) { return kResidueClass[static_cast<unsigned char>(byte)] <= kClassGap; }

}  // namespace kelto
