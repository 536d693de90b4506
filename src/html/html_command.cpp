// `kelto html RUN.jsonl IN_FILE PAGE.html`: the page's files checked, then
// the page drawn beside its target and put in place whole.
#include "html/html_command.hpp"

#include <string>

#include "common/files.hpp"
#include "common/staged_files.hpp"
#include "common/status.hpp"
#include "page/page.hpp"
#include "page/run_page.hpp"

namespace kelto {

namespace {

int fail(FILE *errors, const std::string &message)
{
    std::fprintf(errors, "kelto html: %s\n", message.c_str());
    std::fflush(errors);
    return kExitStopped;
}

}  // namespace

int html_command(const HtmlRequest &request, FILE *errors)
{
    if (request.positionals.size() != 3)
        return fail(errors, "usage: kelto html RUN.jsonl IN_FILE PAGE.html");
    const std::string &record_path = request.positionals[0];
    const std::string &input_path = request.positionals[1];
    const std::string &page_path = request.positionals[2];
    std::string message;
    StagedFiles staged;
    staged.add("HTML", page_path);
    if (!check_paths({{"the record", record_path, false, false},
                      {"the input", input_path, false, false},
                      {"the page", page_path, true, true}},
                     message) ||
        !lock_targets(staged, message) || !page_replaceable(page_path, message))
        return fail(errors, message);
    if (!stage_files(staged, message) || !draw_page(record_path, input_path, staged.files[0].sink.file, message) ||
        !commit_files(staged, message))
        return fail(errors, message);
    return kExitOk;
}

}  // namespace kelto
