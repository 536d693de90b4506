// The run's HTML page: reading and checking the JSON Lines record, then
// writing the page template around the embedded data.
#include "page/page.hpp"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <type_traits>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "common/status.hpp"
#include "common/text.hpp"
#include "input/forms.hpp"
#include "input/residues.hpp"
#include "profile/profile.hpp"
#include "page/page_template.hpp"

namespace kelto {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Sum of C(k)12 over positions start..end (1-based, inclusive).
long long window_sum(const std::vector<int> &score_a, const std::vector<int> &score_b, int start, int end)
{
    long long sum = 0;
    for (int k = start - 1; k < end; ++k)
        sum += score_a[static_cast<std::size_t>(k)] - score_b[static_cast<std::size_t>(k)];
    return sum;
}

// Appends a quartet's windows to the columns after checking each one's
// value against the records; false with why not.
bool take_windows(const std::vector<FinalWindow> &windows, const std::vector<int> &score_a,
                  const std::vector<int> &score_b, PageData &data, std::string &why)
{
    for (const FinalWindow &window : windows) {
        const WindowRecord &r = window.record;
        if (window_sum(score_a, score_b, r.Start, r.End) != r.Value) {
            why = "a window's value does not match the records (another input or matrix?)";
            return false;
        }
        data.windows.insert(data.windows.end(), {r.Start, r.Win, r.Value, r.Count, window.eliminated ? 1 : 0});
        data.window_family.push_back(window.p_family);
    }
    return true;
}

bool take_quartet(const QuartetLine &line, const std::vector<std::vector<int>> &scores, PageData &data,
                  std::string &why)
{
    const QuartetResult &r = line.result;
    if (data.quartet_count == 0)
        data.first_quartet = r.index;
    const std::vector<int> &score_a = scores[static_cast<std::size_t>(r.pair_a)];
    const std::vector<int> &score_b = scores[static_cast<std::size_t>(r.pair_b)];
    if (!take_windows(r.final_max, score_a, score_b, data, why) ||
        !take_windows(r.final_min, score_a, score_b, data, why)) {
        why = "quartet " + std::to_string(r.index) + ": " + why;
        return false;
    }
    data.quartets.insert(data.quartets.end(),
                         {static_cast<int32_t>(r.final_max.size()), static_cast<int32_t>(r.final_min.size()),
                          r.significant_max, r.significant_min,
                          (r.identical ? 1 : 0) | (static_cast<int32_t>(r.stop) << 1)});
    data.quartet_family.push_back(r.family.p);
    const FamilyResult &family = r.family;
    const ScanWindow &w = family.window;
    if (family.tested && window_sum(score_a, score_b, w.start, w.end) != w.sum) {
        why = "quartet " + std::to_string(r.index) + ": its scan window's sum does not match the records";
        return false;
    }
    data.scan.insert(data.scan.end(), {family.tested ? w.side : 0, w.start, w.size, static_cast<int32_t>(w.sum),
                                       static_cast<int32_t>(family.arrangements), family.capped ? 1 : 0});
    data.scan_scores.insert(data.scan_scores.end(), {family.tested ? w.z : NAN, family.tested ? w.score : NAN});
    ++data.quartet_count;
    return true;
}

// The records must be the run's: as many pairs, as long after trimming.
bool fits_input(const RunLine &run, const SequenceSet &trimmed, std::string &why)
{
    if (run.pairs() != trimmed.pair_count() || trimmed.records.size() != run.names.size()) {
        why = "the record has " + std::to_string(run.pairs()) + " pairs, the input " +
              std::to_string(trimmed.pair_count());
        return false;
    }
    for (const SequenceRecord &record : trimmed.records)
        if (record.residues.size() != static_cast<std::size_t>(run.n_minimum)) {
            why = "the record's N_minimum " + std::to_string(run.n_minimum) + " is not the input's";
            return false;
        }
    return true;
}

// What the page shows of the run line. The seed and the input's size may
// exceed what a script number holds exactly: they go as text.
OrderedJson shown_run(const RunLine &run)
{
    OrderedJson shown;
    shown["program"] = "kelto";
    shown["version"] = run.version;
    shown["seed"] = std::to_string(run.seed);
    shown["seed_source"] = run.seed_from_option ? "option" : "clock";
    shown["T"] = run.randomisations;
    shown["family_randomisations"] = run.family_randomisations;
    shown["family_test"] = {{"statistic", run.family_test},
                            {"J_max", run.family_randomisations},
                            {"h", run.family_exceedances},
                            {"null", family_block_name(run.family_block)}};
    shown["matrix"] = run.matrix;
    shown["input"] = {{"path", run.input_path},
                      {"bytes", std::to_string(run.input.bytes)},
                      {"xxh3_128", run.input.xxh3_128}};
    shown["pairs"] = run.pairs();
    shown["gap_columns"] = run.gap_columns;
    shown["n_minimum"] = run.n_minimum;
    shown["quartets"] = run.quartets;
    shown["threads"] = run.threads;
    shown["input_form"] = run.input_form;
    shown["pairs_file"] = run.pairs_path.empty() ? OrderedJson(nullptr) : OrderedJson(run.pairs_path);
    shown["matrix_file"] = run.matrix_path.empty() ? OrderedJson(nullptr) : OrderedJson(run.matrix_path);
    OrderedJson warnings = OrderedJson::array();
    for (const InputWarning &warning : run.warnings)
        warnings.push_back(warning_text(warning));
    shown["warnings"] = warnings;
    if (run.sharded)
        shown["shard"] = {{"index", run.shard.index},
                          {"count", run.shard.count},
                          {"first", run.shard.first},
                          {"end", run.shard.end},
                          {"report", run.shard.report}};
    return shown;
}

// Per record, the residue numbers of its positions where they do not go
// up by one from the position before (always at position 0), as flat
// pairs of position and number: the page counts on from there.
OrderedJson residue_steps(const SequenceSet &trimmed)
{
    OrderedJson steps = OrderedJson::array();
    for (const std::vector<int> &numbers : trimmed.residue_numbers) {
        OrderedJson record = OrderedJson::array();
        for (std::size_t k = 0; k < numbers.size(); ++k)
            if (k == 0 || numbers[k] != numbers[k - 1] + 1) {
                record.push_back(k);
                record.push_back(numbers[k]);
            }
        steps.push_back(record);
    }
    return steps;
}

void append_number(std::string &out, int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

void append_number(std::string &out, double value)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// A number shown to a few decimals, written with `decimals` of them at
// most (trailing zeros dropped): shorter than its exact form, which a large
// page would spend megabytes on.
void append_rounded(std::string &out, double value, int decimals)
{
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char digits[352];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    std::string_view text(digits, static_cast<std::size_t>(result.ptr - digits));
    if (text.find('.') != std::string_view::npos) {
        text = text.substr(0, text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.remove_suffix(1);
    }
    if (text == "-0")
        text = "0";
    out += text;
}

// Writes a list of numbers as a JSON array through the sink (null for a
// number that is not finite), doubles exactly or, with `decimals` >= 0,
// rounded to that many decimals.
template <typename Number>
void write_array(TextSink &sink, const std::vector<Number> &values, int decimals = -1)
{
    std::string chunk = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            chunk += ',';
        if constexpr (!std::is_floating_point_v<Number>)
            append_number(chunk, static_cast<int64_t>(values[i]));
        else if (decimals >= 0)
            append_rounded(chunk, values[i], decimals);
        else
            append_number(chunk, values[i]);
        if (chunk.size() >= (1 << 16)) {
            sink_write(sink, chunk);
            chunk.clear();
        }
    }
    chunk += ']';
    sink_write(sink, chunk);
}

}  // namespace

bool page_replaceable(const std::string &path, std::string &why)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0)
        return true;
    const std::string doctype = "<!DOCTYPE html";
    std::string start(doctype.size(), '\0');
    FILE *file = std::fopen(path.c_str(), "rb");
    const bool page = file != nullptr && std::fread(start.data(), 1, start.size(), file) == start.size() &&
                      start == doctype;
    if (file != nullptr)
        std::fclose(file);
    if (!page)
        why = "the page " + path + " exists and is not an HTML page: it is not replaced";
    return page;
}

