// The parts of `kelto merge`: each shard's record read through the record
// reader, then checked to belong to one run, to cover its quartets exactly
// once, to be complete, and to have reports and TSVs of the lengths their
// records say.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/compress.hpp"
#include "common/locks.hpp"
#include "common/text.hpp"
#include "record/record.hpp"
#include "record/verify.hpp"

namespace kelto {

struct Part {
    std::string path;        // its record, as given
    RecordSummary record;    // what the record holds
    RecordSpans spans;       // where each quartet's text lies in its report and TSV
    uint64_t heading_bytes = 0;  // its report's bytes before the first quartet
    std::string tsv_header;      // its TSV's header row as the file holds it (one unit when compressed)
    FileLock lock;               // shared: no shard still writes it

    const ShardBlock &shard() const { return record.run.shard; }
};

// Prints a refusal naming the part.
void refuse(TextSink &console, const std::string &part, const std::string &why);

// Reads every part; false after a message.
bool read_parts(const std::vector<std::string> &paths, std::vector<Part> &parts, TextSink &console);

// One run: same input, seed, T, matrix, format and shard count.
bool check_one_run(const std::vector<Part> &parts, TextSink &console);

// Every shard exactly once, their blocks end to end over all quartets.
// `order` holds the parts sorted by shard index.
bool check_coverage(const std::vector<Part *> &order, TextSink &console);

// The merged files' kinds: the parts' reports (and TSVs, when a merged
// TSV is wanted) must be compressed as the merged ones, so that their bytes
// are copied as they are.
struct MergedKinds {
    Compression report = Compression::kNone;
    Compression tsv = Compression::kNone;
    bool want_tsv = false;
};

// The parts the whole run would have written, up to the first that stopped
// at a limit, each complete and with files of the recorded lengths and of
// the merged files' kinds; their common report heading (as the files hold
// it) goes to `heading`.
bool choose_used(const std::vector<Part *> &order, const MergedKinds &kinds, std::vector<const Part *> &used,
                 std::string &heading, TextSink &console);

}  // namespace kelto
