// A clean stop on SIGINT, SIGTERM and SIGHUP: the first signal sets a flag
// that the quartet driver and the randomisation loops look at; a second one
// ends the process at once.
#pragma once

#include <atomic>

namespace kelto {

// The number of the first stop signal received, 0 before one arrives.
const std::atomic<int> &stop_signal();

// Installs the handlers (once per process, from main).
void install_stop_handlers();

}  // namespace kelto
