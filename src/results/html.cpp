// The run's HTML page: reading and checking the JSON Lines record, then
// writing the page template around the embedded data.
#include "results/html.hpp"

#include <charconv>
#include <climits>
#include <cstdlib>
#include <memory>

#include "common/status.hpp"
#include "common/text.hpp"
#include "input/residues.hpp"
#include "profile/profile.hpp"
#include "results/page_template.hpp"

namespace kelto {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// Checked field access: each returns false when the key is missing or has
// another type or range, so a malformed line is reported, never thrown.
bool get_integer(const Json &object, const char *key, int64_t low, int64_t high, int64_t &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return false;
    if (it->is_number_unsigned()) {
        const uint64_t value = it->get<uint64_t>();
        if (value > static_cast<uint64_t>(INT64_MAX))
            return false;
        out = static_cast<int64_t>(value);
    } else {
        out = it->get<int64_t>();
    }
    return out >= low && out <= high;
}

bool get_int(const Json &object, const char *key, int low, int high, int &out)
{
    int64_t value = 0;
    if (!get_integer(object, key, low, high, value))
        return false;
    out = static_cast<int>(value);
    return true;
}

bool get_string(const Json &object, const char *key, std::string &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
}

bool get_bool(const Json &object, const char *key, bool &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return false;
    out = it->get<bool>();
    return true;
}

bool get_unsigned(const Json &object, const char *key, uint64_t &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer() || (!it->is_number_unsigned() && it->get<int64_t>() < 0))
        return false;
    out = it->get<uint64_t>();
    return true;
}

std::string line_label(long line) { return "line " + std::to_string(line) + ": "; }

// One line of a stream with POSIX getline: `ended` says whether it ended
// with a line feed (a last line without one may be torn).
struct LineReader {
    FILE *file;
    char *buffer = nullptr;
    size_t capacity = 0;
    long number = 0;
    ~LineReader() { std::free(buffer); }
};

bool next_line(LineReader &reader, std::string &line, bool &ended)
{
    const ssize_t length = getline(&reader.buffer, &reader.capacity, reader.file);
    if (length < 0)
        return false;
    ++reader.number;
    ended = length > 0 && reader.buffer[length - 1] == '\n';
    line.assign(reader.buffer, static_cast<std::size_t>(ended ? length - 1 : length));
    return true;
}

bool parse_pairs(const Json &run_line, RunLine &run)
{
    const auto it = run_line.find("pairs");
    if (it == run_line.end() || !it->is_array() || it->size() < kMinPairs || it->size() > kMaxPairs)
        return false;
    for (const Json &pair : *it) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string())
            return false;
        run.names.push_back(pair[0].get<std::string>());
        run.names.push_back(pair[1].get<std::string>());
    }
    run.pairs = static_cast<int>(it->size());
    return true;
}

// Copies the shard description's numbers and report names, if any.
bool parse_shard(const Json &run_line, OrderedJson &shown)
{
    const auto it = run_line.find("shard");
    if (it == run_line.end() || it->is_null())
        return true;
    int64_t index = 0, count = 0, first = 0, end = 0;
    if (!it->is_object() || !get_integer(*it, "index", 1, INT64_MAX, index) ||
        !get_integer(*it, "count", 1, INT64_MAX, count) || !get_integer(*it, "first", 0, INT64_MAX, first) ||
        !get_integer(*it, "end", 0, INT64_MAX, end))
        return false;
    OrderedJson shard = {{"index", index}, {"count", count}, {"first", first}, {"end", end}};
    std::string report;
    if (get_string(*it, "report", report))
        shard["report"] = report;
    shown["shard"] = shard;
    return true;
}

// Pair of quartet `index` in the order (0,1), (0,2), ..., (1,2), ...
bool pair_of_quartet(int64_t index, int pairs, int &a, int &b)
{
    for (a = 0; a < pairs - 1; ++a) {
        const int64_t row = pairs - 1 - a;
        if (index < row) {
            b = a + 1 + static_cast<int>(index);
            return true;
        }
        index -= row;
    }
    return false;
}

