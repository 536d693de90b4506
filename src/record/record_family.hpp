// Inside the record: the family-wise test's fields of a quartet line and of
// its final windows, written and read back with every relation checked.
#pragma once

#include <nlohmann/json.hpp>

#include "record/record.hpp"

namespace kelto {

// A window's "columns" and "residues" spans.
bool get_place(const nlohmann::json &object, std::array<int, 2> &columns, std::array<std::array<int, 2>, 4> &residues);

// Adds "p_family", "p_floor", "family_arrangements", "family_exceedances",
// "family_capped" and "scan_window" to a quartet line (all null without a
// test).
void add_family_fields(nlohmann::ordered_json &line, const FamilyResult &family);

// Adds "p_family", "z" and "score" to a final window.
void add_window_family_fields(nlohmann::ordered_json &window, const FinalWindow &final);

// Reads back what add_family_fields wrote (format 3) or the min-P value of
// format 2; false with the key at fault.
bool parse_family_fields(const nlohmann::json &line, const RunLine &run, FamilyResult &family, const char *&bad);

// Reads back a window's family fields given its quartet's test.
bool parse_window_family_fields(const nlohmann::json &window, const RunLine &run, const FamilyResult &family,
                                FinalWindow &final);

}  // namespace kelto
