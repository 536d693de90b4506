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
#include "page/page.hpp"
#include "page/run_page.hpp"

namespace kelto {

namespace {

// The outputs in the order they are put in place: report, TSV, page, and
// the record last, so that it never describes files that are not there.
void plan_outputs(const MergeRequest &request, StagedFiles &outputs)
{
    outputs.add("report", request.positionals[0]);
    if (!request.tsv_path.empty())
        outputs.add("TSV", request.tsv_path);
    if (!request.html_path.empty())
        outputs.add("HTML", request.html_path);
    if (!request.json_path.empty())
        outputs.add("JSON", request.json_path);
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

MergedKinds merged_kinds(const MergeRequest &request)
{
    return MergedKinds{compression_of(request.positionals[0]), compression_of(request.tsv_path),
                       !request.tsv_path.empty()};
}

bool page_fits(const MergeRequest &request, TextSink &console)
{
    std::string why;
    if (request.html_path.empty() || page_replaceable(request.html_path, why))
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

int merge(const MergeRequest &request, TextSink &console)
{
    if (request.positionals.size() < 2) {
        merge_usage_error("an output report and at least one part are needed",
                    console.errors != nullptr ? console.errors : console.file);
        return kExitStopped;
    }
    if (!request.html_path.empty() && request.json_path.empty()) {
        merge_usage_error("--html needs --json: the page is drawn from the merged record", console.file);
        return kExitStopped;
    }
    std::vector<Part> parts;
    if (!read_parts({request.positionals.begin() + 1, request.positionals.end()}, parts, console) ||
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
    plan_outputs(request, outputs);
    std::vector<const Part *> used;
    std::string heading;
    long long written = 0;
    const std::string input = request.html_path.empty() ? std::string() : order.front()->record.run.input_path;
    if (!check_outputs(outputs, parts, order.front()->record.run.input_path, console) ||
        !lock_outputs(outputs, console) || !page_fits(request, console) ||
        !choose_used(order, merged_kinds(request), used, heading, console) ||
        !write_outputs(used, heading, input, outputs, written, console))
        return kExitStopped;

    const Part &last = *used.back();
    const bool stopped = last.record.limit_stop != StopReason::kNone;
    if (stopped)
        sink_message(console, "kelto merge: %s: the run stopped at quartet %lld (%s); the merged files end there\n",
                     last.path.c_str(), last.record.next_quartet() - 1, last.record.end.status.c_str());
    sink_message(console, "kelto merge: %zu parts, %lld quartets written to %s\n", parts.size(), written,
                 request.positionals[0].c_str());
    return stopped ? kExitStopped : kExitOk;
}

}  // namespace

int run_merge(const MergeRequest &request, const RunIo &io)
{
    TextSink console;
    console.file = io.console;
    console.errors = io.errors;
    int status = kExitStopped;
    try {
        status = merge(request, console);
    } catch (const std::bad_alloc &) {
        sink_error(console, "merge: memory allocation failed");
        status = kExitMemory;
    }
    sink_flush(console);
    return status;
}

}  // namespace kelto