// Sum of C(k)12 over positions start..end (1-based, inclusive).
long long window_sum(const std::vector<int> &score_a, const std::vector<int> &score_b, int start, int end)
{
    long long sum = 0;
    for (int k = start - 1; k < end; ++k)
        sum += score_a[static_cast<std::size_t>(k)] - score_b[static_cast<std::size_t>(k)];
    return sum;
}

struct QuartetContext {
    const RunLine &run;
    const std::vector<std::vector<int>> &pair_scores;  // per pair
    int64_t expected_index = -1;  // -1 before the first quartet line
    int pair_a = 0, pair_b = 0;
};

bool parse_windows(const Json &line, const char *key, const QuartetContext &context, PageData &data, int &count,
                   std::string &message)
{
    const auto it = line.find(key);
    if (it == line.end() || !it->is_array()) {
        message = std::string("\"") + key + "\" is missing or not a list";
        return false;
    }
    const std::vector<int> &score_a = context.pair_scores[static_cast<std::size_t>(context.pair_a)];
    const std::vector<int> &score_b = context.pair_scores[static_cast<std::size_t>(context.pair_b)];
    const int n = context.run.n_minimum;
    for (const Json &window : *it) {
        int size = 0, start = 0, end = 0, value = 0, hits = 0;
        bool eliminated = false;
        if (!window.is_object() || !get_int(window, "size", 1, n, size) || !get_int(window, "start", 1, n, start) ||
            !get_int(window, "end", 1, n, end) || !get_int(window, "value", INT_MIN, INT_MAX, value) ||
            !get_int(window, "count", 0, context.run.randomisations, hits) ||
            !get_bool(window, "eliminated", eliminated)) {
            message = std::string("a window of \"") + key + "\" lacks a field or has one out of range";
            return false;
        }
        if (end - start + 1 != size) {
            message = "a window's size does not match its start and end";
            return false;
        }
        if (window_sum(score_a, score_b, start, end) != value) {
            message = "a window's value does not match the records (another input or matrix?)";
            return false;
        }
        data.windows.insert(data.windows.end(), {start, size, value, hits, eliminated ? 1 : 0});
        ++count;
    }
    return true;
}

bool parse_quartet(const Json &line, QuartetContext &context, PageData &data, bool &stopped, std::string &message)
{
    int64_t index = 0;
    const int64_t total = static_cast<int64_t>(context.run.pairs) * (context.run.pairs - 1) / 2;
    if (!get_integer(line, "quartet", 0, total - 1, index)) {
        message = "the quartet index is missing or out of range";
        return false;
    }
    if (context.expected_index < 0) {
        data.first_quartet = index;
        pair_of_quartet(index, context.run.pairs, context.pair_a, context.pair_b);
    } else if (index != context.expected_index) {
        message = "quartet " + std::to_string(index) + " where quartet " + std::to_string(context.expected_index) +
                  " was expected";
        return false;
    } else if (++context.pair_b == context.run.pairs) {
        ++context.pair_a;
        context.pair_b = context.pair_a + 1;
    }
    context.expected_index = index + 1;

    int pair_a = 0, pair_b = 0, significant_max = 0, significant_min = 0;
    bool identical = false;
    if (!get_int(line, "pair_a", 0, INT_MAX, pair_a) || !get_int(line, "pair_b", 0, INT_MAX, pair_b) ||
        !get_bool(line, "identical", identical) || !get_int(line, "significant_max", 0, INT_MAX, significant_max) ||
        !get_int(line, "significant_min", 0, INT_MAX, significant_min)) {
        message = "quartet " + std::to_string(index) + " lacks a field or has one out of range";
        return false;
    }
    if (pair_a != context.pair_a || pair_b != context.pair_b) {
        message = "quartet " + std::to_string(index) + " names pairs " + std::to_string(pair_a) + " and " +
                  std::to_string(pair_b) + ", not the pairs of its index";
        return false;
    }

    int stop = 0;
    const auto stop_it = line.find("stop");
    if (stop_it != line.end() && !stop_it->is_null()) {
        if (stop_it->is_string())
            stop = static_cast<int>(limit_stop_from_name(stop_it->get<std::string>()));
        if (stop == 0) {
            message = "quartet " + std::to_string(index) + " has an unknown stop";
            return false;
        }
    }

    int maximum_count = 0, minimum_count = 0;
    if (!parse_windows(line, "final_max", context, data, maximum_count, message) ||
        !parse_windows(line, "final_min", context, data, minimum_count, message)) {
        message = "quartet " + std::to_string(index) + ": " + message;
        return false;
    }
    data.quartets.insert(data.quartets.end(), {maximum_count, minimum_count, significant_max, significant_min,
                                               (identical ? 1 : 0) | (stop << 1)});
    ++data.quartet_count;
    stopped = stop != 0;
    return true;
}

