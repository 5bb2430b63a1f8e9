// The effective sample size against chains whose autocorrelation time is
// known: independent draws, AR(1) chains, and the chains that have none.
#include "bayes/ess.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace gp::bayes {
namespace {

// x(t) = rho x(t-1) + noise: tau = (1 + rho) / (1 - rho).
std::vector<double> ar1(double rho, size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  std::vector<double> chain(n);
  double x = noise(rng) / std::sqrt(1.0 - rho * rho);
  for (double& v : chain) v = x = rho * x + noise(rng);
  return chain;
}

TEST(EffectiveSampleSize, ChainsOfKnownAutocorrelationTime) {
  struct Case {
    double rho;
    double tolerance;  // relative
  };
  const Case cases[] = {{0.0, 0.1}, {0.5, 0.15}, {0.9, 0.25}, {-0.5, 0.2}};
  constexpr size_t kN = 20000;
  for (const Case& c : cases) {
    const double expected = kN * (1.0 - c.rho) / (1.0 + c.rho);
    EXPECT_NEAR(effective_sample_size(ar1(c.rho, kN, 3)) / expected, 1.0, c.tolerance) << "rho " << c.rho;
  }
}

TEST(EffectiveSampleSize, NoneForConstantOrTooShortChains) {
  EXPECT_TRUE(std::isnan(effective_sample_size(std::vector<double>(100, 2.5))));
  EXPECT_TRUE(std::isnan(effective_sample_size(std::vector<double>{1.0, 2.0, 3.0})));
  EXPECT_TRUE(std::isnan(effective_sample_size(std::vector<double>{})));
  EXPECT_GT(effective_sample_size(std::vector<double>{1.0, 2.0, 1.5, 3.0}), 0.0);
}

}  // namespace
}  // namespace gp::bayes
