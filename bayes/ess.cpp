#include "bayes/ess.hpp"

#include <algorithm>
#include <limits>

namespace gp::bayes {

double effective_sample_size(std::span<const double> chain) {
  const size_t n = chain.size();
  if (n < 4) return std::numeric_limits<double>::quiet_NaN();
  double mean = 0.0;
  for (double x : chain) mean += x;
  mean /= static_cast<double>(n);
  const auto autocovariance = [&](size_t lag) {
    double sum = 0.0;
    for (size_t t = 0; t + lag < n; ++t) sum += (chain[t] - mean) * (chain[t + lag] - mean);
    return sum / static_cast<double>(n);
  };
  const double variance = autocovariance(0);
  if (!(variance > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  double sum = 0.0;
  double previous = std::numeric_limits<double>::infinity();
  for (size_t lag = 0; lag + 1 < n; lag += 2) {
    const double pair = (autocovariance(lag) + autocovariance(lag + 1)) / variance;
    if (pair <= 0.0) break;
    previous = std::min(previous, pair);
    sum += previous;
  }
  return static_cast<double>(n) / (-1.0 + 2.0 * sum);
}

}  // namespace gp::bayes
