// Merge of shard files. A first pass reads every part's JSON Lines record
// and checks that the parts belong to one run, cover its quartets exactly
// once and are complete, and that their reports and TSVs have the lengths
// their records say. A second pass writes the whole run's report, TSV and
// record into temporary files beside the outputs, renamed into place only
// when all of them were written in full.
#include "app/merge.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/html_command.hpp"
#include "common/files.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "results/records.hpp"

namespace kelto {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char *kMergeUsage =
    "kelto merge: usage: kelto merge [--json OUT.jsonl] [--tsv OUT.tsv] [--html PAGE.html] OUT_REPORT PART.jsonl...\n";

struct MergeOptions {
    std::string json_path;  // empty: not written
    std::string tsv_path;
    std::string html_path;
    std::string report_path;
    std::vector<std::string> parts;
};

// Options as the run takes them: "--name value" or "--name=value"
// anywhere, "--" ends them.
bool parse_merge_options(int argc, const char *const *argv, MergeOptions &options, std::string &error)
{
    bool ended = false;
    std::vector<std::string> positionals;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            ended = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        std::string *target = name == "json"  ? &options.json_path
                              : name == "tsv" ? &options.tsv_path
                              : name == "html" ? &options.html_path
                                               : nullptr;
        if (target == nullptr) {
            error = "unknown option '" + arg.substr(0, equals) + "'";
            return false;
        }
        if (equals != std::string::npos)
            *target = arg.substr(equals + 1);
        else if (i + 1 < argc)
            *target = argv[++i];
        else {
            error = "--" + name + " needs a file name";
            return false;
        }
        if (target->empty()) {
            error = "--" + name + ": the file name is empty";
            return false;
        }
    }
    if (positionals.size() < 2) {
        error = "an output report and at least one part are needed";
        return false;
    }
    options.report_path = positionals[0];
    options.parts.assign(positionals.begin() + 1, positionals.end());
    return true;
}

// What the first pass learns of one part.
struct Part {
    std::string path;  // its JSON Lines record, as given
    Json run;          // its run line
    int index = 0;     // shard K of N
    int count = 0;
    long long first = 0;  // its block [first, end)
    long long end = 0;
    std::string report_path;
    std::string tsv_path;  // empty: the shard wrote no TSV
    long long quartets = 0;        // quartet lines
    uint64_t report_bytes = 0;     // of its last quartet line
    uint64_t tsv_bytes = 0;
    std::string stop;              // its last quartet's stop, empty for none
    bool cut = false;              // the file ends inside a line
    bool has_end = false;
    std::string status;            // of the end line
    long long exit_status = -1;
    long long quartets_written = -1;
    double wall_seconds = 0;
    uint64_t heading_bytes = 0;    // its report's bytes before the first quartet
};

std::string dump_line(const Json &value)
{
    return value.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool get_integer(const Json &object, const char *key, long long &value)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return false;
    if (it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(LLONG_MAX))
        return false;
    value = it->get<long long>();
    return true;
}

bool get_unsigned(const Json &object, const char *key, uint64_t &value)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_unsigned())
        return false;
    value = it->get<uint64_t>();
    return true;
}

bool get_string(const Json &object, const char *key, std::string &value)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return false;
    value = it->get<std::string>();
    return true;
}

bool is_limit_stop(const std::string &status)
{
    for (StopReason reason : {StopReason::kTooManyMinimumPerSize, StopReason::kTooManyMaximumPerSize,
                              StopReason::kTooManyMinimum, StopReason::kTooManyMaximum})
        if (status == stop_name(reason))
            return true;
    return false;
}

bool read_run_line(const Json &line, Part &part, std::string &why)
{
    std::string type, program;
    long long format = 0, quartets = 0, index = 0, count = 0;
    if (!get_string(line, "type", type) || type != "run" || !get_integer(line, "format", format) ||
        !get_string(line, "program", program) || program != "kelto" || !get_integer(line, "quartets", quartets)) {
        why = "its first line is not the run line of a kelto record";
        return false;
    }
    if (format != kRecordFormat) {
        why = "its record has format " + std::to_string(format) + ", this program reads format " +
              std::to_string(kRecordFormat);
        return false;
    }
    const auto shard = line.find("shard");
    if (shard == line.end() || !shard->is_object()) {
        why = "its record is not a shard's (no \"shard\" in its run line)";
        return false;
    }
    const auto tsv = shard->find("tsv");
    if (!get_integer(*shard, "index", index) || !get_integer(*shard, "count", count) ||
        !get_integer(*shard, "first", part.first) || !get_integer(*shard, "end", part.end) ||
        !get_string(*shard, "report", part.report_path) || tsv == shard->end() ||
        !(tsv->is_null() || tsv->is_string()) || count < 1 || count > INT_MAX || index < 1 || index > count ||
        part.first < 0 || part.first > part.end || part.end > quartets) {
        why = "the \"shard\" of its run line is not valid";
        return false;
    }
    part.index = static_cast<int>(index);
    part.count = static_cast<int>(count);
    part.tsv_path = tsv->is_string() ? tsv->get<std::string>() : std::string();
    part.run = line;
    return true;
}