bool parse_end(const Json &line, PageData &data)
{
    std::string status;
    int exit_code = 0;
    int64_t written = 0;
    const auto wall = line.find("wall_seconds");
    if (!get_string(line, "status", status) || !get_int(line, "exit_status", 0, 255, exit_code) ||
        !get_integer(line, "quartets_written", 0, INT64_MAX, written) || wall == line.end() || !wall->is_number())
        return false;
    data.end = {{"status", status},
                {"exit_status", exit_code},
                {"quartets_written", written},
                {"wall_seconds", wall->get<double>()}};
    return true;
}

void append_number(std::string &out, int64_t value)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// Writes a list of integers as a JSON array through the sink.
void write_int_array(TextSink &sink, const std::vector<int32_t> &values)
{
    std::string chunk = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0)
            chunk += ',';
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

bool parse_run_line(const std::string &line, RunLine &run, std::string &message)
{
    const Json j = Json::parse(line, nullptr, false);
    std::string type;
    if (j.is_discarded() || !j.is_object() || !get_string(j, "type", type) || type != "run") {
        message = "the first line is not a run line";
        return false;
    }
    int format = 0;
    if (!get_int(j, "format", 0, INT_MAX, format) || format != 1) {
        message = "the record is not in format 1";
        return false;
    }
    run = RunLine{};
    OrderedJson &shown = run.shown;
    std::string program, version, seed_source;
    uint64_t seed = 0;
    int gap_columns = 0;
    int64_t quartets = 0;
    const auto input = j.find("input");
    if (!get_string(j, "program", program) || !get_string(j, "version", version) || !get_unsigned(j, "seed", seed) ||
        !get_string(j, "seed_source", seed_source) || !get_int(j, "T", 1, INT_MAX, run.randomisations) ||
        !get_string(j, "matrix", run.matrix) || input == j.end() || !input->is_object() ||
        !get_string(*input, "path", run.input_path) || !get_unsigned(*input, "bytes", run.input_bytes) ||
        !get_string(*input, "xxh3_128", run.input_xxh3_128) || !parse_pairs(j, run) ||
        !get_int(j, "n_minimum", 1, kMaxResidues, run.n_minimum) ||
        !get_int(j, "gap_columns", 0, kMaxResidues, gap_columns) ||
        !get_integer(j, "quartets", 0, INT64_MAX, quartets)) {
        message = "the run line lacks a field or has one out of range";
        return false;
    }
    // The seed may exceed what a script number holds exactly: it goes as text.
    shown["program"] = program;
    shown["version"] = version;
    shown["seed"] = std::to_string(seed);
    shown["seed_source"] = seed_source;
    shown["T"] = run.randomisations;
    shown["matrix"] = run.matrix;
    shown["input"] = {{"path", run.input_path},
                      {"bytes", std::to_string(run.input_bytes)},
                      {"xxh3_128", run.input_xxh3_128}};
    shown["pairs"] = run.pairs;
    shown["gap_columns"] = gap_columns;
    shown["n_minimum"] = run.n_minimum;
    shown["quartets"] = quartets;
    int threads = 0;
    if (get_int(j, "threads", 1, INT_MAX, threads))
        shown["threads"] = threads;
    if (!parse_shard(j, shown)) {
        message = "the run line's shard is malformed";
        return false;
    }
    return true;
}

// The record's first line; false with a message when there is none.
static bool first_line(FILE *jsonl, LineReader &reader, std::string &line, std::string &message)
{
    bool ended = false;
    if (next_line(reader, line, ended))
        return true;
    message = std::ferror(jsonl) ? "cannot read the record" : "the record is empty";
    return false;
}

