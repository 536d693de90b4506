// Rows of the TSV table, doubles in their shortest exact form.
#include "tsv/tsv.hpp"

#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "common/compress.hpp"
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

// A number, or NA where there is none.
void append_number(std::string &out, double value)
{
    if (std::isfinite(value))
        append_double(out, value);
    else
        out += "NA";
}

void append_row_start(std::string &out, const QuartetResult &result, const std::string names[8], const char *kind)
{
    appendf(out, "%lld\t%d\t%d", result.index, result.pair_a, result.pair_b);
    for (int i = 0; i < 4; ++i)
        out += "\t" + names[i];
    appendf(out, "\t%s", kind);
}

// The window's columns and residue numbers, then the four ids.
void append_place(std::string &out, const std::array<int, 2> &columns, const std::array<std::array<int, 2>, 4> &residues,
                  const std::string names[8])
{
    appendf(out, "\t%d\t%d", columns[0], columns[1]);
    for (const auto &span : residues)
        appendf(out, "\t%d\t%d", span[0], span[1]);
    for (int i = 4; i < 8; ++i)
        out += "\t" + names[i];
}

// The quartet's resolution and arrangements, the last two columns.
void append_resolution(std::string &out, const FamilyResult &family)
{
    out += '\t';
    append_number(out, family.tested ? family.p_floor : NAN);
    if (family.tested)
        appendf(out, "\t%lld\n", family.arrangements);
    else
        out += "\tNA\n";
}

// The window that attains the scan statistic; the per-size columns are NA.
void append_tsv_scan(std::string &out, const QuartetResult &result, const std::string names[8])
{
    const FamilyResult &family = result.family;
    const ScanWindow &w = family.window;
    append_row_start(out, result, names, "scan");
    appendf(out, "\t%d\t%d\t%d\t%lld\tNA\tNA\tNA\tNA\tNA\tNA\t", w.size, w.start, w.end, w.sum);
    append_double(out, family.p);
    append_place(out, family.columns, family.residues, names);
    appendf(out, "\t%s\t", w.side > 0 ? "max" : "min");
    append_double(out, w.z);
    out += '\t';
    append_double(out, w.score);
    append_resolution(out, family);
}

// `names`: the four whole names, then the four ids.
void append_tsv_window(std::string &out, const QuartetResult &result, const std::string names[8], const char *kind,
                       const FinalWindow &window)
{
    const WindowRecord &r = window.record;
    append_row_start(out, result, names, kind);
    appendf(out, "\t%d\t%d\t%d\t%d\t%d\t", r.Win, r.Start, r.End, r.Value, r.Count);
    append_double(out, data_percent(r, result.randomisations));
    out += '\t';
    append_double(out, r.Average);
    out += '\t';
    append_double(out, r.Err);
    out += window.eliminated ? "\ttrue\t" : "\tfalse\t";
    append_double(out, window_p_value(r, result.randomisations));
    out += '\t';
    append_number(out, window.p_family);
    append_place(out, window.columns, window.residues, names);
    appendf(out, "\t%s\t", kind);
    append_number(out, window.z);
    out += '\t';
    append_number(out, window.score);
    append_resolution(out, result.family);
}

}  // namespace

const char *const kTsvHeader = "quartet\tpair_a\tpair_b\tname_a1\tname_a2\tname_b1\tname_b2\tkind\tsize\tstart\tend\t"
                               "value\tcount\tpercent\taverage\terr\teliminated\tp_value\tp_family\tcolumn_start\t"
                               "column_end\ta1_first\ta1_last\ta2_first\ta2_last\tb1_first\tb1_last\tb2_first\tb2_last\t"
                               "id_a1\tid_a2\tid_b1\tid_b2\tside\tz\tscore\tp_floor\tarrangements\n";

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
    if (result.final_max.empty() && result.final_min.empty() && !result.family.tested)
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
    if (result.family.tested)
        append_tsv_scan(out, result, clean);
}

std::string tsv_header_unit(const std::string &tsv_path)
{
    Packer packer = make_packer(compression_of(tsv_path));
    return packed(packer, kTsvHeader);
}

}  // namespace kelto
