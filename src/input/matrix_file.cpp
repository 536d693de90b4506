// Reading a substitution matrix from an NCBI-format text file.
#include "input/matrix_file.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/files.hpp"
#include "input/residues.hpp"
#include "common/digest.hpp"

namespace kelto {

namespace {

constexpr int kLowestValue = -100;
constexpr int kHighestValue = 100;

std::vector<std::string> split_words(const std::string &line)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = line.find_first_not_of(" \t\r\v\f", at)) != std::string::npos) {
        const std::size_t end = std::min(line.find_first_of(" \t\r\v\f", at), line.size());
        words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// The class (0-19) of a one-letter word naming a standard residue, or -1.
int standard_class(const std::string &word)
{
    if (word.size() != 1 || !std::isalpha(static_cast<unsigned char>(word[0])))
        return -1;
    const int c = residue_class(static_cast<char>(std::toupper(static_cast<unsigned char>(word[0]))));
    return c < kResidueCount ? c : -1;
}

bool parse_value(const std::string &word, int &value)
{
    errno = 0;
    char *end = nullptr;
    const long parsed = std::strtol(word.c_str(), &end, 10);
    if (word.empty() || *end != '\0' || errno != 0 || parsed < kLowestValue || parsed > kHighestValue)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

std::string at_line(int line) { return "line " + std::to_string(line) + ": "; }

// One row of the matrix into `scores`; `columns` maps header columns to classes.
bool parse_row(const std::vector<std::string> &words, const std::vector<int> &columns, int line, int row,
               SubstitutionMatrix &scores, std::string &why)
{
    if (words.size() != columns.size() + 1) {
        why = at_line(line) + "row '" + words[0] + "' has " + std::to_string(words.size() - 1) +
              " values, the header " + std::to_string(columns.size()) + " letters";
        return false;
    }
    for (std::size_t k = 0; k < columns.size(); ++k) {
        if (columns[k] < 0)
            continue;
        int value = 0;
        if (!parse_value(words[k + 1], value)) {
            why = at_line(line) + "row '" + words[0] + "', column '" + std::string(1, kResidueLetters[columns[k]]) +
                  "': '" + words[k + 1] + "' is not an integer from -100 to 100";
            return false;
        }
        scores[static_cast<std::size_t>(row)][static_cast<std::size_t>(columns[k])] = value;
    }
    return true;
}

// `found`: the line of each letter's header column or row, 0 where none;
// `missing` says what lacks the letter the message ends with.
bool check_complete(const std::vector<int> &found, const std::string &missing, std::string &why)
{
    for (int c = 0; c < kResidueCount; ++c)
        if (found[static_cast<std::size_t>(c)] == 0) {
            why = missing + " '" + std::string(1, kResidueLetters[c]) + "'";
            return false;
        }
    return true;
}

// `lines`: the line of each row, or empty (values that come from no file).
bool check_symmetric(const SubstitutionMatrix &scores, const std::vector<int> &lines, std::string &why)
{
    for (int i = 0; i < kResidueCount; ++i)
        for (int j = 0; j < i; ++j) {
            const int a = scores[static_cast<std::size_t>(i)][static_cast<std::size_t>(j)];
            const int b = scores[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)];
            if (a != b) {
                const auto line = [&lines](int row) {
                    const std::size_t r = static_cast<std::size_t>(row);
                    return lines.empty() ? std::string() : " (line " + std::to_string(lines[r]) + ")";
                };
                why = std::string("not symmetric: row '") + kResidueLetters[i] + "'" + line(i) + ", column '" +
                      kResidueLetters[j] + "' holds " + std::to_string(a) + " but row '" + kResidueLetters[j] + "'" +
                      line(j) + ", column '" + kResidueLetters[i] + "' holds " + std::to_string(b);
                return false;
            }
        }
    return true;
}

}  // namespace

int builtin_matrix_index(const std::string &text)
{
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '6')
        return text[0] - '1';
    for (int i = 0; i < kMatrixCount; ++i) {
        const std::string name = kMatrixSet[static_cast<std::size_t>(i)].name;
        if (text.size() == name.size() &&
            std::equal(text.begin(), text.end(), name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == static_cast<unsigned char>(b);
            }))
            return i;
    }
    return -1;
}

