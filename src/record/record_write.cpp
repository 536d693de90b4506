// Writers of the record's lines, built with the JSON library so that every
// string is escaped and stays valid UTF-8.
#include <cmath>

#include <nlohmann/json.hpp>

#include "input/forms.hpp"
#include "record/record.hpp"
#include "record/record_family.hpp"

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

// The scan test's settings; a record merged from parts of earlier versions
// names their test: {"statistic": "min-P", "J": J} or {"statistic": "none"}.
Json family_test_json(const RunLine &run)
{
    if (run.family_test == "min-P")
        return Json{{"statistic", "min-P"}, {"J", run.family_randomisations}};
    if (run.family_test != "scan")
        return Json{{"statistic", "none"}};
    return Json{{"statistic", "scan"},
                {"penalty", kScanPenaltyText},
                {"J_max", run.family_randomisations},
                {"h", run.family_exceedances},
                {"null", family_block_name(run.family_block)}};
}

Json windows_json(const std::vector<FinalWindow> &windows, const QuartetResult &result)
{
    Json list = Json::array();
    for (const FinalWindow &window : windows) {
        const WindowRecord &r = window.record;
        Json residues = Json::array();
        for (const auto &span : window.residues)
            residues.push_back(Json::array({span[0], span[1]}));
        Json item{{"size", r.Win},
                            {"start", r.Start},
                            {"end", r.End},
                            {"value", r.Value},
                            {"count", r.Count},
                            {"percent", number_or_null(data_percent(r, result.randomisations))},
                            {"average", number_or_null(r.Average)},
                            {"err", number_or_null(r.Err)},
                            {"eliminated", window.eliminated},
                            {"p_value", window_p_value(r, result.randomisations)}};
        add_window_family_fields(item, window);
        item["columns"] = Json::array({window.columns[0], window.columns[1]});
        item["residues"] = residues;
        list.push_back(item);
    }
    return list;
}

}  // namespace

std::string hex_bytes(const std::string &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

bool bytes_from_hex(const std::string &hex, std::string &bytes)
{
    if (hex.size() % 2 != 0)
        return false;
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        int value = 0;
        for (char c : {hex[i], hex[i + 1]}) {
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0)
                return false;
            value = value * 16 + digit;
        }
        bytes += static_cast<char>(value);
    }
    return true;
}

std::string family_block_name(int block)
{
    return block <= 1 ? std::string("positions") : "blocks:" + std::to_string(block);
}

int family_block_from_name(const std::string &name)
{
    if (name == "positions")
        return 1;
    if (name.compare(0, 7, "blocks:") != 0 || name.size() < 8 || name.size() > 14 || name[7] == '0')
        return 0;
    long long block = 0;
    for (std::size_t i = 7; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        block = block * 10 + (name[i] - '0');
    }
    return block >= 2 && block <= 1000000 ? static_cast<int>(block) : 0;
}

std::string record_name(const std::string &header)
{
    return !header.empty() && header.back() == '\n' ? header.substr(0, header.size() - 1) : header;
}