std::string script_safe_json(const std::string &json)
{
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '<') {
            out += "\\u003c";
        } else if (c == '>') {
            out += "\\u003e";
        } else if (c == '&') {
            out += "\\u0026";
        } else if (c == '\xe2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
                   (json[i + 2] == '\xa8' || json[i + 2] == '\xa9')) {
            out += json[i + 2] == '\xa8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

bool read_page_data(FILE *jsonl, const std::string &name, const SequenceSet &trimmed,
                    const SubstitutionMatrix &matrix, PageData &data, std::string &message)
{
    PageData fresh;
    std::swap(data, fresh);
    std::vector<std::vector<int>> scores;
    RecordVisitor visitor;
    visitor.run = [&](const RunLine &run, std::string &why) {
        if (!fits_input(run, trimmed, why))
            return false;
        scores = all_pair_scores(trimmed, matrix);
        return true;
    };
    visitor.quartet = [&](const QuartetLine &line, std::string &why) { return take_quartet(line, scores, data, why); };
    RecordSummary summary;
    if (!read_record(jsonl, name, summary, message, visitor))
        return false;
    data.run = summary.run;
    data.has_end = summary.has_end;
    data.end = summary.end;
    return true;
}

bool write_page(const PageData &data, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                std::string &message)
{
    std::string page_template;
    for (const char *const *piece = kPageTemplatePieces; *piece != nullptr; ++piece)
        page_template += *piece;
    const std::string count_marker = "@QUARTETS@", data_marker = "@DATA@";
    const std::size_t count_at = page_template.find(count_marker);
    const std::size_t data_at = page_template.find(data_marker);
    const std::size_t between = count_at + count_marker.size();

    OrderedJson head;
    head["format"] = 1;
    head["run"] = shown_run(data.run);
    head["end"] = data.has_end ? OrderedJson{{"status", data.end.status},
                                             {"exit_status", data.end.exit_status},
                                             {"quartets_written", data.end.quartets_written},
                                             {"wall_seconds", data.end.wall_seconds}}
                               : OrderedJson(nullptr);
    head["names"] = data.run.names;
    OrderedJson ids = OrderedJson::array(), descriptions = OrderedJson::array();
    for (const std::string &name : data.run.names) {
        ids.push_back(header_id(name));
        descriptions.push_back(header_description(name));
    }
    head["ids"] = ids;  // figure titles and lists name records by id
    head["descriptions"] = descriptions;
    OrderedJson records = OrderedJson::array();
    for (const SequenceRecord &record : trimmed.records)
        records.push_back(record.residues);
    head["records"] = records;
    head["letters"] = kResidueLetters;
    OrderedJson scores = OrderedJson::array();
    for (const auto &row : matrix)
        for (int value : row)
            scores.push_back(value);
    head["matrix"] = scores;
    head["columns"] = trimmed.columns;
    head["residue_steps"] = residue_steps(trimmed);
    head["first"] = data.first_quartet;
    head["count"] = data.quartet_count;
    std::string head_text = head.dump(-1, ' ', true, OrderedJson::error_handler_t::replace);
    head_text.pop_back();  // the closing brace: the columns follow

    TextSink sink{page, {}, false};
    sink_write(sink, page_template.substr(0, count_at));
    sink_write(sink, std::to_string(data.quartet_count));
    sink_write(sink, page_template.substr(between, data_at - between));
    sink_write(sink, script_safe_json(head_text));
    sink_write(sink, ",\"Q\":");
    write_array(sink, data.quartets);
    sink_write(sink, ",\"W\":");
    write_array(sink, data.windows);
    sink_write(sink, ",\"QF\":");
    write_array(sink, data.quartet_family);
    sink_write(sink, ",\"WF\":");
    write_array(sink, data.window_family);
    sink_write(sink, ",\"QS\":");
    write_array(sink, data.scan);
    sink_write(sink, ",\"QZ\":");
    write_array(sink, data.scan_scores, kScanScoreDecimals);
    sink_write(sink, "}");
    sink_write(sink, page_template.substr(data_at + data_marker.size()));
    if (!sink_flush(sink)) {
        message = "cannot write the page (disk full?)";
        return false;
    }
    return true;
}

bool write_html_page(FILE *jsonl, const std::string &name, const SequenceSet &trimmed,
                     const SubstitutionMatrix &matrix, const std::function<FILE *()> &open_page,
                     std::string &message)
{
    std::rewind(jsonl);
    PageData data;
    if (!read_page_data(jsonl, name, trimmed, matrix, data, message))
        return false;
    message = "it cannot be created";
    FILE *page = open_page();
    return page != nullptr && write_page(data, trimmed, matrix, page, message);
}

}  // namespace kelto
