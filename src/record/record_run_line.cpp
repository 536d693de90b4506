// The run line of a record, parsed and checked against the format.
#include <algorithm>
#include <climits>

#include <nlohmann/json.hpp>

#include "input/alignment.hpp"
#include "input/matrix_file.hpp"
#include "record/record.hpp"
#include "record/record_fields.hpp"

namespace kelto {

namespace {

using Json = nlohmann::json;

bool parse_names(const Json &line, RunLine &run, std::string &why)
{
    const auto it = line.find("pairs");
    if (it == line.end() || !it->is_array() || it->size() < kMinPairs || it->size() > kMaxPairs) {
        why = missing("the run line's", "pairs");
        return false;
    }
    for (const Json &pair : *it) {
        if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string()) {
            why = "the run line's \"pairs\" holds something other than pairs of names";
            return false;
        }
        run.names.push_back(pair[0].get<std::string>());
        run.names.push_back(pair[1].get<std::string>());
    }
    const auto lengths = line.find("record_lengths");
    if (lengths == line.end() || !lengths->is_array() || lengths->size() != run.names.size()) {
        why = missing("the run line's", "record_lengths");
        return false;
    }
    for (const Json &length : *lengths) {
        if (!length.is_number_integer() || length.get<long long>() < 0 || length.get<long long>() > kMaxAlignmentColumns) {
            why = missing("the run line's", "record_lengths");
            return false;
        }
        run.record_lengths.push_back(length.get<int>());
    }
    return true;
}

bool parse_shard(const Json &line, RunLine &run, std::string &why)
{
    const auto it = line.find("shard");
    if (it == line.end())
        return true;
    ShardBlock &shard = run.shard;
    const auto tsv = it->is_object() ? it->find("tsv") : it->end();
    if (!it->is_object() || !get_int(*it, "count", 1, 1000000, shard.count) ||
        !get_int(*it, "index", 1, shard.count, shard.index) || !get_int(*it, "first", 0, run.quartets, shard.first) ||
        !get_int(*it, "end", shard.first, run.quartets, shard.end) || !get_string(*it, "report", shard.report) ||
        tsv == it->end() || !(tsv->is_null() || tsv->is_string())) {
        why = "the run line's \"shard\" is not a valid block of the run";
        return false;
    }
    shard.tsv = tsv->is_string() ? tsv->get<std::string>() : std::string();
    // The exact bytes of the paths, where the record has them (the text
    // fields hold U+FFFD for bytes that are not UTF-8).
    const auto report_hex = it->find("report_hex");
    const auto tsv_hex = it->find("tsv_hex");
    if ((report_hex != it->end() && (!report_hex->is_string() ||
                                     !bytes_from_hex(report_hex->get<std::string>(), shard.report))) ||
        (tsv_hex != it->end() && !tsv_hex->is_null() &&
         (!tsv_hex->is_string() || !bytes_from_hex(tsv_hex->get<std::string>(), shard.tsv)))) {
        why = "the run line's \"shard\" has a path in hex that is not hex";
        return false;
    }
    const auto from_record = it->find("from_record_hex");
    if (from_record != it->end()) {
        const auto report = from_record->is_object() ? from_record->find("report") : from_record->end();
        const auto tsv_from = from_record->is_object() ? from_record->find("tsv") : from_record->end();
        if (report == from_record->end() || !report->is_string() ||
            !bytes_from_hex(report->get<std::string>(), shard.report_from_record) || shard.report_from_record.empty() ||
            tsv_from == from_record->end() ||
            !(tsv_from->is_null() ||
              (tsv_from->is_string() && bytes_from_hex(tsv_from->get<std::string>(), shard.tsv_from_record))) ||
            shard.tsv_from_record.empty() != shard.tsv.empty()) {
            why = "the run line's \"shard\" has a \"from_record_hex\" that is not its files' paths";
            return false;
        }
    }
    run.sharded = true;
    return true;
}

// A format 1 record names one of the built-in matrices and pairs its
// records in file order.
bool format_one_defaults(RunLine &run, std::string &why)
{
    const int builtin = builtin_matrix_index(run.matrix);
    if (builtin < 0) {
        why = "the record names no known matrix";
        return false;
    }
    run.matrix_values = matrix_values(builtin_matrix(builtin).scores);
    return true;
}

// An optional object with a path and an XXH3-64 checksum.
bool parse_checked_file(const Json &line, const char *key, std::string &path, uint64_t &xxh3, const Json *&object)
{
    const auto it = line.find(key);
    object = nullptr;
    if (it == line.end())
        return false;
    if (it->is_null())
        return true;
    std::string hex;
    object = &*it;
    return it->is_object() && get_string(*it, "path", path) && !path.empty() && get_string(*it, "xxh3_64", hex) &&
           parse_hex64(hex, xxh3);
}

bool parse_warnings(const Json &line, RunLine &run)
{
    const auto it = line.find("warnings");
    if (it == line.end() || !it->is_array())
        return false;
    for (const Json &item : *it) {
        InputWarning warning;
        const auto record = item.is_object() ? item.find("record") : item.end();
        if (!item.is_object() || !get_string(item, "kind", warning.kind) ||
            !get_string(item, "detail", warning.detail) || record == item.end() ||
            !(record->is_null() || (record->is_number_integer() && record->get<long long>() >= 0 &&
                                    record->get<long long>() < static_cast<long long>(run.names.size()))))
            return false;
        warning.record = record->is_null() ? -1 : record->get<int>();
        run.warnings.push_back(warning);
    }
    return true;
}

// Format 3's "family_test" object, or format 2's J of the min-P test.
bool parse_family_test(const Json &line, RunLine &run)
{
    if (run.format == 2) {
        int j = 0;
        if (!get_int(line, "family_randomisations", 0, INT_MAX, j))
            return false;
        run.family_test = j > 0 ? "min-P" : "none";
        run.family_randomisations = j;
        return true;
    }
    const auto it = line.find("family_test");
    std::string statistic, penalty, null;
    if (it == line.end() || !it->is_object() || !get_string(*it, "statistic", statistic))
        return false;
    run.family_test = statistic;
    if (statistic == "none")
        return true;
    if (statistic == "min-P")
        return get_integer(*it, "J", 1, INT_MAX, run.family_randomisations);
    if (statistic != "scan" || !get_string(*it, "penalty", penalty) || penalty != kScanPenaltyText ||
        !get_integer(*it, "J_max", 0, INT_MAX, run.family_randomisations) ||
        !get_int(*it, "h", 1, 1000000, run.family_exceedances) || !get_string(*it, "null", null))
        return false;
    run.family_test = "scan";
    run.family_block = family_block_from_name(null);
    return run.family_block > 0;
}

// The records' accessions, where recorded: a string or null per record. A
// list of another length than the pairs' is left for the check of the
// records against the input to refuse.
bool parse_accessions(const Json &line, RunLine &run)
{
    run.accessions.clear();
    const auto accessions = line.find("accessions");
    if (accessions == line.end())
        return true;
    if (!accessions->is_array())
        return false;
    for (const Json &accession : *accessions) {
        if (!accession.is_null() && !accession.is_string())
            return false;
        run.accessions.push_back(accession.is_string() ? accession.get<std::string>() : std::string());
    }
    return true;
}

// The fields format 2 added: the input's form, the matrix's values and
// file, the chosen pairs, the warnings.
bool parse_extras(const Json &line, RunLine &run, std::string &why)
{
    const auto input = line.find("input");
    const auto values = line.find("matrix_values");
    const Json *pairs = nullptr, *matrix_file = nullptr;
    InputForm form = InputForm::kPairFile;
    const char *bad =
        !get_string(*input, "form", run.input_form) ||
                !input_form_from_name(run.input_form, form) || run.input_form != input_form_name(form) ? "input"
        : values == line.end() || !values->is_array() || values->size() != 400 ||
                !std::all_of(values->begin(), values->end(), [](const Json &v) { return v.is_number_integer(); })
                                                                                          ? "matrix_values"
        : !parse_checked_file(line, "matrix_file", run.matrix_path, run.matrix_xxh3, matrix_file) ? "matrix_file"
        : !parse_checked_file(line, "pairs_file", run.pairs_path, run.pairs_xxh3, pairs)  ? "pairs_file"
        : !parse_warnings(line, run)                                                      ? "warnings"
        : !parse_family_test(line, run)                                                   ? "family_test"
                                                                                          : nullptr;
    SubstitutionMatrix scores{};
    if (bad == nullptr && !matrix_from_values(values->get<std::vector<int>>(), scores))
        bad = "matrix_values";
    if (bad == nullptr && pairs != nullptr) {
        const auto places = pairs->find("records");
        if (places == pairs->end() || !places->is_array() || places->size() != run.names.size() ||
            !std::all_of(places->begin(), places->end(), [](const Json &v) {
                return v.is_number_integer() && v.get<long long>() >= 0 && v.get<long long>() < kMaxAlignmentRecords;
            }))
            bad = "pairs_file";
        else
            run.record_places = places->get<std::vector<int>>();
    }
    if (bad == nullptr && !parse_accessions(line, run))
        bad = "accessions";
    if (bad != nullptr) {
        why = missing("the run line's", bad);
        return false;
    }
    run.matrix_values = values->get<std::vector<int>>();
    return true;
}

}  // namespace