bool read_quartet_line(const Json &line, long long number, Part &part, std::string &why)
{
    long long quartet = 0;
    uint64_t report_bytes = 0, tsv_bytes = 0;
    const auto stop = line.find("stop");
    const std::string at = "line " + std::to_string(number);
    if (!get_integer(line, "quartet", quartet) || !get_unsigned(line, "report_bytes", report_bytes) ||
        !get_unsigned(line, "tsv_bytes", tsv_bytes) || stop == line.end() || !(stop->is_null() || stop->is_string())) {
        why = at + " is not a valid quartet line";
        return false;
    }
    if (!part.stop.empty()) {
        why = at + " follows the quartet that stopped the run";
        return false;
    }
    if (quartet != part.first + part.quartets) {
        why = at + " holds quartet " + std::to_string(quartet) + " where quartet " +
              std::to_string(part.first + part.quartets) + " is due";
        return false;
    }
    if (quartet >= part.end) {
        why = at + " holds quartet " + std::to_string(quartet) + ", past its block's end " + std::to_string(part.end);
        return false;
    }
    if (report_bytes < part.report_bytes || tsv_bytes < part.tsv_bytes) {
        why = at + ": the file lengths it records go backwards";
        return false;
    }
    ++part.quartets;
    part.report_bytes = report_bytes;
    part.tsv_bytes = tsv_bytes;
    part.stop = stop->is_string() ? stop->get<std::string>() : std::string();
    return true;
}

bool read_end_line(const Json &line, long long number, Part &part, std::string &why)
{
    const auto wall = line.find("wall_seconds");
    if (!get_string(line, "status", part.status) || !get_integer(line, "exit_status", part.exit_status) ||
        !get_integer(line, "quartets_written", part.quartets_written) || wall == line.end() || !wall->is_number()) {
        why = "line " + std::to_string(number) + " is not a valid end line";
        return false;
    }
    part.wall_seconds = wall->get<double>();
    part.has_end = true;
    return true;
}

// First pass over a part's record. A last line without its line feed (the
// shard was killed while writing) marks the part as cut, not as invalid:
// parts after a stop need not be complete.
bool read_part(const std::string &path, Part &part, std::string &why)
{
    part.path = path;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "cannot be opened";
        return false;
    }
    std::string text;
    long long number = 0;
    while (std::getline(in, text)) {
        ++number;
        if (in.eof()) {
            part.cut = true;
            break;
        }
        const Json line = Json::parse(text, nullptr, false);
        std::string type;
        if (line.is_discarded() || !line.is_object() || !get_string(line, "type", type)) {
            why = "line " + std::to_string(number) + " is not a JSON record line";
            return false;
        }
        if (number == 1) {
            if (!read_run_line(line, part, why))
                return false;
            continue;
        }
        if (part.has_end) {
            why = "line " + std::to_string(number) + " follows the end line";
            return false;
        }
        if (type == "quartet") {
            if (!read_quartet_line(line, number, part, why))
                return false;
        } else if (type == "end") {
            if (!read_end_line(line, number, part, why))
                return false;
        } else {
            why = "line " + std::to_string(number) + " is neither a quartet nor an end line";
            return false;
        }
    }
    if (in.bad()) {
        why = "cannot be read";
        return false;
    }
    if (part.run.is_null()) {
        why = "holds no complete run line";
        return false;
    }
    return true;
}

// The run line without what may differ between the shards of one run: the
// thread count, the shard itself and the input's path.
Json comparable_run(const Json &run)
{
    Json line = run;
    line.erase("threads");
    line.erase("shard");
    if (line.contains("input") && line["input"].is_object())
        line["input"].erase("path");
    return line;
}