std::string run_line_text(const RunLine &run)
{
    Json pairs = Json::array();
    for (std::size_t p = 0; p + 1 < run.names.size(); p += 2)
        pairs.push_back(Json::array({run.names[p], run.names[p + 1]}));
    // Each record's id and description, from its header line, and its accession.
    Json ids = Json::array(), descriptions = Json::array(), accessions = Json::array();
    for (std::size_t r = 0; r < run.names.size(); ++r) {
        ids.push_back(header_id(run.names[r]));
        descriptions.push_back(header_description(run.names[r]));
        const bool accession = r < run.accessions.size() && !run.accessions[r].empty();
        accessions.push_back(accession ? Json(run.accessions[r]) : Json(nullptr));
    }
    Json warnings = Json::array();
    for (const InputWarning &warning : run.warnings)
        warnings.push_back(Json{{"kind", warning.kind},
                                {"record", warning.record < 0 ? Json(nullptr) : Json(warning.record)},
                                {"detail", warning.detail}});
    Json line{{"type", "run"},
              {"format", kRecordFormat},
              {"program", "kelto"},
              {"version", run.version},
              {"seed", run.seed},
              {"seed_source", run.seed_from_option ? "option" : "clock"},
              {"T", run.randomisations},
              {"family_test", family_test_json(run)},
              {"matrix", run.matrix},
              {"matrix_values", run.matrix_values},
              {"matrix_file", run.matrix_path.empty() ? Json(nullptr)
                                                      : Json{{"path", run.matrix_path}, {"xxh3_64", hex64(run.matrix_xxh3)}}},
              {"input", Json{{"path", run.input_path},
                             {"bytes", run.input.bytes},
                             {"xxh3_128", run.input.xxh3_128},
                             {"form", run.input_form}}},
              {"pairs_file", run.pairs_path.empty() ? Json(nullptr)
                                                    : Json{{"path", run.pairs_path},
                                                           {"xxh3_64", hex64(run.pairs_xxh3)},
                                                           {"records", run.record_places}}},
              {"pairs", pairs},
              {"ids", ids},
              {"descriptions", descriptions},
              {"accessions", accessions},
              {"record_lengths", run.record_lengths},
              {"gap_columns", run.gap_columns},
              {"n_minimum", run.n_minimum},
              {"quartets", run.quartets},
              {"threads", run.threads},
              {"warnings", warnings}};
    if (run.sharded)
        line["shard"] = Json{{"index", run.shard.index},
                             {"count", run.shard.count},
                             {"first", run.shard.first},
                             {"end", run.shard.end},
                             {"report", run.shard.report},
                             {"tsv", run.shard.tsv.empty() ? Json(nullptr) : Json(run.shard.tsv)},
                             {"report_hex", hex_bytes(run.shard.report)},
                             {"tsv_hex", run.shard.tsv.empty() ? Json(nullptr) : Json(hex_bytes(run.shard.tsv))}};
    if (run.sharded && !run.shard.report_from_record.empty())
        line["shard"]["from_record_hex"] =
            Json{{"report", hex_bytes(run.shard.report_from_record)},
                 {"tsv", run.shard.tsv_from_record.empty() ? Json(nullptr) : Json(hex_bytes(run.shard.tsv_from_record))}};
    return dump_line(line);
}

void append_quartet_line(std::string &out, const QuartetResult &result, const std::array<std::string, 4> &names,
                         uint64_t report_bytes, uint64_t tsv_bytes, const QuartetChecksums &sums)
{
    Json line{{"type", "quartet"},
              {"quartet", result.index},
              {"pair_a", result.pair_a},
              {"pair_b", result.pair_b},
              {"names", Json::array({names[0], names[1], names[2], names[3]})},
              {"identical", result.identical},
              {"mean", number_or_null(result.mean)},
              {"std", number_or_null(result.std_dev)},
              {"significant_max", result.significant_max},
              {"significant_min", result.significant_min}};
    add_family_fields(line, result.family);
    line["final_max"] = windows_json(result.final_max, result);
    line["final_min"] = windows_json(result.final_min, result);
    line["stop"] = result.stop == StopReason::kNone ? Json(nullptr) : Json(stop_name(result.stop));
    line["report_bytes"] = report_bytes;
    line["tsv_bytes"] = tsv_bytes;
    if (sums.present) {
        line["report_xxh3"] = hex64(sums.report);
        line["tsv_xxh3"] = hex64(sums.tsv);
    }
    out += dump_line(line);
}

std::string end_line_text(const EndLine &end)
{
    return dump_line(Json{{"type", "end"},
                          {"status", end.status},
                          {"exit_status", end.exit_status},
                          {"quartets_written", end.quartets_written},
                          {"wall_seconds", end.wall_seconds}});
}

std::string end_line_text(StopReason reason, int exit_status, long long quartets_written, double wall_seconds)
{
    return end_line_text(
        EndLine{stop_name(reason), exit_status, quartets_written, std::round(wall_seconds * 1000.0) / 1000.0});
}

}  // namespace kelto
