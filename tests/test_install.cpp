// Installation and the manual page: `cmake --install` puts the program and
// its page in place, the page lists every option `kelto --help` prints, and
// groff formats the page without a warning.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "test_support.hpp"

namespace {

using namespace kelto::testing;

const std::string kPageSource = KELTO_SOURCE_DIR "/man/kelto.1";

// A word for /bin/sh: in single quotes, each ' written as '\''.
std::string quote(const std::string &word)
{
    std::string text = "'";
    for (const char c : word)
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

struct Outcome {
    int status = -1;  // exit status, -1 when the command did not exit normally
    std::string out, err;
};

// Runs a shell command line with standard input from /dev/null and both
// output streams kept.
Outcome shell(const std::string &command)
{
    TempDir io;
    const int status = std::system((command + " </dev/null >" + quote(io.path("out")) + " 2>" +
                                    quote(io.path("err")))
                                       .c_str());
    Outcome outcome;
    outcome.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = read_file(io.path("out"));
    outcome.err = read_file(io.path("err"));
    return outcome;
}

bool is_regular_file(const std::string &path, mode_t *mode = nullptr)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    if (mode != nullptr)
        *mode = info.st_mode;
    return true;
}

bool is_name_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

// Reads "--name" at `at`; empty when there is none.
std::string option_at(const std::string &line, std::size_t at)
{
    if (line.compare(at, 2, "--") != 0)
        return "";
    std::size_t end = at + 2;
    while (end < line.size() && is_name_character(line[end]))
        ++end;
    return end > at + 2 ? line.substr(at, end - at) : "";
}

// The options of a --help text: the lines whose first non-blank characters
// are "--" give their first "--name", and a name after it that only ", "
// separates ("  --help, --version").
std::set<std::string> help_options(const std::string &help)
{
    std::set<std::string> options;
    std::istringstream lines(help);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t at = line.find_first_not_of(" \t");
        std::string name = at == std::string::npos ? "" : option_at(line, at);
        while (!name.empty()) {
            options.insert(name);
            at += name.size();
            name = line.compare(at, 2, ", ") == 0 ? option_at(line, at + 2) : "";
            at += 2;
        }
    }
    return options;
}

// The options the page's OPTIONS section describes: every ".TP" entry whose
// tag line is ".B \-\-name ...", as "--name".
std::set<std::string> page_options(const std::string &page)
{
    std::set<std::string> options;
    std::istringstream lines(page);
    std::string line, previous;
    bool in_options = false;
    while (std::getline(lines, line)) {
        if (line.rfind(".SH", 0) == 0)
            in_options = line == ".SH OPTIONS";
        const std::string tag = ".B \\-\\-";
        if (in_options && previous == ".TP" && line.rfind(tag, 0) == 0) {
            std::size_t end = tag.size();
            while (end < line.size() && is_name_character(line[end]))
                ++end;
            options.insert("--" + line.substr(tag.size(), end - tag.size()));
        }
        previous = line;
    }
    return options;
}

TEST(InstallTest, InstallPutsTheProgramAndThePageUnderThePrefix) {
    TempDir prefix;
    const std::string config = KELTO_BUILD_CONFIG;
    const Outcome install = shell(quote(KELTO_CMAKE) + " --install " + quote(KELTO_BUILD_DIR) +
                                  (config.empty() ? "" : " --config " + quote(config)) + " --prefix " +
                                  quote(prefix.dir));
    ASSERT_EQ(install.status, 0) << install.out << install.err;

    const std::string program = prefix.path("bin/kelto"), page = prefix.path("share/man/man1/kelto.1");
    mode_t mode = 0;
    ASSERT_TRUE(is_regular_file(program, &mode)) << program << " is missing\n" << install.out;
    EXPECT_NE(mode & S_IXUSR, 0u);
    EXPECT_EQ(access(program.c_str(), X_OK), 0);
    ASSERT_TRUE(is_regular_file(page)) << page << " is missing\n" << install.out;
    EXPECT_EQ(read_file(page), read_file(kPageSource));

    // The installed program runs: with no argument it shows the syntax and
    // stops with status 2, as the built one does.
    // A cross build runs its programs under the emulator.
    const std::string emulator = KELTO_EMULATOR;
    const Outcome installed = shell((emulator.empty() ? "" : emulator + " ") + quote(program));
    const Outcome built = shell(quote(KELTO_EXE));
    EXPECT_EQ(installed.status, 2);
    EXPECT_NE(installed.out.find("Syntax"), std::string::npos) << installed.out;
    EXPECT_EQ(installed.out, built.out);
    EXPECT_EQ(installed.status, built.status);
}