// The first key (with the input's sub-key) where two run lines differ.
std::string first_difference(const Json &a, const Json &b)
{
    for (const auto &[key, value] : a.items()) {
        if (!b.contains(key))
            return key;
        const Json &other = b[key];
        if (key == "input" && value.is_object() && other.is_object())
            for (const auto &[sub, sub_value] : value.items())
                if (!other.contains(sub) || other[sub] != sub_value)
                    return "input " + sub;
        if (other != value)
            return key;
    }
    for (const auto &[key, value] : b.items())
        if (!a.contains(key))
            return key;
    return "run line";
}

bool file_size(const std::string &path, uint64_t &size)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size = static_cast<uint64_t>(info.st_size);
    return true;
}

// Up to `limit` bytes from the start of a file.
std::string read_prefix(const std::string &path, std::size_t limit)
{
    std::string text(limit, '\0');
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return {};
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return text;
}

void refuse(TextSink &console, const std::string &part, const std::string &why)
{
    sink_message(console, "kelto merge: %s: %s\n", part.c_str(), why.c_str());
}

// A used part must have ended by itself: completed with every quartet of
// its block, or stopped at a "Too many" limit after its last quartet line.
bool check_complete(const Part &part, std::string &why)
{
    if (part.cut || !part.has_end) {
        why = std::string(part.cut ? "its last line is cut off" : "it has no end line") +
              ": the shard did not finish (rerun it)";
        return false;
    }
    const long long block = part.end - part.first;
    if (part.status == stop_name(StopReason::kNone)) {
        if (part.quartets != block || part.quartets_written != part.quartets || part.exit_status != kExitOk ||
            !part.stop.empty()) {
            why = "incomplete: it holds " + std::to_string(part.quartets) + " of the " + std::to_string(block) +
                  " quartets of its block (rerun the shard)";
            return false;
        }
        return true;
    }
    if (is_limit_stop(part.status)) {
        if (part.quartets < 1 || part.stop != part.status || part.quartets_written != part.quartets ||
            part.exit_status != kExitStopped) {
            why = "its end line (" + part.status + ") does not agree with its quartet lines";
            return false;
        }
        return true;
    }
    why = "the shard stopped (" + part.status + "): rerun it";
    return false;
}

// The report's heading: the bytes up to and including its T line.
bool find_heading(const Part &part, long long randomisations, std::string &heading, std::string &why)
{
    const std::string t_line = "\nT = " + std::to_string(randomisations) + " \n";
    const std::string prefix = read_prefix(part.report_path, 1 << 16);
    const std::size_t at = prefix.find(t_line);
    if (at == std::string::npos) {
        why = "its report " + part.report_path + " does not begin with the heading of a run with T = " +
              std::to_string(randomisations);
        return false;
    }
    heading = prefix.substr(0, at + t_line.size());
    return true;
}

bool check_files(Part &part, const std::string &reference_heading, long long randomisations, bool want_tsv,
                 std::string &heading, std::string &why)
{
    uint64_t size = 0;
    if (!file_size(part.report_path, size)) {
        why = "its report " + part.report_path + " is missing";
        return false;
    }
    if (!find_heading(part, randomisations, heading, why))
        return false;
    if (!reference_heading.empty() && heading != reference_heading) {
        why = "its report " + part.report_path + " has another heading than the first part's";
        return false;
    }
    part.heading_bytes = heading.size();
    const uint64_t expected = part.quartets > 0 ? part.report_bytes : part.heading_bytes;
    if (size != expected || (part.quartets > 0 && part.report_bytes <= part.heading_bytes)) {
        why = "its report " + part.report_path + " holds " + std::to_string(size) + " bytes, its record says " +
              std::to_string(expected) + " (rerun the shard)";
        return false;
    }
    if (!want_tsv)
        return true;
    if (part.tsv_path.empty()) {
        why = "the shard wrote no TSV (run it with --tsv)";
        return false;
    }
    const std::string header = kTsvHeader;
    const uint64_t tsv_expected = part.quartets > 0 ? part.tsv_bytes : header.size();
    if (!file_size(part.tsv_path, size)) {
        why = "its TSV " + part.tsv_path + " is missing";
        return false;
    }
    if (read_prefix(part.tsv_path, header.size()) != header || size != tsv_expected) {
        why = "its TSV " + part.tsv_path + " holds " + std::to_string(size) + " bytes, its record says " +
              std::to_string(tsv_expected) + " (rerun the shard)";
        return false;
    }
    return true;
}

// An output written to a temporary file beside its target.
struct Output {
    const char *role = "";
    std::string path;
    std::string temp;
    TextSink sink;
};

