// Quartet alignment display.
#include "profile/display.hpp"

#include "common/text.hpp"

namespace kelto {

namespace {

void append_block(std::string &out, const Quartet &quartet, const QuartetProfile &profile, int first, int count,
                  const char *last_row_end)
{
    const int end = first + count;
    auto number_row = [&](const std::vector<int> *values) {
        for (int k = first; k < end; ++k)
            appendf(out, "%4d", values == nullptr ? k + 1 : (*values)[static_cast<std::size_t>(k)]);
    };
    auto residue_row = [&](int which) {
        const std::string &residues = quartet.records[which]->residues;
        for (int k = first; k < end; ++k)
            appendf(out, "   %c", residues[static_cast<std::size_t>(k)]);
        out += '\n';
    };
    auto rule_row = [&](const char *piece) {
        for (int k = first; k < end; ++k)
            out += piece;
        out += '\n';
    };

    number_row(nullptr);
    out += '\n';
    rule_row("----");
    number_row(&profile.score_a);
    out += '\n';
    residue_row(0);
    residue_row(1);
    rule_row("....");
    residue_row(2);
    residue_row(3);
    number_row(&profile.score_b);
    out += '\n';
    rule_row("----");
    number_row(&profile.diff);
    out += last_row_end;
}

}  // namespace

void append_display(std::string &out, const Quartet &quartet, const QuartetProfile &profile, int n_minimum)
{
    const int full_blocks = n_minimum / kDisplayBlockWidth;
    const int rest = n_minimum % kDisplayBlockWidth;
    for (int b = 0; b < full_blocks; ++b)
        append_block(out, quartet, profile, b * kDisplayBlockWidth, kDisplayBlockWidth, "\n\n\n");
    if (rest > 0)
        append_block(out, quartet, profile, full_blocks * kDisplayBlockWidth, rest, "\n\n");
}

}  // namespace kelto
