// Preconditioned conjugate gradients on (X'X + var_ratio * K) sol = X'y, with
// the diagonal of the coefficient matrix as preconditioner.
#pragma once

#include <cstdint>

#include "common/text_io.hpp"
#include "estimator/state.hpp"

namespace gp {

struct PcgOutcome {
  double crit;    // relative squared residual of the last round
  int32_t round;  // round that met the criterion, or 111 at the limit
};

// Clears sol and iterates until the criterion falls below the threshold,
// turns out not a number, or 110 rounds have run. Prints nothing.
PcgOutcome iterate_pcg(Units& io, EstimatorState& state);

// iterate_pcg, then the line "convergence of ... reached in ... rounds and
// ... seconds" with the processor time since start_time.
void solve_pcg(Units& io, EstimatorState& state, CpuClock cpu_seconds);

}  // namespace gp
