// Banner, menu, T, reading the input and the outputs' check.
#include "run/startup.hpp"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <climits>
#include <filesystem>
#include <vector>

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "common/compress.hpp"
#include "common/files.hpp"
#include "common/locks.hpp"
#include "input/gaps.hpp"
#include "input/matrices.hpp"
#include "input/alignment.hpp"
#include "page/page.hpp"
#include "profile/profile.hpp"
#include "report/heading.hpp"

namespace kelto {

namespace {

// The menu is a question: it is shown also on a quiet console.
void write_menu(TextSink &console)
{
    sink_message(console, "Select matrix: \n\n");
    sink_message(console, "   1- BLOSUM45\n");
    sink_message(console, "   2- BLOSUM62\n");
    sink_message(console, "   3- BLOSUM90\n");
    sink_message(console, "   4- PAM30\n");
    sink_message(console, "   5- PAM70\n");
    sink_message(console, "   6- PAM250\n\n\t\tOption= ");
}

// Why the report cannot be created or overwritten, or nothing when it can:
// the file, or where it does not exist its directory, must be writable.
std::string report_problem(const std::string &path)
{
    struct stat info;
    int failed = 0;
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            failed = EISDIR;
        else if (access(path.c_str(), W_OK) != 0)
            failed = errno;
    } else {
        const std::filesystem::path parent = std::filesystem::path(path).parent_path();
        if (access(parent.empty() ? "." : parent.c_str(), W_OK | X_OK) != 0)
            failed = errno;
    }
    return failed == 0 ? std::string() : "cannot create " + path + ": " + std::strerror(failed);
}

}  // namespace

void write_banner(TextSink &console)
{
    sink_printf(console, "\n============================================================\n");
    write_banner_box(console);
    sink_printf(console, "============================================================\n\n");
}

void stop_early(PlanDecision &decision, EarlyStop when, const std::string &message)
{
    decision.early_stop = when;
    decision.early_status = Status::kStopInput;
    decision.early_message = message;
}

int worker_count(int threads, int workers, long long quartets)
{
    return static_cast<int>(std::clamp<long long>(threads > 0 ? threads : workers, 1, std::max(quartets, 1LL)));
}

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

bool check_outputs(const PlanFiles &files, TextSink &console)
{
    std::vector<PathUse> uses = {{"the input", files.input_path, false, false},
                                 {"the report", files.report.path, true, false}};
    for (const PlannedFile *file : {&files.json, &files.tsv, &files.html})
        if (!file->path.empty())
            uses.push_back(PathUse{std::string("the ") + file->role + " file", file->path, true, false});
    std::string message;
    if (check_paths(uses, message))
        return true;
    sink_error(console, "%s", message.c_str());
    return false;
}

bool lock_outputs(PlanFiles &files, bool resuming, TextSink &console)
{
    for (const PlannedFile *file : {&files.report, &files.json, &files.tsv, &files.html}) {
        FileLock lock;
        std::string why;
        if (file->path.empty())
            continue;
        if (!lock_output(file->path, !resuming || file == &files.html, lock, why)) {
            sink_error(console, "%s", why.c_str());
            return false;
        }
        if (lock.held()) {
            files.locks.push_back(std::move(lock));
            files.locked.push_back(file->path);
        }
    }
    std::string message;
    if (files.html.path.empty() || page_replaceable(files.html.path, message))
        return true;
    sink_error(console, "%s", message.c_str());
    return false;
}

FileLock *lock_of(PlanFiles &files, const std::string &path)
{
    for (std::size_t i = 0; i < files.locked.size(); ++i)
        if (files.locked[i] == path)
            return &files.locks[i];
    return nullptr;
}

bool open_planned_input(const RunRequest &request, bool resuming, RunPlan &plan, FILE *&input, TextSink &console)
{
    if (request.positionals.size() < 3) {
        sink_message(console, "\nSyntax:\n\n KELTO  IN_FILE.TXT  OUT_FILE.TXT  T\n");
        sink_flush(console);
        if (console.errors != nullptr)
            std::fputs("kelto --help lists the options\n", console.errors);
        plan.decision.refused = Status::kStopInput;
        return false;
    }
    plan.files.input_path = request.positionals[0];
    plan.files.report.path = request.positionals[1];
    plan.files.json.path = request.json_path;
    plan.files.tsv.path = request.tsv_path;
    plan.files.html.path = request.html_path;
    input = std::fopen(plan.files.input_path.c_str(), "r");
    std::string problem;
    if (input == nullptr)
        problem = "cannot open " + plan.files.input_path + ": " + std::strerror(errno);
    else if (same_file(input, plan.files.report.path.c_str()))
        problem = "the report " + plan.files.report.path + " is the input file";
    else
        problem = report_problem(plan.files.report.path);
    if (!problem.empty()) {
        sink_message(console, "\n %s  --> %s", plan.files.input_path.c_str(), plan.files.report.path.c_str());
        sink_message(console, "\n Problems with the files!.\n");
        if (console.errors != nullptr)
            sink_error(console, "%s", problem.c_str());
    } else if (check_outputs(plan.files, console) && lock_outputs(plan.files, resuming, console)) {
        return true;
    }
    if (input != nullptr)
        std::fclose(input);
    input = nullptr;
    plan.decision.refused = Status::kStopInput;
    return false;
}

void read_input(FILE *input, RunPlan &plan, TextSink &console)
{
    std::rewind(input);
    int shortest = 0;
    std::string message;
    InputForm form = InputForm::kPairFile;
    std::vector<int> places;
    PlanInput &read_in = plan.input;
    const InputOutcome outcome =
        read_alignment(input, InputSource{plan.files.input_path, read_in.input_form}, read_in.choice,
                       read_in.setup_console, message, read_in.set, shortest, form, places);
    if (outcome == InputOutcome::kRefused) {
        sink_error(console, "%s", message.c_str());
        plan.decision.refused = Status::kStopInput;
        return;
    }
    if (outcome != InputOutcome::kRead) {
        stop_early(plan.decision, EarlyStop::kAfterReading, message);
        return;
    }
    RunLine &record = plan.input.record;
    record.input_form = input_form_name(form);
    record.pairs_path = plan.input.choice.path;
    record.pairs_xxh3 = plan.input.choice.xxh3;
    record.record_places = places;
    for (const SequenceRecord &r : plan.input.set.records) {
        record.record_lengths.push_back(static_cast<int>(r.residues.size()));
        record.names.push_back(r.header);
        record.accessions.push_back(r.accession);
    }
    record.n_minimum = remove_gap_columns(plan.input.set, shortest, plan.input.setup_console);
    record.gap_columns = shortest - record.n_minimum;
    record.quartets = quartet_count(plan.input.set.pair_count());
    if (record.n_minimum > kMaxResidues) {
        std::string text;
        appendf(text, "\n The alignment keeps %d columns after gap-column removal; at most %d can be analysed.\n",
                record.n_minimum, kMaxResidues);
        stop_early(plan.decision, EarlyStop::kAfterReading, text);
        return;
    }
    plan.input.scores = all_pair_scores(plan.input.set, plan.input.matrix.scores);
}

}  // namespace kelto