RunMatrix builtin_matrix(int index)
{
    const NamedMatrix &named = kMatrixSet[static_cast<std::size_t>(index)];
    return RunMatrix{named.name, named.scores, {}, 0};
}

bool parse_matrix_text(const std::string &text, SubstitutionMatrix &scores, std::string &why)
{
    std::vector<int> columns;  // class of each header column, -1 for other letters
    std::vector<int> header_seen(kResidueCount, 0), rows_seen(kResidueCount, 0);  // line of each, 0: not seen
    int line_number = 0;
    int header_line = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::vector<std::string> words = split_words(text.substr(start, end - start));
        start = end + 1;
        ++line_number;
        if (words.empty() || words[0][0] == '#')
            continue;
        if (columns.empty()) {
            for (const std::string &word : words) {
                const int c = standard_class(word);
                if (c >= 0 && header_seen[static_cast<std::size_t>(c)] != 0) {
                    why = at_line(line_number) + "the header names '" + word + "' twice";
                    return false;
                }
                if (c >= 0)
                    header_seen[static_cast<std::size_t>(c)] = line_number;
                columns.push_back(c);
            }
            header_line = line_number;
            if (!check_complete(header_seen, at_line(header_line) + "the header row lacks the letter", why))
                return false;
            continue;
        }
        const int row = standard_class(words[0]);
        if (row < 0)
            continue;
        if (rows_seen[static_cast<std::size_t>(row)] != 0) {
            why = at_line(line_number) + "a second row '" + words[0] + "' (the first is on line " +
                  std::to_string(rows_seen[static_cast<std::size_t>(row)]) + ")";
            return false;
        }
        rows_seen[static_cast<std::size_t>(row)] = line_number;
        if (!parse_row(words, columns, line_number, row, scores, why))
            return false;
    }
    if (columns.empty()) {
        why = "no header row of residue letters in its " + std::to_string(line_number) + " lines";
        return false;
    }
    return check_complete(rows_seen, "the rows after the header (line " + std::to_string(header_line) + ") lack the letter", why) &&
           check_symmetric(scores, rows_seen, why);
}

bool read_matrix_file(const std::string &path, RunMatrix &matrix, std::string &why)
{
    std::string text;
    if (!read_text_file(path, std::size_t{1} << 20, text, why)) {
        why = "the matrix file " + path + " " + why;
        return false;
    }
    if (!parse_matrix_text(text, matrix.scores, why)) {
        why = "the matrix file " + path + ": " + why;
        return false;
    }
    matrix.name = std::filesystem::path(path).filename().string();
    matrix.path = path;
    matrix.xxh3 = text_xxh3_64(text);
    return true;
}

std::string matrix_file_path(const std::string &value)
{
    std::error_code error;
    if (std::filesystem::exists(value, error) || value.find('/') != std::string::npos)
        return value;
    std::string upper = value;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::string shipped = std::string(kNcbiMatrixDirectory) + "/" + upper;
    return std::filesystem::exists(shipped, error) ? shipped : value;
}

bool read_chosen_matrix(const std::string &value, RunMatrix &matrix, std::string &why)
{
    const std::string path = matrix_file_path(value);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        why = "--matrix: '" + value +
              "' is not 1 to 6, a built-in matrix (BLOSUM45, BLOSUM62, BLOSUM90, PAM30, PAM70, PAM250) or a matrix file";
        return false;
    }
    return read_matrix_file(path, matrix, why);
}

std::vector<int> matrix_values(const SubstitutionMatrix &scores)
{
    std::vector<int> values;
    for (const auto &row : scores)
        values.insert(values.end(), row.begin(), row.end());
    return values;
}

bool matrix_from_values(const std::vector<int> &values, SubstitutionMatrix &scores)
{
    if (values.size() != static_cast<std::size_t>(kResidueCount * kResidueCount))
        return false;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] < kLowestValue || values[i] > kHighestValue)
            return false;
        scores[i / kResidueCount][i % kResidueCount] = values[i];
    }
    std::string why;
    return check_symmetric(scores, {}, why);
}

}  // namespace kelto
