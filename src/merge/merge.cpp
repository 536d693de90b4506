// The merge command: parts read and checked, then the merged files written
// and put in place, then the page when asked for.
#include "merge/merge.hpp"

#include <algorithm>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "common/status.hpp"
#include "common/text.hpp"
#include "merge/merged_files.hpp"
#include "merge/parts.hpp"
#include "page/html_command.hpp"

namespace kelto {

namespace {

// The outputs in the order they are put in place: report, TSV, JSON (the
// record last, so that it never describes files that are not there).
void plan_outputs(const RunOptions &options, Outputs &outputs)
{
    outputs.files.push_back(Output{"report", options.positionals[0], {}, {}});
    if (!options.tsv_path.empty())
        outputs.files.push_back(Output{"TSV", options.tsv_path, {}, {}});
    if (!options.json_path.empty())
        outputs.files.push_back(Output{"JSON", options.json_path, {}, {}});
}

// Writes the outputs and renames them into place; false after a message.
bool write_outputs(const RunOptions &options, const std::vector<const Part *> &used, const std::string &heading,
                   Outputs &outputs, long long &written, TextSink &console)
{
    std::string error;
    for (Output &output : outputs.files)
        if (!open_temp(output, error)) {
            sink_message(console, "kelto merge: %s\n", error.c_str());
            return false;
        }
    Output *tsv = options.tsv_path.empty() ? nullptr : &outputs.files[1];
    Output *json = options.json_path.empty() ? nullptr : &outputs.files.back();
    written = write_merged(used, heading, outputs.files[0], tsv, json, console);
    if (written < 0)
        return false;
    for (Output &output : outputs.files)
        if (!close_output(output)) {
            sink_message(console, "kelto merge: cannot write the %s file %s\n", output.role, output.path.c_str());
            return false;
        }
    for (Output &output : outputs.files)
        if (std::rename(output.temp.c_str(), output.path.c_str()) != 0) {
            sink_message(console, "kelto merge: cannot put the %s file in place as %s\n", output.role,
                         output.path.c_str());
            return false;
        }
    outputs.committed = true;
    return true;
}

int merge(const RunOptions &options, TextSink &console)
{
    if (options.positionals.size() < 2) {
        usage_error(Command::kMerge, "an output report and at least one part are needed", console.file);
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

    Outputs outputs;
    plan_outputs(options, outputs);
    std::vector<const Part *> used;
    std::string heading;
    long long written = 0;
    if (!check_outputs(outputs.files, parts, console) ||
        !choose_used(order, !options.tsv_path.empty(), used, heading, console) ||
        !write_outputs(options, used, heading, outputs, written, console))
        return kExitStopped;

    const Part &last = *used.back();
    const bool stopped = last.record.limit_stop != StopReason::kNone;
    if (stopped)
        sink_message(console, "kelto merge: %s: the run stopped at quartet %lld (%s); the merged files end there\n",
                     last.path.c_str(), last.record.next_quartet() - 1, last.record.end.status.c_str());
    sink_message(console, "kelto merge: %zu parts, %lld quartets written to %s\n", parts.size(), written,
                 options.positionals[0].c_str());
    if (!options.html_path.empty()) {
        // The page of the whole run, from the merged record and the input
        // file the record names (as the html command draws it).
        RunOptions html;
        html.positionals = {options.json_path, order.front()->record.run.input_path, options.html_path};
        sink_flush(console);
        if (html_command(html, console.file) != kExitOk)
            return kExitStopped;
    }
    return stopped ? kExitStopped : kExitOk;
}

}  // namespace

int run_merge(const RunOptions &options, const RunIo &io)
{
    TextSink console;
    console.file = io.console;
    int status = kExitStopped;
    try {
        status = merge(options, console);
    } catch (const std::bad_alloc &) {
        sink_message(console, "kelto merge: memory allocation failed\n");
        status = kExitMemory;
    }
    sink_flush(console);
    return status;
}

}  // namespace kelto
