#include "bayes/chain.hpp"

#include <cmath>

namespace gp::bayes {

namespace {

HyperParameters current(const Sampler& sampler) {
  return {.mu = sampler.mu(),
          .var_e = sampler.var_e(),
          .var_b = sampler.var_b(),
          .pi = sampler.pi(),
          .proportions = sampler.proportions(),
          .in_model = static_cast<double>(sampler.in_model())};
}

}  // namespace

Chain::Chain(const Settings& settings, int64_t columns)
    : settings_(settings),
      effect_mean_(static_cast<size_t>(columns), 0.0),
      effect_squares_(static_cast<size_t>(columns), 0.0),
      class_count_(static_cast<size_t>(columns * kClasses), 0) {
  // Had at the start, so a trace too long for the memory stops the run
  // before the sampling rather than after it.
  trace_.reserve(static_cast<size_t>((settings.iterations - settings.burn_in) / settings.thin));
}

void Chain::add(int64_t iteration, const Sampler& sampler) {
  if (iteration <= settings_.burn_in) return;
  ++samples_;
  const double n = static_cast<double>(samples_);
  const HyperParameters now = current(sampler);
  const auto effects = sampler.effects();
  const auto classes = sampler.classes();
  for (size_t j = 0; j < effects.size(); ++j) {
    const double value = j == 0 ? now.mu : effects[j];
    const double delta = value - effect_mean_[j];
    effect_mean_[j] += delta / n;
    effect_squares_[j] += delta * (value - effect_mean_[j]);
    ++class_count_[j * kClasses + classes[j]];
  }
  sum_.var_e += now.var_e;
  sum_.var_b += now.var_b;
  sum_.pi += now.pi;
  for (int k = 0; k < kClasses; ++k) sum_.proportions[k] += now.proportions[k];
  sum_.in_model += now.in_model;
  if ((iteration - settings_.burn_in) % settings_.thin == 0) trace_.push_back({iteration, now});
}

double Chain::sd(int64_t j) const {
  return samples_ > 1 ? std::sqrt(effect_squares_[static_cast<size_t>(j)] / static_cast<double>(samples_ - 1)) : 0.0;
}

double Chain::class_share(int64_t j, int k) const {
  return static_cast<double>(class_count_[static_cast<size_t>(j * kClasses + k)]) / static_cast<double>(samples_);
}

double Chain::nonzero_share(int64_t j) const {
  const int64_t out = class_count_[static_cast<size_t>(j * kClasses)];
  return static_cast<double>(samples_ - out) / static_cast<double>(samples_);
}

HyperParameters Chain::means() const {
  const double n = static_cast<double>(samples_);
  HyperParameters mean{.mu = effect_mean_[0], .var_e = sum_.var_e / n, .var_b = sum_.var_b / n, .pi = sum_.pi / n,
                       .proportions = {}, .in_model = sum_.in_model / n};
  for (int k = 0; k < kClasses; ++k) mean.proportions[k] = sum_.proportions[k] / n;
  return mean;
}

}  // namespace gp::bayes
