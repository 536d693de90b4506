// The record's three kinds of line, parsed and checked against the format.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "input/alignment.hpp"
#include "input/pair_file.hpp"
#include "record/record.hpp"
#include "record/record_family.hpp"
#include "record/record_fields.hpp"
#include "windows/quartet_order.hpp"

namespace kelto {

namespace {

using Json = nlohmann::json;

}  // namespace

// How deep arrays and objects nest, outside strings: checked before parsing
// so that no line can make the parser recurse without bound.
bool nesting_within(const std::string &text, int limit)
{
    int depth = 0;
    bool in_string = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (in_string) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                in_string = false;
        } else if (c == '"') {
            in_string = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit)
                return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// Parses a line into a JSON object with a string "type"; false with why not.
bool parse_object(const std::string &text, Json &line, std::string &type, std::string &why)
{
    if (!nesting_within(text, kRecordMaxDepth)) {
        why = "nested more than " + std::to_string(kRecordMaxDepth) + " deep";
        return false;
    }
    line = Json::parse(text, nullptr, false);
    if (line.is_discarded() || !line.is_object() || !get_string(line, "type", type)) {
        why = "not a line of a record (a JSON object with a \"type\")";
        return false;
    }
    return true;
}


bool run_finished(const EndLine &end)
{
    return end.status == stop_name(StopReason::kNone) || limit_stop_from_name(end.status) != StopReason::kNone;
}

namespace {

// What formats 2 and 3 add to a window: its p-values and where it lies.
bool parse_window_place(const Json &window, const RunLine &run, const FamilyResult &family, FinalWindow &final)
{
    const auto p_value = window.find("p_value");
    return p_value != window.end() && p_value->is_number() &&
           p_value->get<double>() == window_p_value(final.record, run.randomisations) &&
           parse_window_family_fields(window, run, family, final) && get_place(window, final.columns, final.residues);
}

bool parse_windows(const Json &line, const char *key, const RunLine &run, const FamilyResult &family,
                   std::vector<FinalWindow> &windows, std::string &why)
{
    const auto it = line.find(key);
    if (it == line.end() || !it->is_array()) {
        why = missing("the quartet line's", key);
        return false;
    }
    const int n = run.n_minimum;
    for (const Json &window : *it) {
        FinalWindow final{};
        WindowRecord &r = final.record;
        const bool fits = window.is_object() && get_int(window, "size", 1, n, r.Win) &&
                          get_int(window, "start", 1, n, r.Start) && get_int(window, "end", 1, n, r.End) &&
                          get_int(window, "value", INT_MIN, INT_MAX, r.Value) &&
                          get_int(window, "count", 0, run.randomisations, r.Count) &&
                          get_number_or_null(window, "percent", r.Percent) &&
                          get_number_or_null(window, "average", r.Average) &&
                          get_number_or_null(window, "err", r.Err) && get_bool(window, "eliminated", final.eliminated) &&
                          (run.format == 1 || parse_window_place(window, run, family, final));
        if (!fits) {
            why = std::string("a window of \"") + key + "\" lacks a field or has one out of range";
            return false;
        }
        if (r.End - r.Start + 1 != r.Win) {
            why = std::string("a window of \"") + key + "\" has a size that does not match its start and end";
            return false;
        }
        r.Alive = 1;
        windows.push_back(final);
    }
    return true;
}

bool parse_names(const Json &line, QuartetLine &quartet)
{
    const auto it = line.find("names");
    if (it == line.end() || !it->is_array() || it->size() != 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        if (!(*it)[i].is_string())
            return false;
        quartet.names[i] = (*it)[i].get<std::string>();
    }
    return true;
}

}  // namespace

bool quartet_line_from(const Json &line, const std::string &type, const RunLine &run, QuartetLine &quartet,
                       std::string &why)
{
    if (type != "quartet") {
        why = "not a quartet line";
        return false;
    }
    quartet = QuartetLine{};
    QuartetResult &r = quartet.result;
    r.randomisations = run.randomisations;
    const int pairs = run.pairs();
    const auto stop = line.find("stop");
    const char *bad = !get_integer(line, "quartet", 0, run.quartets - 1, r.index)          ? "quartet"
                      : !get_int(line, "pair_a", 0, pairs - 1, r.pair_a)                  ? "pair_a"
                      : !get_int(line, "pair_b", 0, pairs - 1, r.pair_b)                  ? "pair_b"
                      : !parse_names(line, quartet)                                       ? "names"
                      : !get_bool(line, "identical", r.identical)                         ? "identical"
                      : !get_number_or_null(line, "mean", r.mean)                         ? "mean"
                      : !get_number_or_null(line, "std", r.std_dev)                       ? "std"
                      : !get_int(line, "significant_max", 0, INT_MAX, r.significant_max) ? "significant_max"
                      : !get_int(line, "significant_min", 0, INT_MAX, r.significant_min) ? "significant_min"
                      : stop == line.end() || !(stop->is_null() || stop->is_string())     ? "stop"
                      : !get_unsigned(line, "report_bytes", quartet.report_bytes)         ? "report_bytes"
                      : !get_unsigned(line, "tsv_bytes", quartet.tsv_bytes)               ? "tsv_bytes"
                                                                                          : nullptr;
    if (bad == nullptr && run.format > 1 && parse_family_fields(line, run, r.family, bad))
        bad = nullptr;
    if (bad != nullptr) {
        why = missing("the quartet line's", bad);
        return false;
    }
    int pair_a = 0, pair_b = 0;
    pairs_of_quartet(r.index, pairs, pair_a, pair_b);
    if (pair_a != r.pair_a || pair_b != r.pair_b) {
        why = "quartet " + std::to_string(r.index) + " names pairs " + std::to_string(r.pair_a) + " and " +
              std::to_string(r.pair_b) + ", not the pairs of its index";
        return false;
    }
    if (stop->is_string()) {
        r.stop = limit_stop_from_name(stop->get<std::string>());
        if (r.stop == StopReason::kNone) {
            why = "quartet " + std::to_string(r.index) + " has an unknown stop";
            return false;
        }
    }
    if (line.contains("report_xxh3") || line.contains("tsv_xxh3")) {
        std::string report, tsv;
        quartet.sums.present = get_string(line, "report_xxh3", report) && parse_hex64(report, quartet.sums.report) &&
                               get_string(line, "tsv_xxh3", tsv) && parse_hex64(tsv, quartet.sums.tsv);
        if (!quartet.sums.present) {
            why = missing("the quartet line's", "report_xxh3\" or \"tsv_xxh3");
            return false;
        }
    }
    return parse_windows(line, "final_max", run, r.family, r.final_max, why) &&
           parse_windows(line, "final_min", run, r.family, r.final_min, why);
}

bool end_line_from(const Json &line, const std::string &type, EndLine &end, std::string &why)
{
    end = EndLine{};
    const auto wall = line.find("wall_seconds");
    const char *bad = type != "end"                                                         ? "type"
                      : !get_string(line, "status", end.status) ||
                              (end.status != stop_name(StopReason::kNone) && !run_finished(end) &&
                               end.status != stop_name(StopReason::kMemory) &&
                               end.status != stop_name(StopReason::kWriteError) &&
                               end.status != stop_name(StopReason::kInterrupted))          ? "status"
                      : !get_int(line, "exit_status", 0, 255, end.exit_status)             ? "exit_status"
                      : !get_integer(line, "quartets_written", 0, LLONG_MAX, end.quartets_written) ? "quartets_written"
                      : wall == line.end() || !wall->is_number()                           ? "wall_seconds"
                                                                                           : nullptr;
    if (bad != nullptr) {
        why = missing("the end line's", bad);
        return false;
    }
    end.wall_seconds = wall->get<double>();
    return true;
}


bool parse_run_line(const std::string &text, RunLine &run, std::string &why)
{
    Json line;
    std::string type;
    return parse_object(text, line, type, why) && run_line_from(line, type, run, why);
}

bool parse_quartet_line(const std::string &text, const RunLine &run, QuartetLine &quartet, std::string &why)
{
    Json line;
    std::string type;
    return parse_object(text, line, type, why) && quartet_line_from(line, type, run, quartet, why);
}

bool parse_end_line(const std::string &text, EndLine &end, std::string &why)
{
    Json line;
    std::string type;
    return parse_object(text, line, type, why) && end_line_from(line, type, end, why);
}

}  // namespace kelto
