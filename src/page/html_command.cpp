// The html command: checks, reading and trimming the input, then the page.
#include "page/html_command.hpp"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "common/files.hpp"
#include "common/status.hpp"
#include "input/gaps.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"
#include "page/page.hpp"
#include "record/digest.hpp"
#include "record/record.hpp"

namespace kelto {

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

int fail(FILE *console, const std::string &message)
{
    std::fprintf(console, "kelto html: %s\n", message.c_str());
    std::fflush(console);
    return kExitStopped;
}

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

}  // namespace

int html_command(const RunOptions &options, FILE *console)
{
    if (options.positionals.size() != 3)
        return fail(console, "usage: kelto html RUN.jsonl IN_FILE PAGE.html");
    const char *record_path = options.positionals[0].c_str();
    const char *input_path = options.positionals[1].c_str();
    const char *page_path = options.positionals[2].c_str();

    FileHandle record(std::fopen(record_path, "rb"));
    if (!record)
        return fail(console, std::string("cannot open the record ") + record_path + ": " + std::strerror(errno));
    FileHandle input(std::fopen(input_path, "rb"));
    if (!input)
        return fail(console, std::string("cannot open the input ") + input_path + ": " + std::strerror(errno));
    if (same_file(record.get(), page_path) || same_file(input.get(), page_path))
        return fail(console, std::string("the page ") + page_path + " is the record or the input file itself");

    std::string message;
    RunLine run;
    if (!read_run_line(record.get(), record_path, run, message))
        return fail(console, message);
    FileDigest digest;
    if (!digest_stream(input.get(), digest))
        return fail(console, std::string("cannot read the input ") + input_path);
    if (digest.bytes != run.input.bytes || digest.xxh3_128 != run.input.xxh3_128)
        return fail(console, std::string(input_path) + " is not the input of this run (size or XXH3-128 differs from " +
                                 run.input_path + ")");

    const NamedMatrix *matrix = nullptr;
    for (const NamedMatrix &candidate : kMatrixSet)
        if (run.matrix == candidate.name)
            matrix = &candidate;
    if (matrix == nullptr)
        return fail(console, std::string(record_path) + ": unknown matrix \"" + run.matrix + "\"");

    std::rewind(input.get());
    SequenceSet set;
    int shortest = 0;
    std::string discarded;
    std::string reader_message;
    const Status status = read_pair_file(input.get(), discarded, reader_message, set, shortest);
    if (status == Status::kStopMemory)
        return fail(console, "memory allocation failed");
    if (status != Status::kContinue)
        return fail(console, std::string(input_path) + ": " + one_line(reader_message));
    remove_gap_columns(set, shortest, discarded);

    std::rewind(record.get());
    PageData data;
    if (!read_page_data(record.get(), record_path, set, matrix->scores, data, message))
        return fail(console, message);

    FILE *page = std::fopen(page_path, "wb");
    if (page == nullptr)
        return fail(console, std::string("cannot create the page ") + page_path + ": " + std::strerror(errno));
    const bool written = write_page(data, set, matrix->scores, page, message);
    if (std::fclose(page) != 0 || !written) {
        remove_written_file(page_path);
        return fail(console, std::string("cannot write the page ") + page_path + " (disk full?)");
    }
    return kExitOk;
}

}  // namespace kelto
