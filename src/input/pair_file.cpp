// Pair file reader: count line, records, echo and length report.
#include "input/pair_file.hpp"

#include <climits>

#include "common/text.hpp"
#include "input/byte_reader.hpp"
#include "input/residues.hpp"

namespace kelto {

namespace {

int skip_space(ByteReader &reader)
{
    int c = reader.next();
    while (is_space(c))
        c = reader.next();
    return c;
}

enum class CountLine { kRead, kMalformed, kOutOfRange };

// Reads "#", optional white space, a signed decimal integer and the white
// space after it. `after` receives the first byte past that white space.
CountLine read_count_line(ByteReader &reader, int &count, int &after)
{
    if (reader.next() != '#')
        return CountLine::kMalformed;
    int c = skip_space(reader);
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = reader.next();
    }
    if (c < '0' || c > '9')
        return CountLine::kMalformed;
    long long magnitude = 0;
    bool out_of_range = false;
    for (; c >= '0' && c <= '9'; c = reader.next()) {
        if (!out_of_range) {
            magnitude = magnitude * 10 + (c - '0');
            if (magnitude > static_cast<long long>(INT_MAX) + 1)
                out_of_range = true;
        }
    }
    if (!negative && magnitude > INT_MAX)
        out_of_range = true;
    if (out_of_range)
        return CountLine::kOutOfRange;
    count = static_cast<int>(negative ? -magnitude : magnitude);
    after = is_space(c) ? skip_space(reader) : c;
    return CountLine::kRead;
}

const char *missing_record_message(int record)
{
    switch (record) {
    case 0: return "\n\n Not in FASTA format. \n";
    case 1: return "\n\n Error: 3 sequences are absent. \n";
    case 2: return "\n\n Error : 2 sequences are absent. \n";
    case 3: return "\n\n Error: 1 sequence is absent. \n";
    default: return "\n\n Error!, absent sequences. \n";
    }
}

}  // namespace

Header read_header(ByteReader &reader)
{
    Header header;
    bool nul = false;
    bool line_ended = false;
    for (int length = 0; length < kMaxNameLength && !line_ended; ++length) {
        const int c = reader.next();
        if (c == EOF) {
            line_ended = true;
            break;
        }
        nul = nul || c == '\0';
        line_ended = c == '\n';
        if (!nul)
            header.name.push_back(static_cast<char>(c));
        if (!nul && !line_ended)
            header.line.push_back(static_cast<char>(c));
    }
    if (line_ended)
        return header;
    for (int c = reader.next(); c != EOF && c != '\n'; c = reader.next()) {
        header.cut = true;
        nul = nul || c == '\0';
        if (nul)
            continue;
        if (header.line.size() < kMaxHeaderLength)
            header.line.push_back(static_cast<char>(c));
        else
            header.line_cut = true;
    }
    return header;
}

void take_header(SequenceRecord &record, Header &&header)
{
    record.name = std::move(header.name);
    record.header = std::move(header.line);
    record.header_cut = header.cut;
    record.header_line_cut = header.line_cut;
}

Status check_pair_count(int pairs, std::string &console, std::string &message)
{
    if (pairs < kMinPairs || pairs > kMaxPairs)
        appendf(message, "\n Pairs of Sequences = %d", pairs);
    else
        appendf(console, "\n Pairs of Sequences = %d", pairs);
    if (pairs < kMinPairs) {
        appendf(message, "\n\n Minimum 2 Pairs of Sequences. \n");
        return Status::kStopInput;
    }
    if (pairs > kMaxPairs) {
        appendf(message, "\n\n \xbf%d?, Too many sequences. \n", pairs);
        return Status::kStopInput;
    }
    return Status::kContinue;
}

Status list_lengths(const SequenceSet &set, std::string &console, std::string &message, int &shortest)
{
    const int record_count = static_cast<int>(set.records.size());
    for (int i = 0; i < record_count; ++i) {
        const int length = static_cast<int>(set.records[static_cast<std::size_t>(i)].residues.size());
        if (i == 0) {
            appendf(console, "\n N[ 0] = %d ", length);
            if (length == 0) {
                appendf(message, "\n ERROR IN THE FIRST SEQUENCE.\n");
                return Status::kStopInput;
            }
            shortest = length;
            continue;
        }
        appendf(console, "\n N[%2d] = %d ", i, length);
        if (length == 0) {
            appendf(message, "\n ERROR IN THE SEQUENCE %d.\n", i);
            return Status::kStopInput;
        }
        if (length < shortest)
            shortest = length;
    }
    return Status::kContinue;
}

Status read_pair_file(FILE *in, std::string &console, std::string &message, SequenceSet &set, int &shortest)
{
    ByteReader reader{in};
    int pairs = 0;
    int c = EOF;
    switch (read_count_line(reader, pairs, c)) {
    case CountLine::kRead: break;
    case CountLine::kMalformed:
        appendf(message, "\n The first line must be \"# P\", with P the number of pairs.\n");
        return Status::kStopInput;
    case CountLine::kOutOfRange:
        appendf(message, "\n The number of pairs on the first line is out of range.\n");
        return Status::kStopInput;
    }

    if (check_pair_count(pairs, console, message) != Status::kContinue)
        return Status::kStopInput;

    const int record_count = 2 * pairs;
    set.records.assign(static_cast<std::size_t>(record_count), SequenceRecord{});

    for (int i = 0; i < record_count; ++i) {
        if (c == EOF)
            appendf(console, "\n");
        else
            appendf(console, "\n%c", c);
        if (c != '>') {
            appendf(message, "%s", missing_record_message(i));
            return Status::kStopInput;
        }
        SequenceRecord &record = set.records[static_cast<std::size_t>(i)];
        take_header(record, read_header(reader));
        appendf(console, "%s", record.name.c_str());

        for (c = reader.next(); c != EOF && c != '>'; c = reader.next()) {
            if (!is_stored_character(c))
                continue;
            if (record.residues.size() == static_cast<std::size_t>(kMaxResidues)) {
                appendf(message, "\n Sequence %d has more than %d residues.\n", i, kMaxResidues);
                return Status::kStopInput;
            }
            record.residues.push_back(static_cast<char>(c));
            console.push_back(static_cast<char>(c));
        }
    }
    appendf(console, "\n------------------------------------------------------------\n");

    return list_lengths(set, console, message, shortest);
}

Status read_pair_file(FILE *in, std::string &console, SequenceSet &set, int &shortest)
{
    std::string message;
    const Status status = read_pair_file(in, console, message, set, shortest);
    console += message;
    return status;
}

}  // namespace kelto