bool read_run_line(FILE *jsonl, RunLine &run, std::string &message)
{
    LineReader reader{jsonl};
    std::string line;
    return first_line(jsonl, reader, line, message) && parse_run_line(line, run, message);
}

bool read_page_data(FILE *jsonl, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, PageData &data,
                    std::string &message)
{
    data = PageData{};
    LineReader reader{jsonl};
    std::string line;
    bool ended = false;
    if (!first_line(jsonl, reader, line, message))
        return false;
    if (!parse_run_line(line, data.run, message)) {
        message = line_label(1) + message;
        return false;
    }
    const RunLine &run = data.run;
    if (run.pairs != trimmed.pair_count() || trimmed.records.size() != static_cast<std::size_t>(2 * run.pairs)) {
        message = "the record has " + std::to_string(run.pairs) + " pairs, the input " +
                  std::to_string(trimmed.pair_count());
        return false;
    }
    for (const SequenceRecord &record : trimmed.records)
        if (record.residues.size() != static_cast<std::size_t>(run.n_minimum)) {
            message = "the record's N_minimum " + std::to_string(run.n_minimum) + " is not the input's";
            return false;
        }

    std::vector<std::vector<int>> scores;
    scores.reserve(static_cast<std::size_t>(run.pairs));
    for (int p = 0; p < run.pairs; ++p)
        scores.push_back(pair_scores(trimmed.records[static_cast<std::size_t>(2 * p)].residues,
                                     trimmed.records[static_cast<std::size_t>(2 * p + 1)].residues, matrix));

    QuartetContext context{run, scores};
    bool stopped = false;
    bool have_end = false;
    while (next_line(reader, line, ended)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        const Json j = Json::parse(line, nullptr, false);
        if (j.is_discarded() && !ended)
            break;  // a torn last line (no line feed, so at the end): the writer was interrupted
        std::string type;
        if (j.is_discarded() || !j.is_object() || !get_string(j, "type", type)) {
            message = line_label(reader.number) + "not a JSON object with a type";
            return false;
        }
        if (have_end) {
            message = line_label(reader.number) + "a line after the end line";
            return false;
        }
        if (type == "quartet") {
            if (stopped) {
                message = line_label(reader.number) + "a quartet after the quartet that stopped the run";
                return false;
            }
            if (!parse_quartet(j, context, data, stopped, message)) {
                message = line_label(reader.number) + message;
                return false;
            }
        } else if (type == "end") {
            if (!parse_end(j, data)) {
                message = line_label(reader.number) + "the end line lacks a field or has one out of range";
                return false;
            }
            have_end = true;
        } else {
            message = line_label(reader.number) + "unknown line type \"" + type + "\"";
            return false;
        }
    }
    if (std::ferror(jsonl)) {
        message = "cannot read the record";
        return false;
    }
    return true;
}

bool write_page(const PageData &data, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                std::string &message)
{
    const std::string page_template = kPageTemplate;
    const std::string count_marker = "@QUARTETS@", data_marker = "@DATA@";
    const std::size_t count_at = page_template.find(count_marker);
    const std::size_t data_at = page_template.find(data_marker);
    const std::size_t between = count_at + count_marker.size();

    OrderedJson head;
    head["format"] = 1;
    head["run"] = data.run.shown;
    head["end"] = data.end;
    head["names"] = data.run.names;
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
    write_int_array(sink, data.quartets);
    sink_write(sink, ",\"W\":");
    write_int_array(sink, data.windows);
    sink_write(sink, "}");
    sink_write(sink, page_template.substr(data_at + data_marker.size()));
    if (!sink_flush(sink)) {
        message = "cannot write the page (disk full?)";
        return false;
    }
    return true;
}

bool write_html_page(FILE *jsonl, const SequenceSet &trimmed, const SubstitutionMatrix &matrix, FILE *page,
                     std::string &message)
{
    PageData data;
    return read_page_data(jsonl, trimmed, matrix, data, message) &&
           write_page(data, trimmed, matrix, page, message);
}

}  // namespace kelto
