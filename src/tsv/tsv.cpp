// Rows of the TSV table, doubles in their shortest exact form.
#include "tsv/tsv.hpp"

#include <charconv>

#include <nlohmann/json.hpp>

#include "common/text.hpp"
#include "input/forms.hpp"

namespace kelto {

namespace {

void append_double(std::string &out, double value)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    out.append(text, ec == std::errc() ? end : text);
}

// `names`: the four whole names, then the four ids.
void append_tsv_window(std::string &out, const QuartetResult &result, const std::string names[8], const char *kind,
                       const FinalWindow &window)
{
    const WindowRecord &r = window.record;
    appendf(out, "%lld\t%d\t%d", result.index, result.pair_a, result.pair_b);
    for (int i = 0; i < 4; ++i)
        out += "\t" + names[i];
    appendf(out, "\t%s\t%d\t%d\t%d\t%d\t%d\t", kind, r.Win, r.Start, r.End, r.Value, r.Count);
    append_double(out, data_percent(r, result.randomisations));
    out += '\t';
    append_double(out, r.Average);
    out += '\t';
    append_double(out, r.Err);
    out += window.eliminated ? "\ttrue\t" : "\tfalse\t";
    append_double(out, window_p_value(r, result.randomisations));
    out += '\t';
    if (window.family_count < 0)
        out += "NA";
    else
        append_double(out, family_p_value(window.family_count, result.family_randomisations));
    appendf(out, "\t%d\t%d", window.columns[0], window.columns[1]);
    for (const auto &span : window.residues)
        appendf(out, "\t%d\t%d", span[0], span[1]);
    for (int i = 4; i < 8; ++i)
        out += "\t" + names[i];
    out += '\n';
}

}  // namespace

const char *const kTsvHeader = "quartet\tpair_a\tpair_b\tname_a1\tname_a2\tname_b1\tname_b2\tkind\tsize\tstart\tend\t"
                               "value\tcount\tpercent\taverage\terr\teliminated\tp_value\tp_family\tcolumn_start\t"
                               "column_end\ta1_first\ta1_last\ta2_first\ta2_last\tb1_first\tb1_last\tb2_first\tb2_last\t"
                               "id_a1\tid_a2\tid_b1\tid_b2\n";

std::string tsv_text(const std::string &name)
{
    using Json = nlohmann::json;
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

void append_tsv_rows(std::string &out, const QuartetResult &result, const std::array<std::string, 4> &names)
{
    if (result.final_max.empty() && result.final_min.empty())
        return;
    std::string clean[8];
    for (int i = 0; i < 4; ++i) {
        clean[i] = tsv_text(names[static_cast<std::size_t>(i)]);
        clean[i + 4] = tsv_text(header_id(names[static_cast<std::size_t>(i)]));
    }
    for (const FinalWindow &window : result.final_max)
        append_tsv_window(out, result, clean, "max", window);
    for (const FinalWindow &window : result.final_min)
        append_tsv_window(out, result, clean, "min", window);
}

}  // namespace kelto
