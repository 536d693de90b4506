// Where refusals go: every class of refusal (an option, a matrix file, a
// pairs file, a record, a merge) is one "kelto: ..." line on standard error,
// and standard output carries none of it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using namespace kelto::testing;

TEST(MessagesTest, EveryRefusalClassGoesToStandardErrorOnly)
{
    TempDir dir;
    const std::string in = dir.path("in.txt"), out = dir.path("out.txt");
    write_file(in, pair_file({"ARND", "ARND", "ARNE", "ARND"}));
    write_file(dir.path("bad.mat"), "# no letters\n1 2 3\n");
    write_file(dir.path("pairs.txt"), "s0 nobody\n");
    write_file(dir.path("rec.jsonl"), "not a record\n");
    const struct {
        const char *refusal;
        std::vector<std::string> args;
        const char *message;  // the start of the standard-error line, after "kelto: "
    } cases[] = {
        {"option", {"--bogus", in, out, "5"}, "unknown option '--bogus'"},
        {"matrix file", {"--matrix", dir.path("bad.mat"), in, out, "5"}, "the matrix file "},
        {"pairs file", {"--matrix", "2", "--pairs", dir.path("pairs.txt"), in, out, "5"}, "the pairs file "},
        {"record", {"--resume", "--json", dir.path("rec.jsonl"), in, out, "5"}, "cannot resume: "},
        {"merge", {"merge", dir.path("merged.txt"), dir.path("rec.jsonl")}, "merge: "},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.refusal);
        const RunResult r = run_executable(c.args);
        EXPECT_EQ(r.status, 2);
        const std::string line = std::string("kelto: ") + c.message;
        EXPECT_NE(r.errors.find(line), std::string::npos) << r.errors;
        // The message's words are nowhere on standard output.
        EXPECT_EQ(r.console.find(c.message), std::string::npos) << r.console;
    }
}

}  // namespace