// Removes the temporary files unless they were renamed into place.
struct Outputs {
    std::vector<Output> files;
    bool committed = false;
    ~Outputs()
    {
        for (Output &output : files) {
            if (output.sink.file != nullptr)
                std::fclose(output.sink.file);
            if (!committed && !output.temp.empty())
                unlink(output.temp.c_str());
        }
    }
};

bool open_temp(Output &output, std::string &why)
{
    const std::filesystem::path target(output.path);
    const std::filesystem::path dir = target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::string name = (dir / ("." + target.filename().string() + ".kelto-XXXXXX")).string();
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        why = "cannot create a file beside " + output.path;
        return false;
    }
    output.temp = name;
    // The permissions a plain run gives its files.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    output.sink.file = fdopen(fd, "wb");
    if (output.sink.file == nullptr) {
        close(fd);
        why = "cannot create a file beside " + output.path;
        return false;
    }
    return true;
}

// Written, on the disk and closed before it is renamed into place.
bool close_output(Output &output)
{
    const bool written = sink_sync(output.sink);
    const bool closed = std::fclose(output.sink.file) == 0;
    output.sink.file = nullptr;
    return written && closed;
}

// Copies bytes [from, from + length) of a file; false when the file holds
// fewer (it changed since it was checked) or cannot be read.
bool copy_bytes(const std::string &path, uint64_t from, uint64_t length, TextSink &out)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bool ok = fseeko(file, static_cast<off_t>(from), SEEK_SET) == 0;
    std::string buffer;
    while (ok && length > 0) {
        buffer.resize(static_cast<std::size_t>(std::min<uint64_t>(length, 1 << 20)));
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        ok = got == buffer.size();
        buffer.resize(got);
        sink_write(out, buffer);
        length -= got;
    }
    std::fclose(file);
    return ok;
}

// Writes a part's quartet lines with the byte counts of the merged files:
// its own counts less its heading (header), plus what the merged file held
// before it.
bool copy_quartet_lines(const Part &part, uint64_t report_base, uint64_t tsv_base, TextSink &out)
{
    const uint64_t header = std::string(kTsvHeader).size();
    std::ifstream in(part.path, std::ios::binary);
    std::string text;
    if (!std::getline(in, text))
        return false;
    for (long long q = 0; q < part.quartets; ++q) {
        if (!std::getline(in, text) || in.eof())
            return false;
        Json line = Json::parse(text, nullptr, false);
        long long quartet = 0;
        uint64_t report_bytes = 0, tsv_bytes = 0;
        if (line.is_discarded() || !line.is_object() || !get_integer(line, "quartet", quartet) ||
            quartet != part.first + q || !get_unsigned(line, "report_bytes", report_bytes) ||
            !get_unsigned(line, "tsv_bytes", tsv_bytes) || report_bytes < part.heading_bytes || tsv_bytes < header)
            return false;
        line["report_bytes"] = report_bytes - part.heading_bytes + report_base;
        line["tsv_bytes"] = tsv_bytes - header + tsv_base;
        sink_write(out, dump_line(line));
    }
    return true;
}

// One run: same input, seed, T, matrix, format and shard count.
bool check_one_run(const std::vector<Part> &parts, TextSink &console)
{
    const Part &model = parts[0];
    const Json model_run = comparable_run(model.run);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].count != model.count) {
            refuse(console, parts[i].path, "it is shard " + std::to_string(parts[i].index) + "/" +
                                               std::to_string(parts[i].count) + ", " + model.path + " one of " +
                                               std::to_string(model.count) + " shards");
            return false;
        }
        const Json run = comparable_run(parts[i].run);
        if (run != model_run) {
            refuse(console, parts[i].path,
                   "not the same run as " + model.path + ": its " + first_difference(run, model_run) + " differs");
            return false;
        }
    }
    return true;
}

