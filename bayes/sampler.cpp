#include "bayes/sampler.hpp"

#include <algorithm>
#include <cmath>

#include "common/fixed_math.hpp"

namespace gp::bayes {

double sample_variance(std::span<const float> y) {
  const double n = static_cast<double>(y.size());
  double sum = 0.0;
  for (float v : y) sum += v;
  const double mean = sum / n;
  double squares = 0.0;
  for (float v : y) squares += (v - mean) * (v - mean);
  return squares / (n - 1.0);
}

double genotype_variance_sum(const PanelGrams& grams, int64_t columns, int64_t n) {
  double msx = 0.0;
  for (int64_t j = 1; j < columns; ++j) msx += grams.squares(j) / static_cast<double>(n);
  return msx;
}

Sampler::Sampler(const PanelMatrix& x, std::span<const float> y, const Settings& settings, const PanelKernel& kernel)
    : x_(x),
      settings_(settings),
      kernel_(kernel),
      grams_(x),
      draws_(settings.seed),
      f_(static_cast<size_t>(x.row_groups() * kPanel), 0.0),
      b_(static_cast<size_t>(x.cols()), 0.0),
      class_(static_cast<size_t>(x.cols()), 0) {
  std::copy(y.begin(), y.end(), f_.begin());
  const double msx = genotype_variance_sum(grams_, x.cols(), x.rows());
  priors_ = prior_rule(settings.method, sample_variance(y), msx, settings.pi);
  var_e_ = settings.fix_var ? settings.var_e : prior_mode(priors_.scale_e);
  var_b_ = settings.fix_var ? settings.var_b : prior_mode(priors_.scale_b);
  pi_ = settings.pi;
  proportions_.fill(1.0 / kClasses);
  for (int64_t j = 1; j < x.cols(); ++j) informative_ += grams_.squares(j) > 0.0 ? 1 : 0;
  refresh();
}

void Sampler::refresh() {
  lambda_ = var_e_ / var_b_;
  for (int k = 1; k < kClasses; ++k) class_lambda_[k] = var_e_ / (kGamma[k] * var_b_);
  log_prior_odds_ = fixed_log(pi_) - fixed_log(1.0 - pi_);
  for (int k = 0; k < kClasses; ++k) log_proportions_[k] = fixed_log(proportions_[k]);
}

void Sampler::iterate() {
  sweep();
  draw_hyper_parameters();
  refresh();
}

double Sampler::mu() const {
  const double n = static_cast<double>(x_.rows());
  double shift = 0.0;
  for (int64_t j = 1; j < x_.cols(); ++j) shift += static_cast<double>(grams_.sum(j)) / n * b_[j];
  return b_[0] - shift;
}

void Sampler::sweep() {
  double* f = f_.data();
  const double n = static_cast<double>(x_.rows());
  for (int64_t p = 0; p < x_.col_groups(); ++p) {
    double q[kPanel];
    kernel_.cross(x_, p, f, q);
    if (p == 0) s_ = q[0];
    const double* g = grams_.panel(p);
    double d[kPanel] = {};
    bool changed = false;
    const int columns = static_cast<int>(std::min(kPanel, x_.cols() - p * kPanel));
    for (int k = 0; k < columns; ++k) {
      const double c = g[k * kPanel + k];
      if (c == 0.0) continue;
      const int64_t j = p * kPanel + k;
      if (j == 0) {
        const double drawn = draw(0, (s_ + n * o_) + n * b_[0], c);
        o_ = o_ - (drawn - b_[0]);
        b_[0] = drawn;
        continue;
      }
      double t = q[k] - static_cast<double>(grams_.sum(j)) / n * s_;
      for (int l = 0; l < k; ++l) {
        if (d[l] != 0.0) t = t - g[k * kPanel + l] * d[l];
      }
      const double r = t + c * b_[j];
      const double drawn = draw(j, r, c);
      d[k] = drawn - b_[j];
      b_[j] = drawn;
      changed = changed || d[k] != 0.0;
    }
    if (!changed) continue;
    kernel_.update(x_, p, d, f);
    for (int k = 0; k < columns; ++k) {
      const double sum = static_cast<double>(grams_.sum(p * kPanel + k));
      s_ = s_ - sum * d[k];
      o_ = o_ + sum / n * d[k];
    }
  }
  for (int64_t i = 0; i < x_.rows(); ++i) f[i] = f[i] + o_;
  o_ = 0.0;
}

double Sampler::draw(int64_t j, double r, double c) {
  if (j == 0) return r / c + std::sqrt(var_e_ / c) * draws_.normal();
  double lambda = lambda_;
  switch (settings_.method) {
    case Method::Brr:
      class_[j] = 1;
      break;
    case Method::BayesCpi: {
      const double v0 = c * var_e_;
      const double v1 = v0 + c * c * var_b_;
      const double odds_out = 0.5 * (fixed_log(v1 / v0) - r * r / v0 + r * r / v1) + log_prior_odds_;
      const double p_in = 1.0 / (1.0 + fixed_exp(odds_out));
      class_[j] = draws_.uniform() < p_in ? 1 : 0;
      break;
    }
    case Method::BayesR: {
      const double v0 = c * var_e_;
      double a[kClasses];
      a[0] = log_proportions_[0];
      for (int k = 1; k < kClasses; ++k) {
        const double vk = v0 + c * c * kGamma[k] * var_b_;
        a[k] = -0.5 * (fixed_log(vk / v0) + r * r / vk - r * r / v0) + log_proportions_[k];
      }
      const double top = std::max({a[0], a[1], a[2], a[3]});
      double w[kClasses];
      for (int k = 0; k < kClasses; ++k) w[k] = fixed_exp(a[k] - top);
      const double u = draws_.uniform() * (((w[0] + w[1]) + w[2]) + w[3]);
      int k = 0;
      for (double running = w[0]; k + 1 < kClasses && u >= running; running += w[k]) ++k;
      class_[j] = static_cast<uint8_t>(k);
      lambda = class_lambda_[k];
      break;
    }
  }
  if (class_[j] == 0) return 0.0;
  const double l = c + lambda;
  return r / l + std::sqrt(var_e_ / l) * draws_.normal();
}

void Sampler::draw_hyper_parameters() {
  double squares = 0.0;
  int64_t in_class[kClasses] = {};
  for (int64_t j = 1; j < x_.cols(); ++j) {
    if (grams_.squares(j) == 0.0) continue;
    const int k = class_[j];
    ++in_class[k];
    if (k == 0) continue;
    const double b = b_[j];
    squares += settings_.method == Method::BayesR ? b * b / kGamma[k] : b * b;
  }
  in_model_ = informative_ - in_class[0];
  if (!settings_.fix_var) {
    var_b_ = (squares + priors_.scale_b) / draws_.chi_square(static_cast<double>(in_model_) + Priors::kDf);
  }
  if (settings_.method == Method::BayesCpi && !settings_.fix_pi) {
    pi_ = draws_.beta(1.0 + static_cast<double>(in_class[0]), 1.0 + static_cast<double>(in_model_));
  }
  if (settings_.method == Method::BayesR) {
    double alpha[kClasses];
    for (int k = 0; k < kClasses; ++k) alpha[k] = 1.0 + static_cast<double>(in_class[k]);
    draws_.dirichlet(alpha, proportions_);
  }
  if (!settings_.fix_var) {
    double sse = 0.0;
    for (int64_t i = 0; i < x_.rows(); ++i) sse += f_[i] * f_[i];
    var_e_ = (sse + priors_.scale_e) / draws_.chi_square(static_cast<double>(x_.rows()) + Priors::kDf);
  }
}

}  // namespace gp::bayes
