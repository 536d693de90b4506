// The report's heading: the banner box and T.
#include "report/heading.hpp"

#include "common/compress.hpp"

namespace kelto {

void write_banner_box(TextSink &sink)
{
    sink_printf(sink, "=            K  E  L  T  O   :  Version  1.0               =\n");
    sink_printf(sink, "============================================================\n");
    sink_printf(sink, "=   Gene quartets: windows of extreme C(k)12 differences   =\n");
    sink_printf(sink, "=   Permutation test over substitution-matrix profiles     =\n");
}

std::string report_heading(int randomisations)
{
    TextSink heading;
    sink_printf(heading, "============================================================\n");
    write_banner_box(heading);
    sink_printf(heading, "============================================================\n");
    sink_printf(heading, "\nT = %d \n", randomisations);
    return heading.text;
}

std::string heading_unit(int randomisations, const std::string &report_path)
{
    Packer packer = make_packer(compression_of(report_path));
    return packed(packer, report_heading(randomisations));
}

}  // namespace kelto
