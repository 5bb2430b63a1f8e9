// The plain reference of the sampler: the same chain as bayes/sampler.hpp
// defines it, computed with straightforward loops over unpacked codes (no
// packed matrix, no kernels, no Gram matrices held), one SNP after the other
// in the panels' arithmetic: the residuals as f + o, the SNPs' columns
// centred.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "bayes/priors.hpp"
#include "bayes/settings.hpp"
#include "common/distributions.hpp"
#include "common/fixed_math.hpp"
#include "matrices.hpp"

namespace gp::bayes::testing {

class ReferenceSampler {
 public:
  ReferenceSampler(const Codes& x, const std::vector<float>& y, const Settings& settings)
      : x_(x), s_(settings), draws_(settings.seed), f_(y.begin(), y.end()), b_(x.cols, 0.0), class_(x.cols, 0) {
    const double n = static_cast<double>(x.rows);
    double sum = 0.0;
    for (float v : y) sum += v;
    double squares = 0.0;
    for (float v : y) squares += (v - sum / n) * (v - sum / n);
    double msx = 0.0;
    for (int64_t j = 1; j < x.cols; ++j) msx += centred(j, j) / n;
    priors_ = prior_rule(s_.method, squares / (n - 1.0), msx, s_.pi);
    var_e_ = s_.fix_var ? s_.var_e : priors_.scale_e / (Priors::kDf + 2.0);
    var_b_ = s_.fix_var ? s_.var_b : priors_.scale_b / (Priors::kDf + 2.0);
    pi_ = s_.pi;
    proportions_.fill(0.25);
  }

  void iterate() {
    const double n = static_cast<double>(x_.rows);
    for (int64_t first = 0; first < x_.cols; first += 8) {
      const int64_t last = std::min(x_.cols, first + 8);
      std::vector<double> q(8, 0.0), d(8, 0.0);
      for (int64_t j = first; j < last; ++j) {
        double s[8] = {};
        for (int64_t i = 0; i < x_.rows; ++i) {
          if (x_.at(i, j) == 1) s[i % 8] = s[i % 8] + f_[i];
          if (x_.at(i, j) == -1) s[i % 8] = s[i % 8] - f_[i];
        }
        q[j - first] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
      }
      if (first == 0) sum_ = q[0];
      for (int64_t j = first; j < last; ++j) {
        if (j == 0) {
          const double drawn = draw(0, (sum_ + n * o_) + n * b_[0], n);
          o_ = o_ - (drawn - b_[0]);
          b_[0] = drawn;
          continue;
        }
        const double c = centred(j, j);
        if (c == 0.0) continue;
        double t = q[j - first] - static_cast<double>(product(j, 0, true)) / n * sum_;
        for (int64_t l = std::max<int64_t>(first, 1); l < j; ++l) {
          if (d[l - first] != 0.0) t = t - centred(j, l) * d[l - first];
        }
        const double r = t + c * b_[j];
        const double drawn = draw(j, r, c);
        d[j - first] = drawn - b_[j];
        b_[j] = drawn;
      }
      if (std::none_of(d.begin(), d.end(), [](double v) { return v != 0.0; })) continue;
      for (int64_t i = 0; i < x_.rows; ++i) {
        double s = 0.0;
        for (int64_t j = first; j < last; ++j) {
          if (x_.at(i, j) == 1) s = s + d[j - first];
          if (x_.at(i, j) == -1) s = s - d[j - first];
        }
        f_[i] = f_[i] - s;
      }
      for (int64_t j = first; j < last; ++j) {
        const double column_sum = static_cast<double>(product(j, 0, true));
        sum_ = sum_ - column_sum * d[j - first];
        o_ = o_ + column_sum / n * d[j - first];
      }
    }
    for (double& v : f_) v = v + o_;
    o_ = 0.0;
    hyper_parameters();
  }

  const std::vector<double>& effects() const { return b_; }
  double var_e() const { return var_e_; }
  double var_b() const { return var_b_; }
  double pi() const { return pi_; }
  const std::array<double, 4>& proportions() const { return proportions_; }

