// Fuzzes the input reader (every form: the pair file, aligned FASTA,
// Stockholm and Clustal as the content tells them, FASTA-shaped bytes also
// as A2M) on arbitrary bytes and, when a file is accepted, gap-column
// removal; traps on any broken invariant.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "input/alignment.hpp"
#include "input/byte_reader.hpp"
#include "input/gaps.hpp"
#include "input/pair_file.hpp"
#include "input/residues.hpp"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Holds whatever the reader stored, on success and on failure alike.
void check_records(const kelto::SequenceSet &set, kelto::InputForm form)
{
    const bool pair_file = form == kelto::InputForm::kPairFile;
    require(set.records.size() <=
            (pair_file ? 2 * static_cast<std::size_t>(kelto::kMaxPairs) : std::size_t{kelto::kMaxAlignmentRecords}));
    for (const kelto::SequenceRecord &record : set.records) {
        require(record.residues.size() <=
                static_cast<std::size_t>(pair_file ? kelto::kMaxResidues : kelto::kMaxAlignmentColumns));
        require(record.header.size() <= kelto::kMaxHeaderLength);
        require(record.header.find('\n') == std::string::npos);
        const std::string shown = record.name.substr(0, record.name.find('\n'));
        require(record.header.compare(0, shown.size(), shown) == 0);
        require(record.name.size() <= static_cast<std::size_t>(kelto::kMaxNameLength));
        require(std::strlen(record.name.c_str()) == record.name.size());
        const std::size_t line_feed = record.name.find('\n');
        require(line_feed == std::string::npos || line_feed + 1 == record.name.size());
        for (char c : record.residues)
            require(kelto::is_stored_character(c));
    }
}

// Reads the bytes in the form `forced` names (empty: told by the content)
// and checks what the reader and gap-column removal leave.
void read_and_check(std::vector<char> &bytes, std::size_t size, const std::string &forced)
{
    // fmemopen wants a writable buffer and refuses size 0 on older C libraries.
    FILE *in = fmemopen(bytes.data(), size == 0 ? 1 : size, "r");
    if (in == nullptr)
        return;
    if (size == 0)
        std::fgetc(in);  // leave the stream at its end: an empty file

    std::string console;
    kelto::SequenceSet set;
    int shortest = -1;
    std::string message;
    kelto::InputForm form = kelto::InputForm::kPairFile;
    std::vector<int> chosen;
    const kelto::InputOutcome outcome = kelto::read_alignment(in, kelto::InputSource{"input", forced}, kelto::PairChoice{},
                                                              console, message, set, shortest, form, chosen);
    std::fclose(in);
    check_records(set, form);
    if (outcome != kelto::InputOutcome::kRead)
        return;

    const std::size_t count = set.records.size();
    require(count % 2 == 0 && count >= 2 * static_cast<std::size_t>(kelto::kMinPairs));
    std::size_t least = kelto::kMaxAlignmentColumns;
    for (const kelto::SequenceRecord &record : set.records) {
        require(!record.residues.empty());
        least = std::min(least, record.residues.size());
    }
    require(shortest == static_cast<int>(least));

    const int n_minimum = kelto::remove_gap_columns(set, shortest, console);
    require(n_minimum >= 0 && n_minimum <= shortest);
    require(set.records.size() == count);
    check_records(set, form);
    for (std::size_t r = 0; r < count; ++r) {
        const kelto::SequenceRecord &record = set.records[r];
        require(record.residues.size() == static_cast<std::size_t>(n_minimum));
        require(record.residues.find_first_of("-.") == std::string::npos);
        if (set.insert_states)  // insert residues are never analysed
            require(std::none_of(record.residues.begin(), record.residues.end(), [](char c) { return c >= 'a' && c <= 'z'; }));
        const std::vector<int> &numbers = set.residue_numbers[r];
        require(numbers.size() == record.residues.size());
        for (std::size_t k = 0; k < numbers.size(); ++k)
            require(numbers[k] >= record.first_residue && (k == 0 || numbers[k] > numbers[k - 1]));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    std::vector<char> bytes(data, data + size);
    bytes.push_back('\0');
    read_and_check(bytes, size, "");
    if (size > 0 && data[0] == '>')
        read_and_check(bytes, size, "a2m");
    return 0;
}
