// What a run keeps of its chain: every iteration after the burn-in adds to
// the posterior means (and standard deviations) of the effects, the
// posterior probabilities of the classes and the means of the
// hyper-parameters; every thin-th one (iterations burn_in + thin,
// burn_in + 2 thin, ...) is a row of the trace.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "bayes/sampler.hpp"
#include "bayes/settings.hpp"

namespace gp::bayes {

// The hyper-parameters after one iteration (var_b is var_g for bayesr).
struct HyperParameters {
  double mu = 0.0, var_e = 0.0, var_b = 0.0, pi = 0.0;
  std::array<double, kClasses> proportions{};
  double in_model = 0.0;  // SNPs with a non-zero effect
};

struct TraceRow {
  int64_t iteration;
  HyperParameters values;
};

class Chain {
 public:
  Chain(const Settings& settings, int64_t columns);

  // The sampler's state after iteration `iteration` (1-based); only those
  // after the burn-in are kept.
  void add(int64_t iteration, const Sampler& sampler);

  int64_t samples() const { return samples_; }
  // Column j: 0 the mean mu (as Sampler::mu gives it), j SNP j.
  double mean(int64_t j) const { return effect_mean_[static_cast<size_t>(j)]; }
  double sd(int64_t j) const;
  // The share of the samples in which column j was in class k (k = 1: in
  // the model, for bayescpi and brr).
  double class_share(int64_t j, int k) const;
  // The share in which column j was in the model (class > 0).
  double nonzero_share(int64_t j) const;
  HyperParameters means() const;
  const std::vector<TraceRow>& trace() const { return trace_; }

 private:
  Settings settings_;
  int64_t samples_ = 0;
  std::vector<double> effect_mean_, effect_squares_;  // Welford's running mean and squared deviations
  std::vector<int64_t> class_count_;                  // kClasses per column
  HyperParameters sum_;
  std::vector<TraceRow> trace_;
};

}  // namespace gp::bayes
