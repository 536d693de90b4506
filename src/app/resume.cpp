// Reading an interrupted run's record back.
#include "app/resume.hpp"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace kelto {

namespace {

using Json = nlohmann::ordered_json;

// The value of `key`, or null where the line lacks it (operator[] of a
// const object must not be asked for a key it does not hold).
const Json &field(const Json &object, const char *key)
{
    static const Json missing;
    const auto found = object.find(key);
    return found != object.end() ? *found : missing;
}

bool is_count(const Json &value) { return value.is_number_unsigned() || value.is_number_integer(); }

bool has(const Json &object, const char *key, bool (*check)(const Json &))
{
    return object.is_object() && object.contains(key) && check(object[key]);
}

bool is_unsigned(const Json &value) { return value.is_number_unsigned(); }
bool is_string(const Json &value) { return value.is_string(); }
bool is_integer(const Json &value) { return value.is_number_integer(); }

// The run line carries every field that resuming reads, with its type.
bool well_formed_run_line(const Json &run)
{
    if (!has(run, "format", is_integer) || run["format"] != 1 || !has(run, "seed", is_unsigned) ||
        !has(run, "seed_source", is_string) || !has(run, "T", is_integer) || !has(run, "matrix", is_string) ||
        !has(run, "quartets", is_integer) || !run.contains("input"))
        return false;
    const Json &input = run["input"];
    if (!has(input, "bytes", is_unsigned) || !has(input, "xxh3_128", is_string))
        return false;
    if (!run.contains("shard"))
        return true;
    const Json &shard = run["shard"];
    return has(shard, "index", is_integer) && has(shard, "count", is_integer) && has(shard, "first", is_integer) &&
           has(shard, "end", is_integer);
}

}  // namespace

bool read_resume_point(const std::string &path, ResumePoint &point, std::string &message)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        message = "there is no record of the run to resume: " + path + " cannot be read";
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();

    point = ResumePoint{};
    std::size_t at = 0;
    long long line_number = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;  // torn last line: dropped
        ++line_number;
        const Json line = Json::parse(text.begin() + static_cast<std::ptrdiff_t>(at),
                                      text.begin() + static_cast<std::ptrdiff_t>(end), nullptr, false);
        const bool last = end + 1 == text.size();
        if (line.is_discarded() || !line.is_object() || !line.contains("type")) {
            if (last)
                break;  // a line cut short and then ended by chance: dropped as well
            message = path + " line " + std::to_string(line_number) + " is not a line of a run's record";
            return false;
        }
        const std::string type = line["type"].is_string() ? line["type"].get<std::string>() : "";
        if (line_number == 1) {
            if (type != "run" || !well_formed_run_line(line)) {
                message = path + " does not start with the run line of a record of this program";
                return false;
            }
            point.run = line;
            point.json_bytes = end + 1;
            point.next_quartet = line.contains("shard") ? line["shard"].value("first", 0LL) : 0;
        } else if (type == "quartet" && !point.ended) {
            const Json &quartet = field(line, "quartet");
            const Json &report_bytes = field(line, "report_bytes");
            const Json &tsv_bytes = field(line, "tsv_bytes");
            if (!is_count(quartet) || quartet.get<long long>() != point.next_quartet || !is_count(report_bytes) ||
                !is_count(tsv_bytes) || !point.limit_stop.empty()) {
                message = path + " line " + std::to_string(line_number) + " is not the next quartet of the run";
                return false;
            }
            point.has_quartets = true;
            point.report_bytes = report_bytes.get<uint64_t>();
            point.tsv_bytes = tsv_bytes.get<uint64_t>();
            const Json &stop = field(line, "stop");
            point.limit_stop = stop.is_string() ? stop.get<std::string>() : "";
            ++point.next_quartet;
            ++point.recorded;
            point.json_bytes = end + 1;
        } else if (type == "end" && !point.ended) {
            point.ended = true;
            const Json &status = field(line, "status");
            point.end_status = status.is_string() ? status.get<std::string>() : "";
        } else {
            message = path + " line " + std::to_string(line_number) + " does not fit the record of a run";
            return false;
        }
        at = end + 1;
    }
    if (point.run.is_null()) {
        message = path + " holds no complete run line: nothing was recorded to resume";
        return false;
    }
    return true;
}

}  // namespace kelto
