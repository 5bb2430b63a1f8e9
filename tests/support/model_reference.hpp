// The simulator's record steps in their plain form, as the model states
// them: the allele draws and the breeding value that the run's kernels
// (allele_draws.hpp) are held to.
#pragma once

#include <cstdint>
#include <span>

#include "common/rng.hpp"

namespace gp::test {

// Fills geno (two codes per SNP, allele 1 first) with 1, or 2 where
// snp_freq(j) exceeds the allele's uniform(0, 1) draw.
inline void draw_genotypes(Generator& g, std::span<const float> snp_freq, std::span<int32_t> geno) {
  int32_t* code = geno.data();
  for (const float p : snp_freq) {
    code[0] = p > uniform(g, 0.0f, 1.0f) ? 2 : 1;
    code[1] = p > uniform(g, 0.0f, 1.0f) ? 2 : 1;
    code += 2;
  }
}

// The same draws as the digits of a SNP_data line, '2' where snp_freq(j)
// exceeds the draw, else '1'.
inline void draw_allele_digits_plain(Generator& g, std::span<const float> snp_freq, char* digits) {
  for (const float p : snp_freq) {
    digits[0] = p > uniform(g, 0.0f, 1.0f) ? '2' : '1';
    digits[1] = p > uniform(g, 0.0f, 1.0f) ? '2' : '1';
    digits += 2;
  }
}

// s_bv: the sum over SNPs of (allele 1 + allele 2 - 3) x snp_val(j), in
// single precision, SNP 1 first.
inline float breeding_value(std::span<const int32_t> geno, std::span<const float> snp_val) {
  float s = 0.0f;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    const float x = static_cast<float>(geno[2 * j] + geno[2 * j + 1] - 3);
    s = s + x * snp_val[j];
  }
  return s;
}

}  // namespace gp::test
