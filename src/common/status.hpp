// How a stage ended: carry on, or stop the run with a given exit status.
#pragma once

namespace kelto {

enum class Status {
    kContinue,     // the stage finished; the run goes on
    kStopInput,    // usage, input or limit error: message printed, exit status 2
    kStopMemory,   // storage could not be obtained: exit status 1
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitMemory = 1;
inline constexpr int kExitStopped = 2;

inline int exit_status(Status status)
{
    switch (status) {
    case Status::kContinue: return kExitOk;
    case Status::kStopMemory: return kExitMemory;
    case Status::kStopInput: break;
    }
    return kExitStopped;
}

}  // namespace kelto
