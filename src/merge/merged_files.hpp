// The merged files: the whole run's report, TSV and record, written into
// staged files from the parts.
#pragma once

#include <string>
#include <vector>

#include "common/staged_files.hpp"
#include "common/text.hpp"
#include "merge/parts.hpp"

namespace kelto {

// The merge's files checked before anything is written: no output may be a
// directory or a file other than a regular one, nor any part's record,
// report or TSV, nor the run's input, nor another output.
bool check_outputs(const StagedFiles &outputs, const std::vector<Part> &parts, const std::string &input,
                   TextSink &console);

// Writes the merged files into the staged report, TSV and record (`tsv` and
// `json` may be null); returns the quartets written, or -1 after a message
// when a part's files changed under the merge.
long long write_merged(const std::vector<const Part *> &used, const std::string &heading, StagedFile &report,
                       StagedFile *tsv, StagedFile *json, TextSink &console);

}  // namespace kelto
