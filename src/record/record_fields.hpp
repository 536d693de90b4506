// Inside the record reader: a line as a parsed JSON object, and each kind of
// line read from one, so that a line is parsed once.
#pragma once

#include <climits>
#include <cmath>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "record/record.hpp"

namespace kelto {

// Checked field access: false when the key is missing, of another type or
// out of range, so that a malformed line is refused, never thrown.
inline bool get_integer(const nlohmann::json &object, const char *key, long long low, long long high, long long &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_integer())
        return false;
    if (it->is_number_unsigned() && it->get<uint64_t>() > static_cast<uint64_t>(LLONG_MAX))
        return false;
    out = it->get<long long>();
    return out >= low && out <= high;
}

template <typename T>
bool get_int(const nlohmann::json &object, const char *key, long long low, long long high, T &out)
{
    long long value = 0;
    if (!get_integer(object, key, low, high, value))
        return false;
    out = static_cast<T>(value);
    return true;
}

inline bool get_unsigned(const nlohmann::json &object, const char *key, uint64_t &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number_unsigned())
        return false;
    out = it->get<uint64_t>();
    return true;
}

inline bool get_string(const nlohmann::json &object, const char *key, std::string &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string())
        return false;
    out = it->get<std::string>();
    return true;
}

inline bool get_bool(const nlohmann::json &object, const char *key, bool &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_boolean())
        return false;
    out = it->get<bool>();
    return true;
}

// A number, or null for a value that was not finite.
inline bool get_number_or_null(const nlohmann::json &object, const char *key, double &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !(it->is_number() || it->is_null()))
        return false;
    out = it->is_null() ? std::nan("") : it->get<double>();
    return true;
}

inline std::string missing(const char *what, const char *key)
{
    return std::string(what) + " \"" + key + "\" is missing or out of range";
}


// Whether arrays and objects nest at most `limit` deep outside strings.
bool nesting_within(const std::string &text, int limit);

// Parses a line into a JSON object with a string "type"; false with why not.
bool parse_object(const std::string &text, nlohmann::json &line, std::string &type, std::string &why);

bool run_line_from(const nlohmann::json &line, const std::string &type, RunLine &run, std::string &why);
bool quartet_line_from(const nlohmann::json &line, const std::string &type, const RunLine &run, QuartetLine &quartet,
                       std::string &why);
bool end_line_from(const nlohmann::json &line, const std::string &type, EndLine &end, std::string &why);

}  // namespace kelto
