// The priors of the variances and the rule that sets them from the data.
//
// Every variance has a scaled inverse chi-square prior with df = 5 degrees
// of freedom and scale S, p(v) proportional to v^-(df/2 + 1) exp(-S / (2 v)),
// whose mode is S / (df + 2) and mean S / (df - 2). The scales put the prior
// modes where they split the variance of the training records' y, V_y
// (divisor n - 1), by an assumed R^2 = 0.5 (the rule of BGLR, Perez and de los
// Campos 2014):
//   residual     mode var_e = V_y (1 - R^2)
//   brr          mode var_b = V_y R^2 / MSx
//   bayescpi     mode var_b = V_y R^2 / (MSx (1 - pi))      pi: --pi
//   bayesr       mode var_g = V_y R^2 / (MSx sum_k gamma_k / 4)
// where MSx = sum over SNPs of x_j'x_j / n - (1'x_j / n)^2, the genotypes'
// summed variance: a SNP effect of variance v then explains MSx v of V_y on
// average. bayescpi divides by the prior share of SNPs in the model, bayesr
// by its average variance multiplier under the Dirichlet(1, 1, 1, 1) mean of
// the proportions.
#pragma once

#include "bayes/settings.hpp"

namespace gp::bayes {

struct Priors {
  static constexpr double kDf = 5.0;
  static constexpr double kR2 = 0.5;
  double scale_e = 0.0;  // S of var_e
  double scale_b = 0.0;  // S of var_b (var_g for bayesr)
};

// The scales for `method` from V_y and MSx (a MSx of 0, no SNP that
// varies, is taken as 1); pi is --pi.
Priors prior_rule(Method method, double var_y, double msx, double pi);

// The prior mode S / (df + 2).
inline double prior_mode(double scale) { return scale / (Priors::kDf + 2.0); }

}  // namespace gp::bayes