// Every shard exactly once, their blocks end to end over all quartets.
// `order` holds the parts sorted by shard index.
bool check_coverage(const std::vector<Part *> &order, long long quartets, TextSink &console)
{
    for (std::size_t i = 1; i < order.size(); ++i)
        if (order[i]->index == order[i - 1]->index) {
            refuse(console, order[i]->path, "shard " + std::to_string(order[i]->index) + "/" +
                                                std::to_string(order[i]->count) + " again (also " +
                                                order[i - 1]->path + ")");
            return false;
        }
    const int count = order.front()->count;
    for (int k = 1; k <= count; ++k)
        if (static_cast<std::size_t>(k) > order.size() || order[static_cast<std::size_t>(k - 1)]->index != k) {
            sink_message(console, "kelto merge: shard %d/%d is missing: no part holds it\n", k, count);
            return false;
        }
    for (std::size_t i = 0; i < order.size(); ++i) {
        const long long expected = i == 0 ? 0 : order[i - 1]->end;
        if (order[i]->first != expected) {
            refuse(console, order[i]->path,
                   "its block [" + std::to_string(order[i]->first) + ", " + std::to_string(order[i]->end) + ") " +
                       (order[i]->first < expected ? "overlaps" : "leaves a gap after") + " the block [" +
                       std::to_string(i == 0 ? 0 : order[i - 1]->first) + ", " + std::to_string(expected) + ")" +
                       (i == 0 ? std::string(" at the start") : " of " + order[i - 1]->path));
            return false;
        }
    }
    if (order.back()->end != quartets) {
        refuse(console, order.back()->path,
               "its block ends at quartet " + std::to_string(order.back()->end) + " of " + std::to_string(quartets));
        return false;
    }
    return true;
}

// No output may overwrite an input, nor another output.
bool check_outputs(const std::vector<Output> &outputs, const std::vector<Part> &parts, TextSink &console)
{
    for (std::size_t o = 0; o < outputs.size(); ++o) {
        const Output &output = outputs[o];
        for (std::size_t p = 0; p < o; ++p)
            if (same_target(output.path, outputs[p].path)) {
                sink_message(console, "kelto merge: the %s file %s is the same file as the %s file %s\n",
                             output.role, output.path.c_str(), outputs[p].role, outputs[p].path.c_str());
                return false;
            }
        for (const Part &part : parts) {
            const char *clash = same_target(output.path, part.path)          ? "record"
                                : same_target(output.path, part.report_path) ? "report"
                                : !part.tsv_path.empty() && same_target(output.path, part.tsv_path) ? "TSV"
                                                                                                    : nullptr;
            if (clash != nullptr) {
                refuse(console, part.path, "the output " + output.path + " is this part's " + clash);
                return false;
            }
        }
    }
    return true;
}

// The parts the whole run would have written, up to the first that stopped
// at a limit, each complete and with files of the recorded lengths; their
// common report heading goes to `heading`.
bool choose_used(const std::vector<Part *> &order, bool want_tsv, std::vector<const Part *> &used,
                 std::string &heading, TextSink &console)
{
    long long randomisations = 0;
    get_integer(order.front()->run, "T", randomisations);
    std::string error;
    for (Part *part : order) {
        std::string own;
        if (!check_complete(*part, error) || !check_files(*part, heading, randomisations, want_tsv, own, error)) {
            refuse(console, part->path, error);
            return false;
        }
        heading = own;
        used.push_back(part);
        if (!part->stop.empty())
            break;
    }
    return true;
}

// Writes the merged files into the outputs' temporary files; returns the
// quartets written, or -1 when a part's files changed under the merge.
long long write_merged(const Json &first_run, const std::vector<const Part *> &used, const std::string &heading,
                       Output &report, Output *tsv, Output *json, TextSink &console)
{
    const uint64_t header = std::string(kTsvHeader).size();
    uint64_t report_base = heading.size();
    uint64_t tsv_base = header;
    long long written = 0;
    double wall = 0;
    sink_write(report.sink, heading);
    if (tsv != nullptr)
        sink_write(tsv->sink, kTsvHeader);
    if (json != nullptr) {
        Json run = first_run;
        run.erase("shard");
        sink_write(json->sink, dump_line(run));
    }
    for (const Part *part : used) {
        const uint64_t report_length = part->quartets > 0 ? part->report_bytes : part->heading_bytes;
        const uint64_t tsv_length = part->quartets > 0 ? part->tsv_bytes : header;
        bool copied = copy_bytes(part->report_path, part->heading_bytes, report_length - part->heading_bytes,
                                 report.sink);
        if (copied && tsv != nullptr)
            copied = copy_bytes(part->tsv_path, header, tsv_length - header, tsv->sink);
        if (copied && json != nullptr)
            copied = copy_quartet_lines(*part, report_base, tsv_base, json->sink);
        if (!copied) {
            refuse(console, part->path, "its files changed while they were merged");
            return -1;
        }
        report_base += report_length - part->heading_bytes;
        tsv_base += tsv_length - header;
        written += part->quartets;
        wall += part->wall_seconds;
    }
    const Part &last = *used.back();
    if (json != nullptr)
        sink_write(json->sink, json_end_line(limit_stop_from_name(last.status),
                                             last.stop.empty() ? kExitOk : kExitStopped, written, wall));
    return written;
}

