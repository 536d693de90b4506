// The merged files: the whole run's report, TSV and record, written into
// temporary files beside the outputs and renamed into place only when all
// of them were written in full.
#pragma once

#include <string>
#include <vector>

#include "common/text.hpp"
#include "merge/parts.hpp"

namespace kelto {

// An output written to a temporary file beside its target.
struct Output {
    const char *role = "";
    std::string path;
    std::string temp;
    TextSink sink;
};

// The outputs; their temporary files are removed unless renamed into place.
struct Outputs {
    std::vector<Output> files;
    bool committed = false;
    Outputs() = default;
    Outputs(const Outputs &) = delete;
    Outputs &operator=(const Outputs &) = delete;
    ~Outputs();
};

// No output may overwrite an input, nor another output.
bool check_outputs(const std::vector<Output> &outputs, const std::vector<Part> &parts, TextSink &console);

// A temporary file beside the output, with the permissions a plain run
// gives its files; false with why not.
bool open_temp(Output &output, std::string &why);

// Written, on the disk and closed before it is renamed into place.
bool close_output(Output &output);

// Writes the merged files into the outputs' temporary files (`tsv` and
// `json` may be null); returns the quartets written, or -1 after a message
// when a part's files changed under the merge.
long long write_merged(const std::vector<const Part *> &used, const std::string &heading, Output &report, Output *tsv,
                       Output *json, TextSink &console);

}  // namespace kelto
