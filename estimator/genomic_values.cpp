#include "estimator/genomic_values.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/isa.hpp"
#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

// The row passes add every column, so column 0 gets the value +0.0: whatever
// its code, the term is a signed zero, which leaves the sum at +0.0 (in round
// to nearest +0.0 + -0.0 is +0.0), as if the column were left out.
std::vector<float> without_mean(std::span<const float> sol) {
  std::vector<float> values(sol.begin(), sol.end());
  if (!values.empty()) values[0] = 0.0f;
  return values;
}

}  // namespace

void genomic_values_portable(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  float_row_sums_portable(x, without_mean(sol).data(), g.data());
}

void genomic_values_avx2(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  float_row_sums_avx2(x, without_mean(sol).data(), g.data());
}

// The AVX-512 pass leaves out zero codes, which needs finite values; the
// AVX2 pass multiplies every code.
void genomic_values_avx512(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  const std::vector<float> values = without_mean(sol);
  if (std::all_of(values.begin(), values.end(), [](float value) { return std::isfinite(value); })) {
    float_row_sums_avx512(x, values.data(), g.data());
  } else {
    float_row_sums_avx2(x, values.data(), g.data());
  }
}

void genomic_values(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  static constexpr Kernels<decltype(&genomic_values)> kKernels{.portable = genomic_values_portable,
                                                               .avx2 = genomic_values_avx2,
                                                               .avx512 = genomic_values_avx512,
                                                               .avx512_needs_gfni = true};
  pick_kernel(kKernels)(x, sol, g);
}

}  // namespace gp
