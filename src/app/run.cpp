// Run driver: banner, arguments, files, matrix menu, reading, quartets.
#include "app/run.hpp"

#include <cctype>
#include <climits>
#include <memory>
#include <new>
#include <string>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "app/analysis.hpp"
#include "app/quartets.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "input/gaps.hpp"
#include "input/matrices.hpp"
#include "input/pair_file.hpp"

namespace kelto {

namespace {

struct FileCloser {
    void operator()(FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

void write_banner_box(TextSink &sink)
{
    sink_printf(sink, "=            K  E  L  T  O   :  Version  1.0               =\n");
    sink_printf(sink, "============================================================\n");
    sink_printf(sink, "=   Gene quartets: windows of extreme C(k)12 differences   =\n");
    sink_printf(sink, "=   Permutation test over substitution-matrix profiles     =\n");
}

void write_menu(TextSink &console)
{
    sink_printf(console, "Select matrix: \n\n");
    sink_printf(console, "   1- BLOSUM45\n");
    sink_printf(console, "   2- BLOSUM62\n");
    sink_printf(console, "   3- BLOSUM90\n");
    sink_printf(console, "   4- PAM30\n");
    sink_printf(console, "   5- PAM70\n");
    sink_printf(console, "   6- PAM250\n\n\t\tOption= ");
}

enum class Randomisations { kValid, kBelowOne, kTooLarge };

// Decimal conversion as the command line gives it: leading blanks, a sign,
// digits up to the first non-digit; no digits reads as 0.
Randomisations parse_randomisations(const char *text, int &value)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (std::isspace(*p))
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long magnitude = 0;
    for (; std::isdigit(*p); ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > INT_MAX)
            return negative ? Randomisations::kBelowOne : Randomisations::kTooLarge;
    }
    value = static_cast<int>(negative ? -magnitude : magnitude);
    return value < 1 ? Randomisations::kBelowOne : Randomisations::kValid;
}

// Shows the menu until an option 1-6 is read. Returns the option's index
// 0-5, or -1 when the input ends first.
int choose_matrix(const RunIo &io, TextSink &console)
{
    for (;;) {
        write_menu(console);
        sink_flush(console);
        if (io.menu_input_is_terminal)
            tcflush(fileno(io.menu_input), TCIFLUSH);
        const int answer = std::getc(io.menu_input);
        if (answer == EOF)
            return -1;
        for (int c = answer; c != '\n' && c != EOF;)
            c = std::getc(io.menu_input);
        if (answer >= '1' && answer <= '6')
            return answer - '1';
    }
}

bool same_file(FILE *input, const char *report_path)
{
    struct stat in_stat;
    struct stat out_stat;
    return fstat(fileno(input), &in_stat) == 0 && stat(report_path, &out_stat) == 0 &&
           in_stat.st_dev == out_stat.st_dev && in_stat.st_ino == out_stat.st_ino;
}

// Everything after the banner; the caller flushes both sinks.
Status run_stages(int argc, const char *const *argv, const RunIo &io, uint64_t seed, int workers,
                  TextSink &console, TextSink &report)
{
    if (argc < 4) {
        sink_printf(console, "\nSyntax:\n\n KELTO  IN_FILE.TXT  OUT_FILE.TXT  T\n");
        return Status::kStopInput;
    }
    const char *input_name = argv[1];
    const char *report_name = argv[2];
    FileHandle input(std::fopen(input_name, "r"));
    if (!input || same_file(input.get(), report_name)) {
        sink_printf(console, "\n %s  --> %s", input_name, report_name);
        sink_printf(console, "\n Problems with the files!.\n");
        return Status::kStopInput;
    }
    report.file = std::fopen(report_name, "w");
    if (report.file == nullptr) {
        sink_printf(console, "\n %s  --> %s", input_name, report_name);
        sink_printf(console, "\n Problems with the files!.\n");
        return Status::kStopInput;
    }

    int randomisations = 0;
    switch (parse_randomisations(argv[3], randomisations)) {
    case Randomisations::kValid: break;
    case Randomisations::kBelowOne:
        sink_printf(console, "\n T > 0 !!.\n");
        return Status::kStopInput;
    case Randomisations::kTooLarge:
        sink_printf(console, "\n T is too large: at most %d randomisations.\n", INT_MAX);
        return Status::kStopInput;
    }

    const int option = choose_matrix(io, console);
    if (option < 0) {
        sink_printf(console, "\n No matrix option: the input ended before an answer 1 to 6.\n");
        return Status::kStopInput;
    }
    const SubstitutionMatrix matrix = kMatrixSet[static_cast<std::size_t>(option)].scores;
    sink_printf(console, "============================================================\n\n");

    sink_printf(report, "============================================================\n");
    write_banner_box(report);
    sink_printf(report, "============================================================\n");
    sink_printf(report, "\nT = %d \n", randomisations);
    sink_printf(console, "\nT = %d \n", randomisations);

    sink_printf(console, "\n------------------------------------------------------------");
    SequenceSet set;
    int shortest = 0;
    std::string text;
    Status status = read_pair_file(input.get(), text, set, shortest);
    input.reset();
    sink_write(console, text);
    if (status != Status::kContinue)
        return status;

    text.clear();
    const int n_minimum = remove_gap_columns(set, shortest, text);
    sink_write(console, text);

    const AnalysisSettings settings = make_analysis_settings(n_minimum, randomisations, seed);
    return run_quartets(set, matrix, settings, workers, console, report,
                        ProgressTarget{io.progress, io.console_is_terminal});
}

}  // namespace

int run(int argc, const char *const *argv, const RunIo &io, uint64_t seed, int workers)
{
    TextSink console{io.console, {}, false};
    TextSink report;
    sink_printf(console, "\n============================================================\n");
    write_banner_box(console);
    sink_printf(console, "============================================================\n\n");

    Status status = Status::kContinue;
    try {
        status = run_stages(argc, argv, io, seed, workers, console, report);
    } catch (const std::bad_alloc &) {
        sink_printf(console, "\n Memory allocation failed.\n");
        status = Status::kStopMemory;
    }
    if (report.file != nullptr) {
        const bool written = sink_flush(report);
        if (std::fclose(report.file) != 0 || !written) {
            sink_printf(console, "\n Problems writing the report file %s.\n", argv[2]);
            if (status == Status::kContinue)
                status = Status::kStopInput;
        }
        report.file = nullptr;
    }
    sink_flush(console);
    return exit_status(status);
}

}  // namespace kelto
