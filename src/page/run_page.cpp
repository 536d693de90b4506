// The page of a recorded run: the input read, checked against the record
// and trimmed, then the page drawn from the record.
#include "page/run_page.hpp"

#include <cerrno>
#include <cstring>
#include <string>

#include "common/digest.hpp"
#include "common/files.hpp"
#include "input/gaps.hpp"
#include "input/alignment.hpp"
#include "input/matrix_file.hpp"
#include "page/page.hpp"
#include "record/record.hpp"

namespace kelto {

namespace {

// The reader's message (blank lines and padding around it) on one line.
std::string one_line(const std::string &text)
{
    std::string line;
    for (char c : text) {
        const bool blank = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (blank && (line.empty() || line.back() == ' '))
            continue;
        line += blank ? ' ' : c;
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line;
}

// The run's input read and trimmed, after checking it is the recorded one.
bool read_run_input(const RunLine &run, const std::string &input_path, SequenceSet &set, std::string &message)
{
    FileHandle input(std::fopen(input_path.c_str(), "rb"));
    if (!input) {
        message = "cannot open the input " + input_path + ": " + std::strerror(errno);
        return false;
    }
    FileDigest digest;
    if (!digest_stream(input.get(), digest)) {
        message = "cannot read the input " + input_path;
        return false;
    }
    if (digest.bytes != run.input.bytes || digest.xxh3_128 != run.input.xxh3_128) {
        message = input_path + " is not the input of this run (size or XXH3-128 differs from " + run.input_path + ")";
        return false;
    }
    std::rewind(input.get());
    int shortest = 0;
    std::string discarded, reader_message;
    InputForm form = InputForm::kPairFile;
    std::vector<int> places;
    const PairChoice choice{run.pairs_path, run.pairs_xxh3, {}, {}, run.record_places};
    const InputSource source{input_path, run.format > 1 ? run.input_form : ""};  // the form the run read
    if (read_alignment(input.get(), source, choice, discarded, reader_message, set, shortest, form, places) !=
        InputOutcome::kRead) {
        message = input_path + ": " + one_line(reader_message);
        return false;
    }
    remove_gap_columns(set, shortest, discarded);
    return true;
}

}  // namespace

bool draw_page(const std::string &record_path, const std::string &input_path, FILE *page, std::string &message)
{
    std::string why;
    FileHandle record(open_regular(record_path, why));
    if (!record) {
        message = "cannot open the record " + record_path + ": " + why;
        return false;
    }
    RunLine run;
    if (!read_run_line(record.get(), record_path, run, message))
        return false;
    SubstitutionMatrix scores{};
    matrix_from_values(run.matrix_values, scores);  // the record's reader checked them
    SequenceSet set;
    if (!read_run_input(run, input_path, set, message))
        return false;
    return write_html_page(record.get(), record_path, set, scores, [page] { return page; }, message);
}

}  // namespace kelto
