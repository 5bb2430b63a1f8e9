#include <cmath>

#include "simulator/model.hpp"

namespace gp {

void warm_up(Generator& g, int count) {
  for (int i = 0; i < count; ++i) base_draw(g);
}

void draw_frequencies(Generator& g, const SimulationParameters& p, std::span<float> snp_freq) {
  for (float& f : snp_freq) f = uniform(g, p.freq_min, p.freq_max);
}

void draw_effects(Generator& g, const SimulationParameters& p, std::span<float> snp_val) {
  if (p.snp_range <= 1.0f) {
    snp_val[0] = 1.0f;
    return;
  }
  const float log_range = single_log(p.snp_range);
  // A single QTL has t = 0/0; it is the smallest effect, magnitude 1. Its
  // size does not matter after scaling, but its sign is still drawn.
  const float steps = static_cast<float>(p.n_qtl - 1);
  for (int32_t i = 0; i < p.n_qtl; ++i) {
    const float t = p.n_qtl == 1 ? 0.0f : static_cast<float>(i) / steps;
    const float exponent = t * log_range;
    float m = single_exp(exponent);
    if (uniform(g, 0.0f, 2.0f) > 1.0f) m = -m;
    snp_val[static_cast<size_t>(p.n_qtl - 1 - i)] = m;
  }
}

float genetic_variance(std::span<const float> snp_freq, std::span<const float> snp_val) {
  float s = 0.0f;
  for (size_t j = 0; j < snp_freq.size(); ++j) {
    const float p = snp_freq[j];
    const float v = snp_val[j];
    const float het = (1.0f - p) * (2.0f * p);
    const float square = v * v;
    s = s + het * square;
  }
  return s;
}

void scale_effects(float var_a, float sim_var, std::span<float> snp_val) {
  const float ratio = var_a / sim_var;
  const float c = std::sqrt(ratio);
  for (float& v : snp_val) v = v * c;
}

float residual_variance(float h2, float var_a) {
  const float part = (1.0f - h2) * var_a;
  return part / h2;
}

}  // namespace gp