int merge(int argc, const char *const *argv, TextSink &console)
{
    MergeOptions options;
    std::string error;
    if (!parse_merge_options(argc, argv, options, error)) {
        sink_message(console, "kelto merge: %s\n%s", error.c_str(), kMergeUsage);
        return kExitStopped;
    }
    if (!options.html_path.empty() && options.json_path.empty()) {
        sink_message(console, "kelto merge: --html needs --json: the page is drawn from the merged record\n%s",
                     kMergeUsage);
        return kExitStopped;
    }

    std::vector<Part> parts(options.parts.size());
    for (std::size_t i = 0; i < parts.size(); ++i)
        if (!read_part(options.parts[i], parts[i], error)) {
            refuse(console, options.parts[i], error);
            return kExitStopped;
        }
    if (!check_one_run(parts, console))
        return kExitStopped;
    std::vector<Part *> order;
    for (Part &part : parts)
        order.push_back(&part);
    std::stable_sort(order.begin(), order.end(), [](const Part *a, const Part *b) { return a->index < b->index; });
    long long quartets = 0;
    get_integer(order.front()->run, "quartets", quartets);
    if (!check_coverage(order, quartets, console))
        return kExitStopped;

    // Report, TSV, JSON: the JSON record is put in place last.
    Outputs files;
    files.files.resize(1);
    files.files[0].role = "report";
    files.files[0].path = options.report_path;
    if (!options.tsv_path.empty()) {
        files.files.emplace_back();
        files.files.back().role = "TSV";
        files.files.back().path = options.tsv_path;
    }
    if (!options.json_path.empty()) {
        files.files.emplace_back();
        files.files.back().role = "JSON";
        files.files.back().path = options.json_path;
    }
    if (!check_outputs(files.files, parts, console))
        return kExitStopped;

    std::vector<const Part *> used;
    std::string heading;
    if (!choose_used(order, !options.tsv_path.empty(), used, heading, console))
        return kExitStopped;

    for (Output &output : files.files)
        if (!open_temp(output, error)) {
            sink_message(console, "kelto merge: %s\n", error.c_str());
            return kExitStopped;
        }
    Output *tsv = options.tsv_path.empty() ? nullptr : &files.files[1];
    Output *json = options.json_path.empty() ? nullptr : &files.files.back();
    const long long written = write_merged(order.front()->run, used, heading, files.files[0], tsv, json, console);
    if (written < 0)
        return kExitStopped;
    for (Output &output : files.files)
        if (!close_output(output)) {
            sink_message(console, "kelto merge: cannot write the %s file %s\n", output.role, output.path.c_str());
            return kExitStopped;
        }
    for (Output &output : files.files)
        if (std::rename(output.temp.c_str(), output.path.c_str()) != 0) {
            sink_message(console, "kelto merge: cannot put the %s file in place as %s\n", output.role,
                         output.path.c_str());
            return kExitStopped;
        }
    files.committed = true;

    const Part &last = *used.back();
    if (!last.stop.empty())
        sink_message(console, "kelto merge: %s: the run stopped at quartet %lld (%s); the merged files end there\n",
                     last.path.c_str(), last.first + last.quartets - 1, last.status.c_str());
    sink_message(console, "kelto merge: %zu parts, %lld quartets written to %s\n", parts.size(), written,
                 options.report_path.c_str());
    if (!options.html_path.empty()) {
        // The page of the whole run, from the merged record and the input
        // file the record names (as the html command draws it).
        const std::string input = order.front()->run["input"].value("path", std::string());
        const char *html_args[] = {"html", options.json_path.c_str(), input.c_str(), options.html_path.c_str()};
        sink_flush(console);
        if (html_command(4, html_args, console.file) != kExitOk)
            return kExitStopped;
    }
    return last.stop.empty() ? kExitOk : kExitStopped;
}

}  // namespace

int run_merge(int argc, const char *const *argv, const RunIo &io)
{
    TextSink console;
    console.file = io.console;
    int status = kExitStopped;
    try {
        status = merge(argc, argv, console);
    } catch (const std::bad_alloc &) {
        sink_message(console, "kelto merge: memory allocation failed\n");
        status = kExitMemory;
    }
    sink_flush(console);
    return status;
}

}  // namespace kelto
