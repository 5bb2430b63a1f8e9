// The record steps: the hot path of a run, 2 x n_snp + 12 draws per record.
#include "simulator/model.hpp"

namespace gp {

void draw_genotypes(Generator& g, std::span<const float> snp_freq, std::span<int32_t> geno) {
  // A local copy of the state lets the compiler keep it in a register.
  Generator local = g;
  int32_t* code = geno.data();
  for (const float p : snp_freq) {
    code[0] = p > uniform(local, 0.0f, 1.0f) ? 2 : 1;
    code[1] = p > uniform(local, 0.0f, 1.0f) ? 2 : 1;
    code += 2;
  }
  g = local;
}

float breeding_value(std::span<const int32_t> geno, std::span<const float> snp_val) {
  float s = 0.0f;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    const float x = static_cast<float>(geno[2 * j] + geno[2 * j + 1] - 3);
    s = s + x * snp_val[j];
  }
  return s;
}

float record_value(Generator& g, const SimulationParameters& p, float s_bv) {
  if (p.nprog == 0) return p.mean + normal(g, s_bv, p.var_e);
  const float w = ((4.0f * p.var_e) + (3.0f * p.var_a)) / static_cast<float>(p.nprog);
  const float e = normal(g, 0.0f, w);
  return (p.mean + s_bv) + e;
}

}  // namespace gp
