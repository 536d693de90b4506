// Checks the built-in substitution matrices against checksums of the published tables.
#include "input/matrices.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Expected {
    const char *name;
    long sum;          // sum of all 400 entries
    long sumSquares;   // sum of their squares
    long weighted;     // sum of (20*i + j + 1) * M[i][j]; catches transposed or shifted rows
    int diagonal[kelto::kResidueCount];
};

constexpr Expected kExpected[kelto::kMatrixCount] = {
    {"BLOSUM45", -367, 2771, -73363, {5, 7, 6, 7, 12, 6, 6, 7, 10, 5, 5, 5, 6, 8, 9, 4, 5, 15, 8, 5}},
    {"BLOSUM62", -426, 2368, -85329, {4, 5, 6, 6, 9, 5, 5, 6, 8, 4, 4, 5, 5, 6, 7, 4, 5, 11, 7, 4}},
    {"BLOSUM90", -746, 4260, -150854, {5, 6, 7, 7, 9, 7, 6, 6, 8, 5, 5, 6, 7, 7, 8, 5, 6, 11, 8, 5}},
    {"PAM30", -2296, 23768, -473788, {6, 8, 8, 8, 10, 8, 8, 6, 9, 8, 7, 7, 11, 9, 8, 6, 7, 13, 10, 7}},
    {"PAM70", -1302, 10434, -271761, {5, 8, 6, 6, 9, 7, 6, 6, 8, 7, 6, 6, 10, 8, 7, 5, 6, 13, 9, 6}},
    {"PAM250", -456, 3980, -97182, {2, 6, 2, 4, 12, 4, 4, 5, 6, 5, 6, 5, 6, 9, 6, 2, 3, 17, 10, 4}},
};

TEST(Matrices, NamesChecksumsAndSymmetryMatchPublishedTables) {
    for (int m = 0; m < kelto::kMatrixCount; ++m) {
        const auto &actual = kelto::kMatrixSet[m];
        const Expected &want = kExpected[m];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(std::string(actual.name), want.name);
        long sum = 0, sumSquares = 0, weighted = 0;
        for (int i = 0; i < kelto::kResidueCount; ++i) {
            for (int j = 0; j < kelto::kResidueCount; ++j) {
                const long v = actual.scores[i][j];
                sum += v;
                sumSquares += v * v;
                weighted += (20L * i + j + 1) * v;
                EXPECT_EQ(v, actual.scores[j][i]) << "row " << i << ", column " << j;
            }
            EXPECT_EQ(actual.scores[i][i], want.diagonal[i]) << "diagonal " << i;
        }
        EXPECT_EQ(sum, want.sum);
        EXPECT_EQ(sumSquares, want.sumSquares);
        EXPECT_EQ(weighted, want.weighted);
    }
}

}  // namespace
