// Two run lines compared field by field: a resumed run's record against the
// input read again, and the shards of one run against each other. The
// caller names the fields that must agree, in the order they are checked.
#pragma once

#include <span>

#include "record/record.hpp"

namespace kelto {

enum class RunField {
    kVersion,
    kSeed,
    kSeedSource,
    kRandomisations,
    kFamilyTest,
    kFamilyRandomisations,
    kFamilyExceedances,
    kFamilyBlock,
    kMatrix,
    kMatrixValues,
    kInputForm,
    kPairsFile,     // whether a pairs file was given, and its checksum
    kPairsPlaces,   // the records the pairs file chose
    kInputBytes,
    kInputXxh3,
    kNames,
    kRecordLengths,
    kGapColumns,
    kNMinimum,
    kQuartets,
};

// Whether `a` and `b` agree in `field`.
bool same_field(const RunLine &a, const RunLine &b, RunField field);

// A field as a refusal names it.
struct NamedField {
    RunField field;
    const char *name;
};

// The name of the first of `fields` where `a` and `b` differ, or null when
// they agree in all of them.
const char *first_difference(const RunLine &a, const RunLine &b, std::span<const NamedField> fields);

}  // namespace kelto
