// Option table, parser and help text.
#include "cli/options.hpp"

#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>

#include "input/forms.hpp"
#include "input/matrix_file.hpp"

namespace kelto {

namespace {

enum class OptionId { kSeed, kMatrix, kPairs, kFormat, kFamily, kExceedances, kFamilyNull, kThreads, kQuiet, kJson, kTsv, kHtml, kResume, kShard, kHelp, kVersion };

// The commands an option belongs to, as bits.
constexpr unsigned kRunOnly = 1u << static_cast<unsigned>(Command::kRun);
constexpr unsigned kOutputs = kRunOnly | 1u << static_cast<unsigned>(Command::kMerge);
constexpr unsigned kEvery = kOutputs | 1u << static_cast<unsigned>(Command::kHtml);

struct OptionSpec {
    OptionId id;
    const char *name;      // without the leading "--"
    const char *argument;  // nullptr for a flag
    unsigned commands;     // the commands that take it
    const char *help;
};

constexpr OptionSpec kOptions[] = {
    {OptionId::kSeed, "seed", "S", kRunOnly, "seed of the random draws, 0 to 18446744073709551615 (default: the clock)"},
    {OptionId::kMatrix, "matrix", "M", kRunOnly,
     "a matrix file in the NCBI format where M names a file, else 1-6, BLOSUM45, BLOSUM62, BLOSUM90, PAM30, "
     "PAM70, PAM250, else ncbi-data's file of that name (BLOSUM80); no menu"},
    {OptionId::kPairs, "pairs", "FILE", kRunOnly,
     "the pairs to analyse, in order: one per line, two record ids (a header's first word)"},
    {OptionId::kFormat, "format", "FORM", kRunOnly,
     "read the input as pairs, fasta, a2m, a3m, stockholm or clustal (default: told by its content, .a2m and .a3m "
     "by the file name)"},
    {OptionId::kFamily, "family-randomisations", "J_MAX", kRunOnly,
     "most random arrangements of the family-wise scan test per quartet, 0 (off) to 2147483647 (default: 999999)"},
    {OptionId::kExceedances, "family-exceedances", "H", kRunOnly,
     "stop a quartet's family-wise test at the H-th arrangement as extreme as the profile, 1 to 1000000 "
     "(default: 10)"},
    {OptionId::kFamilyNull, "family-null", "NULL", kRunOnly,
     "what the family-wise test arranges: 'positions' (default) or 'blocks:L', blocks of L consecutive positions"},
    {OptionId::kThreads, "threads", "N", kRunOnly, "worker threads, 1 to 1024 (default: the CPUs this process may use)"},
    {OptionId::kQuiet, "quiet", nullptr, kRunOnly, "standard output gets only the messages of stops and errors"},
    {OptionId::kJson, "json", "FILE", kOutputs, "write a JSON Lines record of the run to FILE"},
    {OptionId::kTsv, "tsv", "FILE", kOutputs, "write the final windows as a tab-separated table to FILE"},
    {OptionId::kHtml, "html", "FILE", kOutputs, "write a self-contained HTML page of the run to FILE at its end"},
    {OptionId::kResume, "resume", nullptr, kRunOnly, "continue the interrupted run recorded in the --json file"},
    {OptionId::kShard, "shard", "K/N", kRunOnly, "analyse only the K-th of N blocks of quartets (needs --seed)"},
    {OptionId::kHelp, "help", nullptr, kEvery, "show this help and exit"},
    {OptionId::kVersion, "version", nullptr, kRunOnly,
     "show the version and the randomisation kernel in use, and exit (the banner's 'Version 1.0' names the "
     "report's format)"},
};

bool parse_unsigned(const std::string &text, uint64_t &value)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return false;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

// A whole number from `low` to `high` into `out`, or the refusal that
// names the option and the range.
bool whole_number(const std::string &name, const std::string &value, uint64_t low, uint64_t high, uint64_t &out,
                  std::string &error)
{
    if (parse_unsigned(value, out) && out >= low && out <= high)
        return true;
    error = name + ": '" + value + "' is not a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    return false;
}

// --matrix: a file of that name first (./BLOSUM62 included), then a
// built-in, then ncbi-data's file of that name.
bool apply_matrix(const std::string &name, const std::string &value, RunRequest &run, std::string &error)
{
    if (value.empty()) {
        error = name + ": the matrix is empty";
        return false;
    }
    std::error_code missing;
    run.matrix = std::filesystem::exists(value, missing) && !std::filesystem::is_directory(value, missing)
                     ? -1
                     : matrix_from_text(value);
    run.matrix_path = run.matrix < 0 ? value : std::string();
    if (run.matrix < 0 && !std::filesystem::exists(matrix_file_path(value), missing)) {
        error = name + ": '" + value +
                "' is not 1 to 6, a built-in matrix (BLOSUM45, BLOSUM62, BLOSUM90, PAM30, PAM70, PAM250) or a "
                "matrix file";
        return false;
    }
    return true;
}

bool apply(const OptionSpec &entry, const std::string &value, RunOptions &options, std::string &error)
{
    const std::string name = std::string("--") + entry.name;
    uint64_t number = 0;
    switch (entry.id) {
    case OptionId::kSeed:
        if (!whole_number(name, value, 0, UINT64_MAX, options.run.seed, error))
            return false;
        options.run.seed_given = true;
        return true;
    case OptionId::kMatrix: return apply_matrix(name, value, options.run, error);
    case OptionId::kFamily:
        if (!whole_number(name, value, 0, INT32_MAX, number, error))
            return false;
        options.run.family_randomisations = static_cast<long long>(number);
        return true;
    case OptionId::kExceedances:
        if (!whole_number(name, value, 1, 1000000, number, error))
            return false;
        options.run.family_exceedances = static_cast<int>(number);
        return true;
    case OptionId::kFamilyNull: {
        uint64_t block = 0;
        if (value == "positions") {
            options.run.family_block = 1;
            return true;
        }
        if (value.compare(0, 7, "blocks:") != 0 || !parse_unsigned(value.substr(7), block) || block < 1 ||
            block > 1000000) {
            error = name + ": '" + value + "' is not 'positions' or 'blocks:L' with L from 1 to 1000000";
            return false;
        }
        options.run.family_block = static_cast<int>(block);
        return true;
    }
    case OptionId::kThreads:
        if (!whole_number(name, value, 1, kMaxThreads, number, error))
            return false;
        options.run.threads = static_cast<int>(number);
        return true;
    case OptionId::kFormat: {
        InputForm form = InputForm::kPairFile;
        if (!input_form_from_name(value, form)) {
            error = name + ": '" + value + "' is not pairs, fasta, a2m, a3m, stockholm or clustal";
            return false;
        }
        options.run.format = input_form_name(form);
        return true;
    }
    case OptionId::kPairs:
    case OptionId::kJson:
    case OptionId::kTsv:
    case OptionId::kHtml:
        if (value.empty()) {
            error = name + ": the file name is empty";
            return false;
        }
        (entry.id == OptionId::kPairs  ? options.run.pairs_path
         : entry.id == OptionId::kJson ? options.run.json_path
         : entry.id == OptionId::kTsv  ? options.run.tsv_path
                                       : options.run.html_path) = value;
        return true;
    case OptionId::kShard: {
        const std::size_t slash = value.find('/');
        uint64_t k = 0, n = 0;
        if (slash == std::string::npos || !parse_unsigned(value.substr(0, slash), k) ||
            !parse_unsigned(value.substr(slash + 1), n) || k < 1 || n < k || n > 1000000) {
            error = name + ": '" + value + "' is not K/N with 1 <= K <= N <= 1000000";
            return false;
        }
        options.run.shard_index = static_cast<int>(k);
        options.run.shard_count = static_cast<int>(n);
        return true;
    }
    case OptionId::kQuiet: options.run.quiet = true; return true;
    case OptionId::kResume: options.run.resume = true; return true;
    case OptionId::kHelp: options.help = true; return true;
    case OptionId::kVersion: options.version = true; return true;
    }
    return true;
}

const OptionSpec *find_option(Command command, const std::string &name)
{
    for (const OptionSpec &entry : kOptions)
        if (name == entry.name && (entry.commands & (1u << static_cast<unsigned>(command))) != 0)
            return &entry;
    return nullptr;
}

}  // namespace

int matrix_from_text(const std::string &text) { return builtin_matrix_index(text); }

Command command_of(int argc, const char *const *argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "merge") == 0)
        return Command::kMerge;
    if (argc >= 2 && std::strcmp(argv[1], "html") == 0)
        return Command::kHtml;
    return Command::kRun;
}

