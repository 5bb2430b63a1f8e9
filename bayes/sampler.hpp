// One chain of the Gibbs sampler for y = 1 mu + X b + e, e ~ N(0, var_e I),
// X the training records' codes (-1, 0, +1), a flat prior on mu, the
// variances' priors of priors.hpp, and b by method:
//   brr       b_j ~ N(0, var_b)
//   bayescpi  b_j = 0 with probability pi, else N(0, var_b); pi ~ U(0, 1)
//             (Habier et al. 2011: pi is the probability of NO effect)
//   bayesr    b_j ~ N(0, gamma_k var_g) in class k with probability P_k,
//             gamma = (0, 1e-4, 1e-3, 1e-2), P ~ Dirichlet(1, 1, 1, 1)
//             (Erbe et al. 2012, Moser et al. 2015)
// A SNP whose training records all have the same code tells nothing and
// stays out of the model, its effect 0.
//
// The sweep draws each SNP's effect given mu* = mu + xbar'b instead of mu
// (xbar_j = 1'x_j / n): with the SNPs' columns centred, mu* and the effects
// are a posteriori independent given the variances, while mu and b are
// strongly correlated (the codes' means are far from 0). It is the same
// model and posterior (a flat prior on mu is one on mu*); mu = mu* - xbar'b
// is what the chain reports.
//
// One iteration is a sweep over the design matrix panel by panel (mu* is
// column 0, SNP j column j), then var_b or var_g, then pi or the
// proportions, then var_e, each from its full conditional. The residuals
// e = y - 1 mu* - X_c b are held as a vector f and a number o, e = f + o 1
// (an update of mu* moves o alone; one of SNP effects moves f by X_p d and o
// by xbar_p'd); S tracks 1'f. Per panel p, with G its centred Gram matrix
// (gram.hpp) and s_j = 1'x_j:
//   q = X_p'f by the panel kernel's cross pass; in panel 0, S = q(0);
//   for each column k of the panel in order, with c = G(k,k), b the
//   column's current value and d(l) the changes of the panel's earlier SNP
//   columns:
//     mu*:  r = (S + n o) + n b, the new value drawn as below, o = o - d(0);
//     SNPs: t = q(k) - (s_k / n) S, then t = t - G(k,l) d(l) for
//           l = 0 .. k-1 where d(l) != 0, and r = t + c b, the right-hand
//           side x_ck'(e + x_ck b) with e as it now is; d(k) = new - b;
//   if any SNP's d(k) != 0: f = f - X_p d by the kernel's update pass, then
//   S = S - s_k d(k) and o = o + (s_k / n) d(k) for k ascending.
// After the sweep f = f + o, o = 0.
//
// The draws, with lambda = var_e / var_b and z a standard normal:
//   mu*          r / n + sqrt(var_e / n) z
//   brr          r / l + sqrt(var_e / l) z,  l = c + lambda
//   bayescpi     with v0 = c var_e, v1 = v0 + c c var_b and the log odds of
//                "out" h = 0.5 (log(v1 / v0) - r r / v0 + r r / v1)
//                          + (log(pi) - log(1 - pi)),
//                in with probability 1 / (1 + exp(h)) (a uniform u below it),
//                the effect integrated out (Habier et al. 2011); in: drawn as
//                brr, out: 0
//   bayesr       class k with probability proportional to exp(a_k - max a),
//                a_0 = log P_0, a_k = -0.5 (log(v_k / v0) + r r / v_k - r r / v0)
//                + log P_k, v_k = v0 + c c gamma_k var_g; the class is the
//                first k whose running sum of the weights exceeds u times
//                their sum ((w0 + w1) + w2) + w3; then drawn as brr with
//                l = c + var_e / (gamma_k var_g), or 0 in class 0
// and the hyper-parameters, with m the SNPs in the model (class > 0), p the
// informative SNPs and chi2 a chi-square draw:
//   var_b  = (sum of b_j^2 in the model + S_b) / chi2(m + df)
//   var_g  = (sum of b_j^2 / gamma_k in the model + S_g) / chi2(m + df)
//   pi     = Beta(1 + p - m, 1 + m)             (unless held by --fix-pi)
//   P      = Dirichlet(1 + m_0, ..., 1 + m_3)   (m_k SNPs in class k)
//   var_e  = (f'f + S_e) / chi2(n + df)    (f = e after the sweep)
// var_b (var_g) and var_e are not drawn when held by --fix-var. Sums run in
// ascending order from 0.0; exp and log are fixed_exp and fixed_log. The
// chain starts at mu* = 0, b = 0, pi = --pi, P = (1/4, 1/4, 1/4, 1/4) and the
// variances at their prior modes (or the held values).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "bayes/gram.hpp"
#include "bayes/panel_kernels.hpp"
#include "bayes/priors.hpp"
#include "bayes/settings.hpp"
#include "common/distributions.hpp"

namespace gp::bayes {

class Sampler {
 public:
  // x: the training records' codes, column 0 all +1 (the mean), column j
  // SNP j; y: one value per record, at least two, not all equal. Both must
  // outlive the sampler.
  Sampler(const PanelMatrix& x, std::span<const float> y, const Settings& settings, const PanelKernel& kernel);

  void iterate();

  // The chain's current state: effects()[j] is SNP j's effect (effects()[0]
  // is mu*); classes()[j] is 0 out of the model (or not informative), else
  // the class (1 in for brr and bayescpi, 1..3 for bayesr).
  std::span<const double> effects() const { return b_; }
  // mu = mu* - sum over SNPs j ascending of (s_j / n) b_j.
  double mu() const;
  std::span<const uint8_t> classes() const { return class_; }
  double var_e() const { return var_e_; }
  double var_b() const { return var_b_; }  // var_g for bayesr
  double pi() const { return pi_; }
  const std::array<double, kClasses>& proportions() const { return proportions_; }
  int64_t in_model() const { return in_model_; }
  int64_t informative() const { return informative_; }
  const Priors& priors() const { return priors_; }

 private:
  void sweep();
  double draw(int64_t j, double r, double c);
  void draw_hyper_parameters();
  void refresh();  // the constants of a sweep from the hyper-parameters

  const PanelMatrix& x_;
  Settings settings_;
  const PanelKernel& kernel_;
  PanelGrams grams_;
  RandomDraws draws_;
  Priors priors_;
  std::vector<double> f_;  // the residuals less o, 8 x row_groups (zero past the records)
  double o_ = 0.0;          // the residuals' common part
  double s_ = 0.0;          // 1'f
  std::vector<double> b_;
  std::vector<uint8_t> class_;
  double var_e_ = 0.0, var_b_ = 0.0, pi_ = 0.0;
  std::array<double, kClasses> proportions_{};
  int64_t in_model_ = 0;
  int64_t informative_ = 0;
  // Per sweep: var_e / var_b (var_e / (gamma_k var_g) for bayesr), the log
  // prior odds of "out", and log P_k.
  double lambda_ = 0.0;
  std::array<double, kClasses> class_lambda_{};
  double log_prior_odds_ = 0.0;
  std::array<double, kClasses> log_proportions_{};
};

// The variance of y with divisor n - 1 (two passes, in double).
double sample_variance(std::span<const float> y);

// MSx of priors.hpp: the centred SNP columns' squares over n records, summed
// in column order.
double genotype_variance_sum(const PanelGrams& grams, int64_t columns, int64_t n);

}  // namespace gp::bayes
