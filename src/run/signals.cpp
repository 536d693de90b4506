// Stop-signal handlers.
#include "run/signals.hpp"

#include <csignal>

#include <unistd.h>

namespace kelto {

namespace {

// A signal handler can only reach process-wide state.
std::atomic<int> g_stop_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void on_stop_signal(int number)
{
    int expected = 0;
    if (!g_stop_signal.compare_exchange_strong(expected, number))
        _exit(128 + number);  // second signal: no more waiting
}

}  // namespace

const std::atomic<int> &stop_signal() { return g_stop_signal; }

void install_stop_handlers()
{
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
}

}  // namespace kelto
