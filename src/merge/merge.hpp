// `kelto merge`: joins the files of a run's shards into the files one whole
// run with the same seed writes.
#pragma once

#include "common/run_io.hpp"
#include "merge/request.hpp"

namespace kelto {

// Runs `kelto merge [--json OUT.jsonl] [--tsv OUT.tsv] [--html PAGE.html]
// OUT_REPORT PART.jsonl...` as requested. Every part is read and
// checked before anything is written; the outputs appear only when all of
// them were written in full. Messages go to io.console, one line each.
// Returns 0 for a merged completed run, 2 for a merged run that stopped at
// a "Too many" limit and for every refusal, 1 when storage ran out.
int run_merge(const MergeRequest &request, const RunIo &io);

}  // namespace kelto
