// Installation and the manual page: `cmake --install` puts the program and
// its page in place, the page and the README's option table describe every
// option `kelto --help` prints, the page carries the program's version, and
// groff formats it without a warning.
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

// Runs a shell command line with standard input from /dev/null; its exit
// status (-1 when it did not exit normally), standard output and error.
RunResult shell(const std::string &command)
{
    TempDir io;
    const int status =
        std::system((command + " </dev/null >" + quote(io.path("out")) + " 2>" + quote(io.path("err"))).c_str());
    RunResult outcome;
    outcome.status = status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.console = read_file(io.path("out"));
    outcome.errors = read_file(io.path("err"));
    return outcome;
}

TEST(InstallTest, InstallPutsTheProgramAndThePageUnderThePrefix)
{
    TempDir prefix;
    const std::string config = KELTO_BUILD_CONFIG;
    const RunResult install = shell(quote(KELTO_CMAKE) + " --install " + quote(KELTO_BUILD_DIR) +
                                    (config.empty() ? "" : " --config " + quote(config)) + " --prefix " +
                                    quote(prefix.dir));
    ASSERT_EQ(install.status, 0) << install.console << install.errors;
    const std::string program = prefix.path("bin/kelto"), page = prefix.path("share/man/man1/kelto.1");
    struct stat info;
    ASSERT_TRUE(stat(program.c_str(), &info) == 0 && S_ISREG(info.st_mode)) << program << " is missing";
    EXPECT_EQ(access(program.c_str(), X_OK), 0);
    EXPECT_EQ(read_file(page), read_file(kPageSource)) << page;

    // The installed program runs (a cross build's under the emulator): with no
    // argument it shows the syntax and stops with status 2, as the built one does.
    const std::string emulator = KELTO_EMULATOR;
    const RunResult installed = shell((emulator.empty() ? "" : emulator + " ") + quote(program));
    EXPECT_EQ(installed.status, 2);
    EXPECT_NE(installed.console.find("Syntax"), std::string::npos) << installed.console;
    EXPECT_EQ(installed.console, run_executable({}).console);
}

// The options kelto --help lists: the lines that start (after blanks) with "--name".
std::set<std::string> help_options()
{
    std::set<std::string> listed;
    std::istringstream help(run_executable({"--help"}).console);
    for (std::string line, word; std::getline(help, line);)
        if (std::istringstream(line) >> word && word.starts_with("--"))
            listed.insert(word);
    return listed;
}

TEST(InstallTest, PageDescribesEveryOptionOfHelpAndTheVersion)
{
    const std::set<std::string> listed = help_options();
    ASSERT_GE(listed.size(), 5u) << "kelto --help lists too few options";

    // The page's: the tags ".B \-\-name" of the .TP entries under .SH OPTIONS.
    const std::string page = read_file(kPageSource);
    const std::size_t from = page.find("\n.SH OPTIONS\n");
    ASSERT_NE(from, std::string::npos);
    const std::string section = page.substr(from, page.find("\n.SH ", from + 1) - from);
    const std::string tag = "\n.TP\n.B \\-\\-";
    std::set<std::string> described;
    for (std::size_t at = section.find(tag); at != std::string::npos; at = section.find(tag, at + 1)) {
        const std::size_t name = at + tag.size();
        described.insert("--" + section.substr(name, section.find_first_of(" \n", name) - name));
    }
    EXPECT_EQ(described, listed) << "the options of man/kelto.1 (.TP entries under .SH OPTIONS) and of kelto --help";

    // .TH KELTO 1 DATE "kelto X.Y.Z" "User Commands"; --version starts "kelto X.Y.Z\n".
    const std::size_t title = page.find("\n.TH KELTO 1 ");
    ASSERT_NE(title, std::string::npos);
    const std::size_t version = page.find("\"kelto ", title) + 1;
    const std::string name = page.substr(version, page.find('"', version) - version);
    EXPECT_TRUE(run_executable({"--version"}).console.starts_with(name + "\n")) << "the page says " << name;
}

TEST(InstallTest, ReadmeOptionTableListsEveryOptionOfHelp)
{
    const std::set<std::string> listed = help_options();
    ASSERT_GE(listed.size(), 5u) << "kelto --help lists too few options";
    // The table's rows under "## Usage": lines "| `--name ...` | meaning |".
    const std::string readme = read_file(KELTO_SOURCE_DIR "/README.md");
    const std::size_t from = readme.find("\n## Usage\n");
    ASSERT_NE(from, std::string::npos);
    std::istringstream usage(readme.substr(from, readme.find("\n## ", from + 1) - from));
    std::set<std::string> tabled;
    for (std::string line; std::getline(usage, line);)
        if (line.starts_with("| `--"))
            tabled.insert(line.substr(3, line.find_first_of(" `", 3) - 3));
    EXPECT_EQ(tabled, listed) << "the options of README.md's table (under ## Usage) and of kelto --help";
}

TEST(InstallTest, GroffFormatsThePageWithoutWarnings)
{
    if (shell("command -v groff").status != 0)
        FAIL() << "groff is not installed; install it (Debian: apt-get install groff-base) to check man/kelto.1";
    for (const std::string device : {"", " -Tutf8", " -Tascii"}) {
        SCOPED_TRACE("groff" + device);
        const RunResult groff = shell("groff -man -ww -z" + device + " " + quote(kPageSource));
        EXPECT_EQ(groff.status, 0);
        EXPECT_EQ(groff.errors, "");
        EXPECT_EQ(groff.console, "");
    }
}

}  // namespace