bool run_line_from(const Json &line, const std::string &type, RunLine &run, std::string &why)
{
    std::string program, seed_source;
    long long format = 0;
    if (type != "run" || !get_string(line, "program", program) || program != "kelto" ||
        !get_integer(line, "format", LLONG_MIN, LLONG_MAX, format)) {
        why = "not the run line of a record of this program";
        return false;
    }
    if (format < 1 || format > kRecordFormat) {
        why = "the record has format " + std::to_string(format) + ", this program reads formats 1 to " +
              std::to_string(kRecordFormat);
        return false;
    }
    run = RunLine{};
    run.format = static_cast<int>(format);
    const auto input = line.find("input");
    const char *bad = !get_string(line, "version", run.version)                     ? "version"
                      : !get_unsigned(line, "seed", run.seed)                       ? "seed"
                      : !get_string(line, "seed_source", seed_source) ||
                              (seed_source != "option" && seed_source != "clock")   ? "seed_source"
                      : !get_int(line, "T", 1, INT_MAX, run.randomisations)         ? "T"
                      : !get_string(line, "matrix", run.matrix)                     ? "matrix"
                      : input == line.end() || !input->is_object() || !get_string(*input, "path", run.input_path) ||
                              !get_unsigned(*input, "bytes", run.input.bytes) ||
                              !get_string(*input, "xxh3_128", run.input.xxh3_128)   ? "input"
                      : !get_int(line, "gap_columns", 0, kMaxAlignmentColumns, run.gap_columns) ? "gap_columns"
                      : !get_int(line, "n_minimum", 1, kMaxResidues, run.n_minimum) ? "n_minimum"
                      : !get_int(line, "threads", 1, INT_MAX, run.threads)          ? "threads"
                                                                                    : nullptr;
    if (bad != nullptr) {
        why = missing("the run line's", bad);
        return false;
    }
    run.seed_from_option = seed_source == "option";
    if (!parse_names(line, run, why))
        return false;
    const long long pairs = run.pairs();
    if (!get_int(line, "quartets", pairs * (pairs - 1) / 2, pairs * (pairs - 1) / 2, run.quartets)) {
        why = "the run line's \"quartets\" is not the number of quartets of its pairs";
        return false;
    }
    if (format == 1)
        run.family_test = "none";
    return parse_shard(line, run, why) && (format == 1 ? format_one_defaults(run, why) : parse_extras(line, run, why));
}

}  // namespace kelto
