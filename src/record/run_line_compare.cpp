// Run lines compared field by field.
#include "record/run_line_compare.hpp"

namespace kelto {

bool same_field(const RunLine &a, const RunLine &b, RunField field)
{
    switch (field) {
    case RunField::kVersion: return a.version == b.version;
    case RunField::kSeed: return a.seed == b.seed;
    case RunField::kSeedSource: return a.seed_from_option == b.seed_from_option;
    case RunField::kRandomisations: return a.randomisations == b.randomisations;
    case RunField::kFamilyTest: return a.family_test == b.family_test;
    case RunField::kFamilyRandomisations: return a.family_randomisations == b.family_randomisations;
    case RunField::kFamilyExceedances: return a.family_exceedances == b.family_exceedances;
    case RunField::kFamilyBlock: return a.family_block == b.family_block;
    case RunField::kMatrix: return a.matrix == b.matrix;
    case RunField::kMatrixValues: return a.matrix_values == b.matrix_values;
    case RunField::kInputForm: return a.input_form == b.input_form;
    case RunField::kPairsFile: return a.pairs_path.empty() == b.pairs_path.empty() && a.pairs_xxh3 == b.pairs_xxh3;
    case RunField::kPairsPlaces: return a.record_places == b.record_places;
    case RunField::kInputBytes: return a.input.bytes == b.input.bytes;
    case RunField::kInputXxh3: return a.input.xxh3_128 == b.input.xxh3_128;
    case RunField::kNames: return a.names == b.names;
    case RunField::kRecordLengths: return a.record_lengths == b.record_lengths;
    case RunField::kGapColumns: return a.gap_columns == b.gap_columns;
    case RunField::kNMinimum: return a.n_minimum == b.n_minimum;
    case RunField::kQuartets: return a.quartets == b.quartets;
    }
    return false;
}

const char *first_difference(const RunLine &a, const RunLine &b, std::span<const NamedField> fields)
{
    for (const NamedField &named : fields)
        if (!same_field(a, b, named.field))
            return named.name;
    return nullptr;
}

}  // namespace kelto
