// The HTML page of a run: one self-contained file (no network, no external
// resources) built from the run's JSON Lines record, the trimmed records and
// the working matrix. The page recomputes each quartet's C(k)12 profile from
// the embedded records and matrix, so per quartet it only carries the final
// windows and the window counts.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "record/record.hpp"

namespace kelto {

// Everything of a run the page embeds, in compact columns.
struct PageData {
    RunLine run;
    bool has_end = false;  // the record has an end line
    EndLine end;
    int64_t first_quartet = 0;  // index of the first quartet line
    int64_t quartet_count = 0;  // quartet lines read
    // Per quartet, kQuartetStride values: final maximum windows, final
    // minimum windows, significant_max, significant_min, flags (bit 0:
    // identical; bits 1-3: the "Too many" stop as its StopReason value 1-4, 0 none).
    std::vector<int32_t> quartets;
    // Per final window, kWindowStride values: start, size, value, count,
    // eliminated (0/1); a quartet's maximum windows before its minimum ones.
    std::vector<int32_t> windows;
    // The family-wise p-value of each quartet and of each final window
    // (same order as above); NaN where there is none.
    std::vector<double> quartet_family;
    std::vector<double> window_family;
    // Per quartet, kScanStride values of its scan window: side (1 maximum,
    // -1 minimum, 0 none), start, size, sum, arrangements drawn, capped
    // (0/1); and its Z and penalised score (NaN where there is none),
    // written to the page with kScanScoreDecimals decimals.
    std::vector<int32_t> scan;
    std::vector<double> scan_scores;
};

inline constexpr int kQuartetStride = 5;
inline constexpr int kWindowStride = 5;
inline constexpr int kScanStride = 6;
inline constexpr int kScanScoreDecimals = 4;

// Reads the whole record from the current position of `jsonl` (`name` in
// messages) through the record reader, the quartet lines streamed into the
// compact columns; a torn last line is left out. Checks it against the
// trimmed records: pair count, N_minimum and every window's value under
// `matrix`. On failure returns false with a one-line message.
bool read_page_data(FILE *jsonl, const std::string &name, const SequenceSet &trimmed,
                    const SubstitutionMatrix &matrix, PageData &data, std::string &message);

// Writes the page. Returns false with a message when a write fails.
bool write_page(const PageData &data, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                std::string &message);

// The page of a finished run, for the run itself, `merge` and `html`: reads
// the record from its start (read_page_data), then opens the page through
// `open_page` and writes it (write_page). Nothing is opened when reading
// fails; a page that cannot be opened (null) fails with "it cannot be
// created", which stays the message when the page is written in full.
bool write_html_page(FILE *jsonl, const std::string &name, const SequenceSet &trimmed,
                     const SubstitutionMatrix &matrix, const std::function<FILE *()> &open_page,
                     std::string &message);

// Whether a page may be written at `path`: nothing there yet, an empty
// file, a page written earlier (an HTML document), or no regular file (a
// device or pipe, for a run). A report or any other file is never replaced
// by a page. False with why not.
bool page_replaceable(const std::string &path, std::string &why);

// Escapes a JSON text for a <script> element: '<', '>' and '&' become
// \u003c, \u003e, \u0026 and U+2028/U+2029 become \u2028/\u2029. Only valid
// where these can occur in strings alone, which holds for any JSON text.
std::string script_safe_json(const std::string &json);

}  // namespace kelto