TEST(InstallTest, HelpParsingTakesEveryOptionLine) {
    const std::string help = "Usage: kelto [OPTIONS] IN_FILE OUT_FILE T\n"
                             "       kelto merge [--json OUT.jsonl] OUT_REPORT PART.jsonl...\n"
                             "  --seed S        decimal, instead of the clock\n"
                             "\t--shard K/N     needs --seed\n"
                             "  --help, --version\n"
                             "  -x --not-an-option-line\n";
    EXPECT_EQ(help_options(help), (std::set<std::string>{"--seed", "--shard", "--help", "--version"}));
    const std::string page = ".SH SYNOPSIS\n.TP\n.B \\-\\-synopsis\n.SH OPTIONS\n.TP\n.B \\-\\-seed \" \" \\fIS\\fR\n"
                             "text \\-\\-mentioned\n.TP\n.B \\-\\-quiet\n.SH EXIT STATUS\n.TP\n.B \\-\\-after\n";
    EXPECT_EQ(page_options(page), (std::set<std::string>{"--seed", "--quiet"}));
}

TEST(InstallTest, PageDescribesEveryOptionOfHelpAndNoOther) {
    const Outcome help = shell(quote(KELTO_EXE) + " --help");
    const std::set<std::string> listed = help_options(help.out);
    ASSERT_GE(listed.size(), 5u) << "kelto --help lists " << listed.size()
                                 << " options (lines starting with blanks and --name); it printed:\n"
                                 << help.out << help.err;
    const std::set<std::string> described = page_options(read_file(kPageSource));
    for (const std::string &option : listed)
        EXPECT_EQ(described.count(option), 1u) << option << " has no .TP entry \".B \\-\\" << option.substr(1)
                                               << "\" under .SH OPTIONS in man/kelto.1";
    for (const std::string &option : described)
        EXPECT_EQ(listed.count(option), 1u) << "man/kelto.1 describes " << option << ", which kelto --help does not list";
}

TEST(InstallTest, PageCarriesTheProgramVersion) {
    // .TH KELTO 1 DATE "kelto X.Y.Z" "User Commands"
    const std::string page = read_file(kPageSource);
    const std::string mark = "\"kelto ";
    const std::size_t title = page.find("\n.TH KELTO 1 ");
    ASSERT_NE(title, std::string::npos);
    const std::size_t from = page.find(mark, title);
    ASSERT_NE(from, std::string::npos);
    const std::size_t to = page.find('"', from + mark.size());
    ASSERT_NE(to, std::string::npos);
    const std::string version = page.substr(from + mark.size(), to - from - mark.size());
    ASSERT_FALSE(version.empty());

    const Outcome shown = shell(quote(KELTO_EXE) + " --version");
    EXPECT_EQ(shown.status, 0) << shown.out << shown.err;
    std::istringstream words(shown.out);
    std::set<std::string> tokens;
    for (std::string word; words >> word;)
        tokens.insert(word);
    EXPECT_EQ(tokens.count(version), 1u) << "the page says version " << version << "; kelto --version printed:\n"
                                         << shown.out;
}

TEST(InstallTest, GroffFormatsThePageWithoutWarnings) {
    if (shell("command -v groff").status != 0)
        FAIL() << "groff is not installed; install it (Debian: apt-get install groff-base) to check man/kelto.1";
    for (const std::string device : {"", " -Tutf8", " -Tascii"}) {
        SCOPED_TRACE("groff" + device);
        const Outcome groff = shell("groff -man -ww -z" + device + " " + quote(kPageSource));
        EXPECT_EQ(groff.status, 0);
        EXPECT_EQ(groff.err, "");
        EXPECT_EQ(groff.out, "");
    }
}

}  // namespace
