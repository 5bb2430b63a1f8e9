// The estimator's main procedure: prompt, loading, normal equations, solver,
// results. Owns the one EstimatorState of the run.
#pragma once

#include "common/text_io.hpp"
#include "estimator/state.hpp"

namespace gp {

// User-mode processor time of this process in seconds (kernel time is not
// counted); its first reading is not zero.
float cpu_seconds();

// Runs the whole estimation on the files of `io` and ends the program.
[[noreturn]] void run_kolber(Units& io, CpuClock clock);

}  // namespace gp
