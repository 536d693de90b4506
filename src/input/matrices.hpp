// The six built-in amino-acid substitution matrices, 20 x 20 in residue order
// A R N D C Q E G H I L K M F P S T W Y V.
#pragma once

#include <array>

namespace kelto {

inline constexpr int kResidueCount = 20;

// Row = class of the first residue, column = class of the second.
using SubstitutionMatrix = std::array<std::array<int, kResidueCount>, kResidueCount>;

struct NamedMatrix {
    const char *name;  // as shown at the menu, e.g. "BLOSUM62"
    SubstitutionMatrix scores;
};

inline constexpr int kMatrixCount = 6;

// Menu option '1' + i selects kMatrixSet[i]: BLOSUM45, BLOSUM62, BLOSUM90,
// PAM30, PAM70, PAM250.
extern const std::array<NamedMatrix, kMatrixCount> kMatrixSet;

}  // namespace kelto
