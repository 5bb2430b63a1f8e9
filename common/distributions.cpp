#include "common/distributions.hpp"

#include <cmath>

#include "common/fixed_math.hpp"

namespace gp {

double RandomDraws::normal() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  double u, v, s;
  do {
    u = 2.0 * bits_.uniform() - 1.0;
    v = 2.0 * bits_.uniform() - 1.0;
    s = u * u + v * v;
  } while (s >= 1.0 || s == 0.0);
  // sqrt is correctly rounded by IEEE 754, so the same on every processor.
  const double m = std::sqrt(-2.0 * fixed_log(s) / s);
  spare_ = v * m;
  has_spare_ = true;
  return u * m;
}

double RandomDraws::gamma(double shape) {
  if (shape < 1.0) {
    const double boost = fixed_exp(fixed_log(bits_.uniform_open()) / shape);
    return gamma(shape + 1.0) * boost;
  }
  const double d = shape - 1.0 / 3.0;
  const double c = 1.0 / std::sqrt(9.0 * d);
  for (;;) {
    double x, v;
    do {
      x = normal();
      v = 1.0 + c * x;
    } while (v <= 0.0);
    v = v * v * v;
    const double u = bits_.uniform();
    const double x2 = x * x;
    // The squeeze accepts most draws without a logarithm.
    if (u < 1.0 - 0.0331 * (x2 * x2)) return d * v;
    if (fixed_log(u) < 0.5 * x2 + d * (1.0 - v + fixed_log(v))) return d * v;
  }
}

double RandomDraws::beta(double a, double b) {
  const double x = gamma(a);
  const double y = gamma(b);
  return x / (x + y);
}

void RandomDraws::dirichlet(std::span<const double> alpha, std::span<double> out) {
  double sum = 0.0;
  for (size_t k = 0; k < alpha.size(); ++k) {
    out[k] = gamma(alpha[k]);
    sum += out[k];
  }
  for (size_t k = 0; k < alpha.size(); ++k) out[k] /= sum;
}

}  // namespace gp
