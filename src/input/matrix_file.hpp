// A substitution matrix read from a text file in the NCBI format, as the
// BLAST matrix files (Debian's ncbi-data) are written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "input/matrices.hpp"

namespace kelto {

// Where Debian's ncbi-data puts its matrix files.
inline constexpr const char *kNcbiMatrixDirectory = "/usr/share/ncbi/data";

// The matrix of a run: a built-in one or one read from a file.
struct RunMatrix {
    std::string name;  // the built-in's name, or the file's base name
    SubstitutionMatrix scores{};
    std::string path;   // the file read; empty for a built-in
    uint64_t xxh3 = 0;  // XXH3-64 of the file's bytes
};

// The built-in matrix for "1".."6" or a built-in name in any case (0-5);
// -1 otherwise.
int builtin_matrix_index(const std::string &text);

// The built-in matrix `index` (0-5).
RunMatrix builtin_matrix(int index);

// Parses the text of a matrix file: '#' comment lines, a header row of
// residue letters, then one row per letter (the letter, then one integer
// per header column). All twenty standard letters must be there, every
// value of their 20 x 20 part an integer from -100 to 100 and the part
// symmetric; other letters are ignored. False with the line, row and
// column at fault in `why`.
bool parse_matrix_text(const std::string &text, SubstitutionMatrix &scores, std::string &why);

// Reads the matrix file at `path`; messages name the file.
bool read_matrix_file(const std::string &path, RunMatrix &matrix, std::string &why);

// The file a --matrix value names: the value as a path where such a file
// exists, else the ncbi-data file of that name in capitals (so "blosum80"
// finds BLOSUM80 there), else the value itself.
std::string matrix_file_path(const std::string &value);

// The matrix file a --matrix value that names no built-in stands for (as
// matrix_file_path finds it); false with what the value is not.
bool read_chosen_matrix(const std::string &value, RunMatrix &matrix, std::string &why);

// The 400 values row by row, and back (false unless 400 values in range
// that form a symmetric matrix).
std::vector<int> matrix_values(const SubstitutionMatrix &scores);
bool matrix_from_values(const std::vector<int> &values, SubstitutionMatrix &scores);

}  // namespace kelto
