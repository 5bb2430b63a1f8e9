#include "estimator/kolber.hpp"

#include <sys/resource.h>

#include "estimator/loading.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/results.hpp"
#include "estimator/solver.hpp"

namespace gp {

float cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double seconds =
      static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) * 1.0e-6;
  return static_cast<float>(seconds);
}

void run_kolber(Units& io, CpuClock clock) {
  static const Layout kBanner = parse_layout("'Program KOLBER 1.1 (Halvenor, QRT)'");
  static const Layout kIterationStart = parse_layout("/'Iteration started at ',F8.2,' seconds'");

  EstimatorState state;
  write_record(io, kConsole, kBanner);
  write_free(io, kConsole, {"variance ratio?"});
  read_free(io, kConsole, {state.var_ratio});
  // Waiting for the answer is not counted: the clock starts after it.
  state.start_time = clock();

  read_setup(io, state);
  allocate_equations(io, state);
  read_training_records(io, state);
  write_free(io, kConsole, {"read"});
  form_diag(state);
  report_diag(io, state);
  write_record(io, kConsole, kIterationStart, {clock() - state.start_time});

  solve_pcg(io, state, clock);
  report_results(io, state, clock);
}

}  // namespace gp
