// Inside the record reader: a line as a parsed JSON object, and each kind of
// line read from one, so that a line is parsed once.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "record/record.hpp"

namespace kelto {

// Whether arrays and objects nest at most `limit` deep outside strings.
bool nesting_within(const std::string &text, int limit);

// Parses a line into a JSON object with a string "type"; false with why not.
bool parse_object(const std::string &text, nlohmann::json &line, std::string &type, std::string &why);

bool run_line_from(const nlohmann::json &line, const std::string &type, RunLine &run, std::string &why);
bool quartet_line_from(const nlohmann::json &line, const std::string &type, const RunLine &run, QuartetLine &quartet,
                       std::string &why);
bool end_line_from(const nlohmann::json &line, const std::string &type, EndLine &end, std::string &why);

}  // namespace kelto
