// JSON Lines and TSV records of a run, written with the JSON library so that
// every string is escaped and stays valid UTF-8.
#include "results/records.hpp"

#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "common/text.hpp"

namespace kelto {

namespace {

using Json = nlohmann::ordered_json;

std::string dump_line(const Json &value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json number_or_null(double value)
{
    return std::isfinite(value) ? Json(value) : Json(nullptr);
}

Json window_json(const FinalWindow &window)
{
    const WindowRecord &r = window.record;
    return Json{{"size", r.Win},       {"start", r.Start},     {"end", r.End},
                {"value", r.Value},    {"count", r.Count},     {"percent", number_or_null(r.Percent)},
                {"average", number_or_null(r.Average)}, {"err", number_or_null(r.Err)},
                {"eliminated", window.eliminated}};
}

Json windows_json(const std::vector<FinalWindow> &windows)
{
    Json list = Json::array();
    for (const FinalWindow &window : windows)
        list.push_back(window_json(window));
    return list;
}

void append_double(std::string &out, double value)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

void append_tsv_window(std::string &out, const QuartetResult &result, const std::string names[4], const char *kind,
                       const FinalWindow &window)
{
    const WindowRecord &r = window.record;
    appendf(out, "%lld\t%d\t%d", result.index, result.pair_a, result.pair_b);
    for (int i = 0; i < 4; ++i)
        out += "\t" + names[i];
    appendf(out, "\t%s\t%d\t%d\t%d\t%d\t%d\t", kind, r.Win, r.Start, r.End, r.Value, r.Count);
    append_double(out, r.Percent);
    out += '\t';
    append_double(out, r.Average);
    out += '\t';
    append_double(out, r.Err);
    out += window.eliminated ? "\ttrue\n" : "\tfalse\n";
}

}  // namespace

const char *const kTsvHeader = "quartet\tpair_a\tpair_b\tname_a1\tname_a2\tname_b1\tname_b2\tkind\tsize\tstart\tend\t"
                               "value\tcount\tpercent\taverage\terr\teliminated\n";

std::string record_name(const SequenceRecord &record)
{
    const std::string &name = record.name;
    return !name.empty() && name.back() == '\n' ? name.substr(0, name.size() - 1) : name;
}

std::string json_run_line(const RunRecord &run)
{
    Json pairs = Json::array();
    const std::vector<SequenceRecord> &records = run.trimmed->records;
    for (std::size_t p = 0; p + 1 < records.size(); p += 2)
        pairs.push_back(Json::array({record_name(records[p]), record_name(records[p + 1])}));
    Json line{{"type", "run"},
              {"format", kRecordFormat},
              {"program", "kelto"},
              {"version", run.version},
              {"seed", run.seed},
              {"seed_source", run.seed_from_option ? "option" : "clock"},
              {"T", run.randomisations},
              {"matrix", run.matrix},
              {"input", Json{{"path", run.input_path}, {"bytes", run.input.bytes}, {"xxh3_128", run.input.xxh3_128}}},
              {"pairs", pairs},
              {"record_lengths", run.record_lengths},
              {"gap_columns", run.gap_columns},
              {"n_minimum", run.n_minimum},
              {"quartets", run.quartets},
              {"threads", run.threads}};
    if (run.shard)
        line["shard"] = Json{{"index", run.shard_index},
                             {"count", run.shard_count},
                             {"first", run.shard_first},
                             {"end", run.shard_end},
                             {"report", run.shard_report},
                             {"tsv", run.shard_tsv.empty() ? Json(nullptr) : Json(run.shard_tsv)}};
    return dump_line(line);
}

void append_json_quartet_line(std::string &out, const QuartetResult &result, const SequenceRecord *const names[4],
                              uint64_t report_bytes, uint64_t tsv_bytes)
{
    Json line{{"type", "quartet"},
              {"quartet", result.index},
              {"pair_a", result.pair_a},
              {"pair_b", result.pair_b},
              {"names", Json::array({record_name(*names[0]), record_name(*names[1]), record_name(*names[2]),
                                     record_name(*names[3])})},
              {"identical", result.identical},
              {"mean", number_or_null(result.mean)},
              {"std", number_or_null(result.std_dev)},
              {"significant_max", result.significant_max},
              {"significant_min", result.significant_min},
              {"final_max", windows_json(result.final_max)},
              {"final_min", windows_json(result.final_min)},
              {"stop", result.stop == StopReason::kNone ? Json(nullptr) : Json(stop_name(result.stop))},
              {"report_bytes", report_bytes},
              {"tsv_bytes", tsv_bytes}};
    out += dump_line(line);
}

std::string json_end_line(StopReason reason, int exit_status, long long quartets_written, double wall_seconds)
{
    return dump_line(Json{{"type", "end"},
                          {"status", stop_name(reason)},
                          {"exit_status", exit_status},
                          {"quartets_written", quartets_written},
                          {"wall_seconds", std::round(wall_seconds * 1000.0) / 1000.0}});
}

std::string tsv_text(const std::string &name)
{
    // The JSON library replaces every byte that is not UTF-8 with U+FFFD;
    // reading its output back gives the cleaned string.
    std::string text = Json::parse(Json(name).dump(-1, ' ', false, Json::error_handler_t::replace)).get<std::string>();
    for (char &c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = ' ';
        else if (c == '"')
            c = '\'';
    }
    return text;
}

void append_tsv_rows(std::string &out, const QuartetResult &result, const SequenceRecord *const names[4])
{
    if (result.final_max.empty() && result.final_min.empty())
        return;
    const std::string clean[4] = {tsv_text(record_name(*names[0])), tsv_text(record_name(*names[1])),
                                  tsv_text(record_name(*names[2])), tsv_text(record_name(*names[3]))};
    for (const FinalWindow &window : result.final_max)
        append_tsv_window(out, result, clean, "max", window);
    for (const FinalWindow &window : result.final_min)
        append_tsv_window(out, result, clean, "min", window);
}

}  // namespace kelto
