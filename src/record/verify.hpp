// A report or TSV checked against its record quartet by quartet: each
// quartet's bytes must be where the record says and have its checksum.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "record/record.hpp"

namespace kelto {

// Where one quartet's text ends in the report and the TSV, with checksums.
struct QuartetSpan {
    uint64_t report_end = 0;
    uint64_t tsv_end = 0;
    QuartetChecksums sums;
};

// The spans of a record's quartets, in order from `first`.
struct RecordSpans {
    long long first = 0;
    std::vector<QuartetSpan> quartets;
};

// A visitor that collects the spans while the record is read.
RecordVisitor collect_spans(RecordSpans &spans);

// The same, and a check that the record agrees with itself where a hand's
// edit could make it contradict itself: every quartet line's "names" must
// be the run line's records of its pairs, and the run line's "matrix" the
// name of its values (a built-in's) or of its matrix file. Resume and
// merge read records through it; a contradiction stops the reading with a
// reason naming the field.
RecordVisitor checked_spans(RecordSpans &spans);

enum class SpanFile { kReport, kTsv };

// Checks the file at `path` against the spans: its bytes [start, end of the
// last quartet) must be there, each quartet's with its checksum (where the
// record has checksums). False with a reason naming the first quartet that
// differs.
bool verify_spans(const std::string &path, SpanFile which, uint64_t start, const RecordSpans &spans,
                  std::string &why);

}  // namespace kelto
