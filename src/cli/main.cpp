// Command-line entry: reads the clock, the terminal state and the CPUs this
// process may use, then hands over to the run driver.
#include <unistd.h>

#if defined(__linux__)
#include <sched.h>
#endif

#include <ctime>
#include <thread>

#include "cli/entry.hpp"

namespace {

// The CPUs of the affinity mask where the system has one (Linux), else
// every CPU the library reports.
int usable_cpus()
{
#if defined(__linux__) && defined(CPU_COUNT)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
#endif
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? static_cast<int>(hardware) : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    kelto::RunIo io;
    io.menu_input_is_terminal = isatty(STDIN_FILENO) == 1;
    io.progress = isatty(STDERR_FILENO) == 1 ? stderr : nullptr;
    io.console_is_terminal = isatty(STDOUT_FILENO) == 1;
    io.handle_stop_signals = true;
    const auto seed = static_cast<uint64_t>(std::time(nullptr));
    return kelto::run(argc, argv, io, seed, usable_cpus());
}
