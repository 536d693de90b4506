// Classification of input bytes: residue index, gap, record start, line feed
// or ignored.
#pragma once

#include <array>
#include <cstdint>

namespace kelto {

inline constexpr int kClassGap = 20;
// Letters outside the twenty (B J O U X Z) and '*': stored so that the
// alignment keeps its columns, never scored; their columns are removed with
// the gap columns.
inline constexpr int kClassUnscored = 21;
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
    table[static_cast<unsigned char>('.')] = kClassGap;  // a gap as Stockholm writes it
    for (const char letter : {'B', 'J', 'O', 'U', 'X', 'Z'}) {
        table[static_cast<unsigned char>(letter)] = kClassUnscored;
        table[static_cast<unsigned char>(letter - 'A' + 'a')] = kClassUnscored;
    }
    table[static_cast<unsigned char>('*')] = kClassUnscored;
    table[static_cast<unsigned char>('>')] = kClassRecordStart;
    table[static_cast<unsigned char>('\n')] = kClassLineFeed;
    return table;
}

inline constexpr ResidueClassTable kResidueClass = make_residue_class_table();

inline int residue_class(char c) { return kResidueClass[static_cast<unsigned char>(c)]; }

// True for the bytes a record stores: the twenty residues, the gaps and the
// unscored letters; digits, blanks, line ends and bytes 128-255 are skipped.
inline bool is_stored_character(int byte) { return kResidueClass[static_cast<unsigned char>(byte)] <= kClassUnscored; }

// True for a stored byte whose column is removed: a gap or an unscored letter.
inline bool is_gap_like(char byte) { return kResidueClass[static_cast<unsigned char>(byte)] >= kClassGap; }

}  // namespace kelto
