#include "bayes/priors.hpp"

namespace gp::bayes {

Priors prior_rule(Method method, double var_y, double msx, double pi) {
  constexpr double kModeToScale = Priors::kDf + 2.0;
  const double genetic = var_y * Priors::kR2 / (msx > 0.0 ? msx : 1.0);
  double share = 1.0;
  if (method == Method::BayesCpi) share = 1.0 - pi;
  if (method == Method::BayesR) share = (kGamma[0] + kGamma[1] + kGamma[2] + kGamma[3]) / kClasses;
  return {.scale_e = var_y * (1.0 - Priors::kR2) * kModeToScale, .scale_b = genetic / share * kModeToScale};
}

}  // namespace gp::bayes
