// The family-wise fields of the record's quartet lines.
#include "record/record_family.hpp"

#include <cmath>

#include "input/alignment.hpp"
#include "record/record_fields.hpp"
#include "windows/scan_test.hpp"

namespace kelto {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

OrderedJson number_or_null(double value) { return std::isfinite(value) ? OrderedJson(value) : OrderedJson(nullptr); }

OrderedJson place_json(const std::array<int, 2> &columns, const std::array<std::array<int, 2>, 4> &residues)
{
    OrderedJson spans = OrderedJson::array();
    for (const auto &span : residues)
        spans.push_back(OrderedJson::array({span[0], span[1]}));
    return OrderedJson{{"columns", OrderedJson::array({columns[0], columns[1]})}, {"residues", spans}};
}

// Two integers from 0 to `high`, the first not above the second.
bool get_span(const Json &value, int high, std::array<int, 2> &span)
{
    if (!value.is_array() || value.size() != 2 || !value[0].is_number_integer() || !value[1].is_number_integer())
        return false;
    const long long first = value[0].get<long long>(), last = value[1].get<long long>();
    if (first < 0 || last < first || last > high)
        return false;
    span = {static_cast<int>(first), static_cast<int>(last)};
    return true;
}

bool is_null(const Json &object, const char *key)
{
    const auto it = object.find(key);
    return it != object.end() && it->is_null();
}

bool get_number(const Json &object, const char *key, double &out)
{
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        return false;
    out = it->get<double>();
    return std::isfinite(out);
}

// A min-P p-value of format 2: null, or (count + 1) / (J + 1) exactly for a
// count from 0 to J.
bool get_min_p(const Json &object, long long j, double &p)
{
    const auto it = object.find("p_family");
    if (it == object.end() || !(it->is_null() || it->is_number()))
        return false;
    p = NAN;
    if (it->is_null())
        return true;
    const double value = it->get<double>();
    const double scaled = value * (static_cast<double>(j) + 1.0);
    if (!(scaled >= 1.0 && scaled <= static_cast<double>(j) + 1.0))
        return false;
    p = value;
    return family_window_p_value(std::llround(scaled) - 1, j) == value;
}

bool parse_scan_window(const Json &line, int n, FamilyResult &family)
{
    const auto it = line.find("scan_window");
    if (it == line.end() || !it->is_object())
        return false;
    ScanWindow &w = family.window;
    std::string side;
    if (!get_string(*it, "side", side) || (side != "max" && side != "min") || !get_int(*it, "size", 2, n - 1, w.size) ||
        !get_int(*it, "start", 1, n, w.start) || !get_int(*it, "end", w.start, n, w.end) ||
        w.end - w.start + 1 != w.size || !get_integer(*it, "sum", INT_MIN, INT_MAX, w.sum) ||
        !get_number(*it, "z", w.z) || !get_number(*it, "score", w.score) ||
        !get_place(*it, family.columns, family.residues))
        return false;
    w.side = side == "max" ? 1 : -1;
    return true;
}

}  // namespace

bool get_place(const Json &object, std::array<int, 2> &columns, std::array<std::array<int, 2>, 4> &residues)
{
    const auto c = object.find("columns");
    const auto r = object.find("residues");
    if (c == object.end() || !get_span(*c, kMaxAlignmentColumns, columns) || r == object.end() || !r->is_array() ||
        r->size() != 4)
        return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!get_span((*r)[i], kMaxAlignmentColumns, residues[i]))
            return false;
    return true;
}

void add_family_fields(OrderedJson &line, const FamilyResult &family)
{
    if (!family.tested) {
        for (const char *key :
             {"p_family", "p_floor", "family_arrangements", "family_exceedances", "family_capped", "scan_window"})
            line[key] = nullptr;
        return;
    }
    const ScanWindow &w = family.window;
    OrderedJson window{{"side", w.side > 0 ? "max" : "min"}, {"size", w.size}, {"start", w.start}, {"end", w.end},
                       {"sum", w.sum},      {"z", w.z},       {"score", w.score}};
    window.update(place_json(family.columns, family.residues));
    line["p_family"] = family.p;
    line["p_floor"] = family.p_floor;
    line["family_arrangements"] = family.arrangements;
    line["family_exceedances"] = family.exceedances;
    line["family_capped"] = family.capped;
    line["scan_window"] = window;
}

void add_window_family_fields(OrderedJson &window, const FinalWindow &final)
{
    window["p_family"] = number_or_null(final.p_family);
    window["z"] = number_or_null(final.z);
    window["score"] = number_or_null(final.score);
}

bool parse_family_fields(const Json &line, const RunLine &run, FamilyResult &family, const char *&bad)
{
    family = FamilyResult{};
    bad = "p_family";
    if (run.family_test == "none")
        return true;
    if (run.family_test == "min-P")
        return get_min_p(line, run.family_randomisations, family.p);
    if (is_null(line, "p_family")) {
        for (const char *key : {"p_floor", "family_arrangements", "family_exceedances", "family_capped", "scan_window"})
            if (!is_null(line, key)) {
                bad = key;
                return false;
            }
        return true;
    }
    const long long cap = run.family_randomisations;
    SequentialTest test{cap, run.family_exceedances, 0, 0};
    const bool fits =
        cap > 0 && get_number(line, "p_family", family.p) &&
        (bad = "family_arrangements", get_integer(line, "family_arrangements", 1, cap, test.drawn)) &&
        (bad = "family_exceedances", get_integer(line, "family_exceedances", 0, std::min(test.drawn, test.stop_at),
                                                 test.exceeded)) &&
        (bad = "family_capped", get_bool(line, "family_capped", family.capped)) &&
        family.capped == sequential_capped(test) && (!family.capped || test.drawn == cap) &&
        (bad = "p_family", sequential_p_value(test) == family.p) &&
        (bad = "p_floor", get_number(line, "p_floor", family.p_floor) && family.p_floor == family_p_floor(cap)) &&
        (bad = "scan_window", parse_scan_window(line, run.n_minimum, family));
    family.tested = fits;
    family.arrangements = test.drawn;
    family.exceedances = test.exceeded;
    return fits;
}

bool parse_window_family_fields(const Json &window, const RunLine &run, const FamilyResult &family, FinalWindow &final)
{
    if (run.family_test == "none")
        return true;
    if (run.family_test == "min-P")
        return get_min_p(window, run.family_randomisations, final.p_family);
    if (!family.tested)
        return is_null(window, "p_family") && is_null(window, "z") && is_null(window, "score");
    double p = 0.0;
    if (!get_number(window, "p_family", p) || !get_number(window, "z", final.z) ||
        !get_number(window, "score", final.score))
        return false;
    const double scaled = p * (static_cast<double>(family.arrangements) + 1.0);
    if (!(scaled >= 1.0 && scaled <= static_cast<double>(family.arrangements) + 1.0))
        return false;
    final.p_family = p;
    return family_window_p_value(std::llround(scaled) - 1, family.arrangements) == p;
}

}  // namespace kelto