bool parse_options(Command command, int argc, const char *const *argv, RunOptions &options, std::string &error)
{
    bool options_ended = false;
    for (int i = command == Command::kRun ? 1 : 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!options_ended && arg == "-h") {
            options.help = true;
            continue;
        }
        // One dash and a letter is an option mistyped (-threads): refused,
        // never taken for an argument. "-5" stays a value of T.
        if (!options_ended && arg.size() >= 2 && arg[0] == '-' && std::isalpha(static_cast<unsigned char>(arg[1]))) {
            error = "unknown option '" + arg + "' (options start with two dashes; -h is --help)";
            return false;
        }
        if (options_ended || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            options.run.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const std::size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSpec *entry = find_option(command, name);
        if (entry == nullptr) {
            error = "unknown option '" + arg.substr(0, equals) + "'";
            return false;
        }
        std::string value;
        if (entry->argument == nullptr) {
            if (equals != std::string::npos) {
                error = "--" + name + " takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "--" + name + " needs a value " + entry->argument;
            return false;
        }
        if (!apply(*entry, value, options, error))
            return false;
    }
    if (options.run.resume && options.run.json_path.empty()) {
        error = "--resume needs --json FILE: the record of the run to continue";
        return false;
    }
    if (options.run.shard_count > 0 && !options.run.seed_given) {
        error = "--shard needs --seed S: every shard of a run must draw from the same stream";
        return false;
    }
    return true;
}

void usage_error(Command command, const std::string &error, FILE *out)
{
    if (command == Command::kMerge)
        merge_usage_error(error, out);
    else
        html_usage_error(error, out);
}

RunRequest run_request(const RunOptions &o) { return o.run; }

MergeRequest merge_request(const RunOptions &o)
{
    return MergeRequest{
        .positionals = o.run.positionals, .json_path = o.run.json_path, .tsv_path = o.run.tsv_path, .html_path = o.run.html_path};
}

HtmlRequest html_request(const RunOptions &o)
{
    return HtmlRequest{.positionals = o.run.positionals};
}

std::string help_text()
{
    std::string text = "Usage: kelto [OPTIONS] IN_FILE OUT_FILE T\n"
                       "       kelto merge [--json OUT.jsonl] [--tsv OUT.tsv] [--html PAGE.html] OUT_REPORT PART.jsonl...\n"
                       "       kelto html RUN.jsonl IN_FILE PAGE.html\n"
                       "Compares gene quartets of aligned protein pairs: the C(k)12 profile, its extreme windows\n"
                       "against a permutation null distribution with T randomisations per window size.\n\n"
                       "Options:\n";
    for (const OptionSpec &entry : kOptions) {
        std::string left = std::string("  --") + entry.name;
        if (entry.argument != nullptr)
            left += std::string(" ") + entry.argument;
        left.resize(std::max<std::size_t>(left.size() + 2, 20), ' ');
        text += left + entry.help + "\n";
    }
    return text;
}

}  // namespace kelto
