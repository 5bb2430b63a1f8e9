// The results stage: SNP_results, the genomic breeding values of the
// training and the independent records, and their validation statistics.
#pragma once

#include <cstdint>
#include <span>

#include "common/text_io.hpp"
#include "estimator/state.hpp"

namespace gp {

// SNP_results' effect and breeding-value lines: a number and two reals, the
// simulated and the estimated value (I6,2F10.2).
inline constexpr int kResultNumberWidth = 6;
inline constexpr int kResultRealWidth = 10;
inline constexpr int kResultDecimals = 2;

// Means, variances (divisor n) and the correlation of simulated and genomic
// breeding values of one set; index 0 is y, 1 s_bv, 2 g_bv.
struct SetStatistics {
  float mean[3];
  float var[3];
  float corr;
};

// Running moments of (y, s_bv, g_bv) over a stream of records, accumulated
// in double with Welford's update, so a large mean does not swamp a small
// variance. With no records every statistic is NaN; the correlation is NaN
// when either breeding value is constant.
class RunningMoments {
 public:
  void add(float y, float s_bv, float g_bv);
  SetStatistics finish() const;

 private:
  int64_t count_ = 0;
  double mean_[3] = {0.0, 0.0, 0.0};
  double squares_[3] = {0.0, 0.0, 0.0};  // sum of squared deviations
  double co_moment_ = 0.0;              // sum of (s_bv - mean)(g_bv - mean)
};

// Writes SNP_results with the training records' values from x and the
// independent records read on from record nrec + 1 of SNP_data, prints
// both blocks of statistics and "Finished in", and ends the program.
[[noreturn]] void report_results(Units& io, EstimatorState& state, CpuClock cpu_seconds);

}  // namespace gp
