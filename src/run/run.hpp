// A run of the analysis: the plan for its mode, then its execution.
#pragma once

#include <cstdint>

#include "common/run_io.hpp"
#include "run/request.hpp"

namespace kelto {

// Runs the analysis the request describes and returns the exit status.
// `clock_seed` seeds the draws unless --seed is given or the run resumes;
// `workers` is the thread count unless --threads is given.
int run_analysis(const RunRequest &request, const RunIo &io, uint64_t clock_seed, int workers);

}  // namespace kelto
