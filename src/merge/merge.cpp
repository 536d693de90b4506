// The merge command: parts read and checked, then the merged files written
// and put in place, then the page when asked for.
#include "merge/merge.hpp"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "common/locks.hpp"
#include "common/status.hpp"
#include "common/text.hpp"
#include "merge/merged_files.hpp"
#include "merge/parts.hpp"
#include "page/html_command.hpp"
#include "page/page.hpp"

namespace kelto {

namespace {

// The outputs in the order they are put in place: report, TSV, page, and
// the record last, so that it never describes files that are not there.
void plan_outputs(const RunOptions &options, StagedFiles &outputs)
{
    outputs.add("report", options.positionals[0]);
    if (!options.tsv_path.empty())
        outputs.add("TSV", options.tsv_path);
    if (!options.html_path.empty())
        outputs.add("HTML", options.html_path);
    if (!options.json_path.empty())
        outputs.add("JSON", options.json_path);
}

StagedFile *staged(StagedFiles &outputs, const char *role)
{
    for (StagedFile &file : outputs.files)
        if (std::string(file.role) == role)
            return &file;
    return nullptr;
}

// Writes every output into its staged file, the page drawn from the staged
// record, then puts them all in place; false after a message, every target
// then as it was.
bool write_outputs(const std::vector<const Part *> &used, const std::string &heading, const std::string &input,
                   StagedFiles &outputs, long long &written, TextSink &console)
{
    std::string error;
    if (!stage_files(outputs, error)) {
        sink_error(console, "merge: %s", error.c_str());
        return false;
    }
    StagedFile *json = staged(outputs, "JSON");
    StagedFile *page = staged(outputs, "HTML");
    written = write_merged(used, heading, outputs.files[0], staged(outputs, "TSV"), json, console);
    if (written < 0)
        return false;
    if (page != nullptr) {
        // The page of the whole run, from the merged record and the input
        // file the record names (as the html command draws it).
        if (!sink_flush(json->sink) || !draw_page(json->temp, input, page->sink.file, error)) {
            sink_error(console, "merge: %s", error.c_str());
            return false;
        }
    }
    if (!commit_files(outputs, error)) {
        sink_error(console, "merge: %s", error.c_str());
        return false;
    }
    return true;
}

MergedKinds merged_kinds(const RunOptions &options)
{
    return MergedKinds{compression_of(options.positionals[0]), compression_of(options.tsv_path),
                       !options.tsv_path.empty()};
}

bool page_fits(const RunOptions &options, TextSink &console)
{
    std::string why;
    if (options.html_path.empty() || page_replaceable(options.html_path, why))
        return true;
    sink_error(console, "merge: %s", why.c_str());
    return false;
}

bool lock_outputs(StagedFiles &outputs, TextSink &console)
{
    std::string busy;
    if (lock_targets(outputs, busy))
        return true;
    sink_error(console, "merge: %s", busy.c_str());
    return false;
}

int merge(const RunOptions &options, TextSink &console)
{
    if (options.positionals.size() < 2) {
        usage_error(Command::kMerge, "an output report and at least one part are needed",
                    console.errors != nullptr ? console.errors : console.file);
        return kExitStopped;
    }
    if (!options.html_path.empty() && options.json_path.empty()) {
        usage_error(Command::kMerge, "--html needs --json: the page is drawn from the merged record", console.file);
        return kExitStopped;
    }
    std::vector<Part> parts;
    if (!read_parts({options.positionals.begin() + 1, options.positionals.end()}, parts, console) ||
        !check_one_run(parts, console))
        return kExitStopped;
    std::vector<Part *> order;
    for (Part &part : parts)
        order.push_back(&part);
    std::stable_sort(order.begin(), order.end(),
                     [](const Part *a, const Part *b) { return a->shard().index < b->shard().index; });
    if (!check_coverage(order, console))
        return kExitStopped;

    StagedFiles outputs;
    plan_outputs(options, outputs);
    std::vector<const Part *> used;
    std::string heading;
    long long written = 0;
    const std::string input = options.html_path.empty() ? std::string() : order.front()->record.run.input_path;
    if (!check_outputs(outputs, parts, order.front()->record.run.input_path, console) ||
        !lock_outputs(outputs, console) || !page_fits(options, console) ||
        !choose_used(order, merged_kinds(options), used, heading, console) ||
        !write_outputs(used, heading, input, outputs, written, console))
        return kExitStopped;

    const Part &last = *used.back();
    const bool stopped = last.record.limit_stop != StopReason::kNone;
    if (stopped)
        sink_message(console, "kelto merge: %s: the run stopped at quartet %lld (%s); the merged files end there\n",
                     last.path.c_str(), last.record.next_quartet() - 1, last.record.end.status.c_str());
    sink_message(console, "kelto merge: %zu parts, %lld quartets written to %s\n", parts.size(), written,
                 options.positionals[0].c_str());
    return stopped ? kExitStopped : kExitOk;
}

}  // namespace

int run_merge(const RunOptions &options, const RunIo &io)
{
    TextSink console;
    console.file = io.console;
    console.errors = io.errors;
    int status = kExitStopped;
    try {
        status = merge(options, console);
    } catch (const std::bad_alloc &) {
        sink_error(console, "merge: memory allocation failed");
        status = kExitMemory;
    }
    sink_flush(console);
    return status;
}

}  // namespace kelto
