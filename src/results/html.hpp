// The HTML page of a run: one self-contained file (no network, no external
// resources) built from the run's JSON Lines record, the trimmed records and
// the working matrix. The page recomputes each quartet's C(k)12 profile from
// the embedded records and matrix, so per quartet it only carries the final
// windows and the window counts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "input/matrices.hpp"
#include "input/pair_file.hpp"

namespace kelto {

// The fields of a run line the page and the html command use.
struct RunLine {
    nlohmann::ordered_json shown;  // what the page shows: seed (as text), T, matrix, input, counts, shard
    std::vector<std::string> names;  // 2P record names, file order
    std::string matrix;
    std::string input_path;
    uint64_t input_bytes = 0;
    std::string input_xxh3_128;
    int pairs = 0;
    int n_minimum = 0;
    int randomisations = 0;  // T
};

// Everything of a run the page embeds, in compact columns.
struct PageData {
    RunLine run;
    nlohmann::ordered_json end;  // the end line's fields, or null when the record has none
    int64_t first_quartet = 0;   // index of the first quartet line
    int64_t quartet_count = 0;   // quartet lines read
    // Per quartet, kQuartetStride values: final maximum windows, final
    // minimum windows, significant_max, significant_min, flags (bit 0:
    // identical; bits 1-3: the "Too many" stop as its StopReason value 1-4, 0 none).
    std::vector<int32_t> quartets;
    // Per final window, kWindowStride values: start, size, value, count,
    // eliminated (0/1); a quartet's maximum windows before its minimum ones.
    std::vector<int32_t> windows;
};

inline constexpr int kQuartetStride = 5;
inline constexpr int kWindowStride = 5;

// Parses and checks a run line (format 1). On failure returns false with a
// one-line message.
bool parse_run_line(const std::string &line, RunLine &run, std::string &message);

// Reads a first line from `jsonl` (from its current position) and parses it as the run line.
bool read_run_line(FILE *jsonl, RunLine &run, std::string &message);

// Reads the whole JSON Lines record from the current position of `jsonl`:
// the run line, the quartet lines (streamed into the compact columns) and
// the optional end line; a last line torn by an interrupted write is
// ignored. Checks it against the trimmed records: pair count, N_minimum,
// every quartet's pairs and every window's positions and value under
// `matrix`. On failure returns false with a one-line message.
bool read_page_data(FILE *jsonl, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, PageData &data,
                    std::string &message);

// Writes the page. Returns false with a message when a write fails.
bool write_page(const PageData &data, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                std::string &message);

// read_page_data then write_page: nothing is written when reading fails.
bool write_html_page(FILE *jsonl, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                     std::string &message);

// Escapes a JSON text for a <script> element: '<', '>' and '&' become
// \u003c, \u003e, \u0026 and U+2028/U+2029 become \u2028/\u2029. Only valid
// where these can occur in strings alone, which holds for any JSON text.
std::string script_safe_json(const std::string &json);

}  // namespace kelto