 private:
  // Sum over records of x(i,j) x(i,l), or of x(i,j) alone.
  int64_t product(int64_t j, int64_t l, bool alone = false) const {
    int64_t sum = 0;
    for (int64_t i = 0; i < x_.rows; ++i) sum += x_.at(i, j) * (alone ? 1 : x_.at(i, l));
    return sum;
  }

  // The product of SNP columns j and l centred.
  double centred(int64_t j, int64_t l) const {
    return static_cast<double>(product(j, l)) -
           static_cast<double>(product(j, 0, true)) * static_cast<double>(product(l, 0, true)) / static_cast<double>(x_.rows);
  }

  double draw(int64_t j, double r, double c) {
    if (j == 0) return r / c + std::sqrt(var_e_ / c) * draws_.normal();
    double ratio = var_e_ / var_b_;
    if (s_.method == Method::Brr) class_[j] = 1;
    if (s_.method == Method::BayesCpi) {
      const double v0 = c * var_e_;
      const double v1 = v0 + c * c * var_b_;
      const double odds = 0.5 * (fixed_log(v1 / v0) - r * r / v0 + r * r / v1) + (fixed_log(pi_) - fixed_log(1.0 - pi_));
      class_[j] = draws_.uniform() < 1.0 / (1.0 + fixed_exp(odds)) ? 1 : 0;
    }
    if (s_.method == Method::BayesR) {
      const double v0 = c * var_e_;
      double a[4] = {fixed_log(proportions_[0])};
      for (int k = 1; k < 4; ++k) {
        const double vk = v0 + c * c * kGamma[k] * var_b_;
        a[k] = -0.5 * (fixed_log(vk / v0) + r * r / vk - r * r / v0) + fixed_log(proportions_[k]);
      }
      const double top = std::max({a[0], a[1], a[2], a[3]});
      double w[4];
      for (int k = 0; k < 4; ++k) w[k] = fixed_exp(a[k] - top);
      const double u = draws_.uniform() * (((w[0] + w[1]) + w[2]) + w[3]);
      int k = 0;
      double running = w[0];
      while (k < 3 && u >= running) running += w[++k];
      class_[j] = k;
      ratio = var_e_ / (kGamma[k] * var_b_);
    }
    if (class_[j] == 0) return 0.0;
    const double l = c + ratio;
    return r / l + std::sqrt(var_e_ / l) * draws_.normal();
  }

  void hyper_parameters() {
    double squares = 0.0;
    int64_t count[4] = {}, informative = 0;
    for (int64_t j = 1; j < x_.cols; ++j) {
      if (centred(j, j) == 0.0) continue;
      ++informative;
      ++count[class_[j]];
      if (class_[j] > 0) {
        squares += s_.method == Method::BayesR ? b_[j] * b_[j] / kGamma[class_[j]] : b_[j] * b_[j];
      }
    }
    const int64_t in = informative - count[0];
    if (!s_.fix_var) var_b_ = (squares + priors_.scale_b) / draws_.chi_square(static_cast<double>(in) + 5.0);
    if (s_.method == Method::BayesCpi && !s_.fix_pi) pi_ = draws_.beta(1.0 + count[0], 1.0 + in);
    if (s_.method == Method::BayesR) {
      const double alpha[4] = {1.0 + count[0], 1.0 + count[1], 1.0 + count[2], 1.0 + count[3]};
      draws_.dirichlet(alpha, proportions_);
    }
    if (!s_.fix_var) {
      double sse = 0.0;
      for (double v : f_) sse += v * v;
      var_e_ = (sse + priors_.scale_e) / draws_.chi_square(static_cast<double>(x_.rows) + 5.0);
    }
  }

  const Codes& x_;
  Settings s_;
  Priors priors_;
  RandomDraws draws_;
  std::vector<double> f_, b_;
  double o_ = 0.0, sum_ = 0.0;
  std::vector<int> class_;
  double var_e_, var_b_, pi_;
  std::array<double, 4> proportions_;
};

}  // namespace gp::bayes::testing
