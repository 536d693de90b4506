// The command line: options through the one table, --help and --version,
// then the command.
#include "cli/entry.hpp"

#include <cstdlib>
#include <string>

#include "cli/options.hpp"
#include "common/status.hpp"
#include "html/html_command.hpp"
#include "merge/merge.hpp"
#include "run/run.hpp"
#include "windows/kernel.hpp"

namespace kelto {

namespace {

const char *kernel_description(KernelKind kind)
{
    switch (kind) {
    case KernelKind::kAvx512: return "avx512 (draws computed eight at a time, ahead of the exchanges)";
    case KernelKind::kAvx2: return "avx2 (draws computed eight at a time, ahead of the exchanges)";
    case KernelKind::kNeon: return "neon (draws computed two at a time)";
    case KernelKind::kScalar: break;
    }
    return "scalar (one draw at a time)";
}

void print_version(FILE *out)
{
    std::fprintf(out, "kelto %s\n", kProgramVersion);
    std::fprintf(out, "randomisation kernel: %s\n", kernel_description(active_kernel()));
}

}  // namespace

int run(int argc, const char *const *argv, const RunIo &io, uint64_t clock_seed, int workers)
{
    const Command command = command_of(argc, argv);
    RunOptions options;
    std::string error;
    if (!parse_options(command, argc, argv, options, error)) {
        if (command == Command::kRun)
            std::fprintf(io.errors, "kelto: %s\n%s", error.c_str(), kUsageLine);
        else
            usage_error(command, error, io.errors);
        return kExitStopped;
    }
    if (options.help) {
        std::fputs(help_text().c_str(), io.console);
        return kExitOk;
    }
    switch (command) {
    case Command::kMerge: return run_merge(merge_request(options), io);
    case Command::kHtml: return html_command(html_request(options), io.errors);
    case Command::kRun: break;
    }
    // KELTO_KERNEL forces a kernel for tests and benchmarks.
    KernelKind kernel = KernelKind::kScalar;
    if (!choose_kernel(std::getenv("KELTO_KERNEL"), kernel, error)) {
        std::fprintf(io.errors, "kelto: %s\n", error.c_str());
        return kExitStopped;
    }
    set_active_kernel(kernel);
    if (options.version) {
        print_version(io.console);
        return kExitOk;
    }
    return run_analysis(run_request(options), io, clock_seed, workers);
}

}  // namespace kelto
