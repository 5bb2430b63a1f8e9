#include "estimator/solver.hpp"

#include <cmath>
#include <vector>

#include "estimator/lhs_product.hpp"

namespace gp {

namespace {

constexpr int32_t kRoundLimit = 110;
constexpr int32_t kRefreshEvery = 100;  // rounds whose residual is recomputed from sol
// The threshold is the single-precision constant widened, 9.9999998245e-15,
// not the double 1.0e-14.
constexpr double kThreshold = static_cast<double>(1.0e-14f);

// The solver's double-precision work vectors, allocated once per call.
struct Work {
  std::vector<double> precon, r, z, p, w, v, u, row_sums;
};

Work allocate_work(Units& io, const EstimatorState& state) {
  Work work;
  for (std::vector<double>* vec : {&work.precon, &work.r, &work.z, &work.p, &work.w, &work.v, &work.u}) {
    *vec = allocate_array<double>(io, state.neq);
  }
  work.row_sums = allocate_array<double>(io, row_sums_size(state.x));
  return work;
}

// Inverse diagonal, each quotient formed in single precision; the mean's
// equation carries no ratio.
void set_preconditioner(const EstimatorState& state, std::vector<double>& precon) {
  for (size_t j = 0; j < precon.size(); ++j) {
    precon[j] = static_cast<double>(1.0f / (state.var_ratio + state.diag[j]));
  }
  precon[0] = static_cast<double>(1.0f / state.diag[0]);
}

float sum_of_squares(const std::vector<float>& values) {
  float sum = 0.0f;
  for (float value : values) sum = value * value + sum;
  return sum;
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  double sum = 0.0;
  for (size_t j = 0; j < a.size(); ++j) sum = a[j] * b[j] + sum;
  return sum;
}

}  // namespace

PcgOutcome iterate_pcg(Units& io, EstimatorState& state) {
  Work work = allocate_work(io, state);
  auto& [precon, r, z, p, w, v, u, row_sums] = work;
  const size_t n = precon.size();
  set_preconditioner(state, precon);
  for (size_t j = 0; j < n; ++j) {
    state.sol[j] = 0.0f;
    r[j] = static_cast<double>(state.xpy[j]);
  }
  const double ssq_rhs = static_cast<double>(sum_of_squares(state.xpy));

  double tau_old = 0.0;
  double crit = 0.0;
  int32_t round = 1;
  for (;;) {
    for (size_t j = 0; j < n; ++j) z[j] = precon[j] * r[j];
    const double tau = dot(r, z);
    if (round == 1) {
      p = z;
    } else {
      const double beta = tau / tau_old;
      for (size_t j = 0; j < n; ++j) p[j] = beta * p[j] + z[j];
    }
    lhs_product(state.x, state.var_ratio, p, row_sums, w);
    const double alpha = tau / dot(p, w);
    for (size_t j = 0; j < n; ++j) {
      state.sol[j] = static_cast<float>(alpha * p[j] + static_cast<double>(state.sol[j]));
    }
    if (round % kRefreshEvery != 0) {
      for (size_t j = 0; j < n; ++j) r[j] = r[j] - alpha * w[j];
    } else {
      for (size_t j = 0; j < n; ++j) v[j] = static_cast<double>(state.sol[j]);
      lhs_product(state.x, state.var_ratio, v, row_sums, u);
      for (size_t j = 0; j < n; ++j) r[j] = static_cast<double>(state.xpy[j]) - u[j];
    }
    crit = dot(r, r) / ssq_rhs;
    if (crit < kThreshold || std::isnan(crit)) break;
    tau_old = tau;
    if (++round > kRoundLimit) break;
  }
  return {crit, round};
}

void solve_pcg(Units& io, EstimatorState& state, CpuClock cpu_seconds) {
  static const Layout kConvergence =
      parse_layout("'convergence of ',E8.2,' reached in ',I5,' rounds and ',F0.2,' seconds'");
  const PcgOutcome outcome = iterate_pcg(io, state);
  const float elapsed = cpu_seconds() - state.start_time;
  write_record(io, kConsole, kConvergence, {outcome.crit, outcome.round, elapsed});
}

}  // namespace gp
