// How a stage ended: carry on, or stop the run with a given exit status.
#pragma once

#include <string>

namespace kelto {

enum class Status {
    kContinue,     // the stage finished; the run goes on
    kStopInput,    // usage, input or limit error: message printed, exit status 2
    kStopMemory,   // storage could not be obtained: exit status 1
    kStopSignal,   // a signal asked the run to stop: exit status 128 + its number
};

// Why a run stopped before its end, as recorded in the results files.
enum class StopReason {
    kNone,
    kTooManyMinimumPerSize,  // 256 tied minimum windows of one size
    kTooManyMaximumPerSize,
    kTooManyMinimum,  // more than 32 x N_minimum minimum windows in a quartet
    kTooManyMaximum,
    kMemory,
    kWriteError,
    kInterrupted,  // a signal asked the run to stop
};

// The name of a stop in the results files ("completed" for kNone).
inline const char *stop_name(StopReason reason)
{
    switch (reason) {
    case StopReason::kNone: return "completed";
    case StopReason::kTooManyMinimumPerSize: return "too_many_minimum_per_size";
    case StopReason::kTooManyMaximumPerSize: return "too_many_maximum_per_size";
    case StopReason::kTooManyMinimum: return "too_many_minimum";
    case StopReason::kTooManyMaximum: return "too_many_maximum";
    case StopReason::kMemory: return "memory";
    case StopReason::kWriteError: return "write_error";
    case StopReason::kInterrupted: return "interrupted";
    }
    return "unknown";
}

// The "Too many" limit recorded under `name`; kNone for any other name.
inline StopReason limit_stop_from_name(const std::string &name)
{
    for (StopReason reason : {StopReason::kTooManyMinimumPerSize, StopReason::kTooManyMaximumPerSize,
                              StopReason::kTooManyMinimum, StopReason::kTooManyMaximum})
        if (name == stop_name(reason))
            return reason;
    return StopReason::kNone;
}

inline constexpr int kExitOk = 0;
inline constexpr int kExitMemory = 1;
inline constexpr int kExitStopped = 2;

inline int exit_status(Status status)
{
    switch (status) {
    case Status::kContinue: return kExitOk;
    case Status::kStopMemory: return kExitMemory;
    case Status::kStopInput: break;
    case Status::kStopSignal: break;  // the caller knows the signal
    }
    return kExitStopped;
}

}  // namespace kelto
