// Random draws from the distributions the samplers need, built on
// xoshiro256++ with named exact algorithms and the fixed exp and log, so a
// seed gives the same numbers on every processor and with every library.
#pragma once

#include <cstdint>
#include <span>

#include "common/xoshiro.hpp"

namespace gp {

class RandomDraws {
 public:
  explicit RandomDraws(uint64_t seed) : bits_(seed) {}

  // Uniform on [0, 1), 53 random bits.
  double uniform() { return bits_.uniform(); }

  // Standard normal by Marsaglia's polar method (Marsaglia and Bray 1964):
  // u, v uniform on [-1, 1) until 0 < s = u^2 + v^2 < 1, then u m and v m
  // with m = sqrt(-2 log(s) / s). The second value of a pair is returned by
  // the next call.
  double normal();

  // Gamma(shape, 1), shape > 0, by Marsaglia and Tsang (2000); for a shape
  // below 1, Gamma(shape + 1) times U^(1 / shape) as they advise.
  double gamma(double shape);

  // Chi-square with df > 0 degrees of freedom: 2 Gamma(df / 2).
  double chi_square(double df) { return 2.0 * gamma(0.5 * df); }

  // Beta(a, b): X / (X + Y), X ~ Gamma(a), Y ~ Gamma(b), drawn in that order.
  double beta(double a, double b);

  // Dirichlet(alpha): Gamma(alpha_k) for k in order, each divided by their sum.
  void dirichlet(std::span<const double> alpha, std::span<double> out);

 private:
  Xoshiro256pp bits_;
  bool has_spare_ = false;
  double spare_ = 0.0;
};

}  // namespace gp
