#include "simulator/allele_draws.hpp"

#include <cmath>
#include <cstdint>

#include "common/isa.hpp"
#include "common/snp_files.hpp"

namespace gp {
namespace {

// k x 2^-24 < p exactly when k < p x 2^24: scaling by a power of two is exact
// (subnormal p included), and an integer k lies below q when it lies below
// ceil(q). No k passes a NaN, zero or negative p; every k passes p >= 1.
int32_t threshold_of(float p) {
  if (!(p > 0.0f)) return 0;
  const float q = p * 0x1p24f;
  if (q >= 0x1p24f) return int32_t{1} << 24;
  return static_cast<int32_t>(std::ceil(q));
}

}  // namespace

void allele_thresholds(std::span<const float> snp_freq, std::span<int32_t> thresholds) {
  for (size_t j = 0; j < snp_freq.size(); ++j) thresholds[2 * j] = thresholds[2 * j + 1] = threshold_of(snp_freq[j]);
}

void draw_allele_digits_portable(Generator& g, std::span<const int32_t> thresholds, char* digits) {
  uint32_t state = g.state;
  for (const int32_t t : thresholds) {
    state = state * 69069u + 1u;
    *digits++ = static_cast<int32_t>(state >> 8) < t ? '2' : '1';
  }
  g.state = state;
}

void draw_allele_digits(Generator& g, std::span<const int32_t> thresholds, char* digits) {
  static constexpr Kernels<decltype(&draw_allele_digits)> kKernels{.portable = draw_allele_digits_portable,
                                                                   .avx2 = draw_allele_digits_avx2};
  pick_kernel(kKernels)(g, thresholds, digits);
}

size_t effects_in_use(std::span<const float> snp_val) {
  size_t used = 0;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    if (!std::isfinite(snp_val[j])) return snp_val.size();
    if (snp_val[j] != 0.0f) used = j + 1;
  }
  return used;
}

// A skipped term x x 0 is +0 or -0 (x is -1, 0 or 1). The sum starts at +0
// and, rounding to nearest, a sum is -0 only when both addends are, so it is
// never -0 and adding a zero returns it unchanged: the effects past the last
// non-zero one may be left out. An infinite effect would make 0 x inf a NaN,
// hence effects_in_use keeps every effect then.
float breeding_value_of_digits(const char* digits, std::span<const float> snp_val) {
  float s = 0.0f;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    const int x = coded_genotype_of_digits(digits[2 * j], digits[2 * j + 1]);
    s = s + static_cast<float>(x) * snp_val[j];
  }
  return s;
}

}  // namespace gp
