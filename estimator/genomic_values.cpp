#include "estimator/genomic_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/isa.hpp"
#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

constexpr int64_t kTile = DesignMatrix::kTile;

std::vector<float> without_mean(std::span<const float> sol) {
  std::vector<float> values(sol.begin(), sol.end());
  values[0] = 0.0f;
  return values;
}

}  // namespace

// Each record's sum sees the per-record operations in order: tile by tile
// along its row, column by column within a tile, every code multiplied.
void genomic_values_portable(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  float code[kTile][kTile];
  for (int64_t group = 0; group < x.row_groups(); ++group) {
    float sum[kTile] = {};
    for (int64_t panel = 0; panel < x.col_groups(); ++panel) {
      const uint64_t* tile = x.tile(group, panel);
      for (int r = 0; r < kTile; ++r) {
        for (int c = 0; c < kTile; ++c) {
          const int bit = 8 * r + c;
          code[r][c] = static_cast<float>(static_cast<int>(tile[0] >> bit & 1) - 2 * static_cast<int>(tile[1] >> bit & 1));
        }
      }
      const int64_t first = panel * kTile;
      const int64_t count = std::min(kTile, x.cols - first);
      for (int64_t c = panel == 0 ? 1 : 0; c < count; ++c) {
        for (int r = 0; r < kTile; ++r) sum[r] = code[r][c] * sol[static_cast<size_t>(first + c)] + sum[r];
      }
    }
    std::copy(sum, sum + kTile, g.begin() + group * kTile);
  }
}

// The vector row passes add every column, so column 0 gets the value +0.0:
// whatever its code, the term is a signed zero, which leaves the sum at +0.0
// (in round to nearest +0.0 + -0.0 is +0.0). The AVX-512 pass leaves out zero
// codes, which needs finite values; the AVX2 pass multiplies every code.
void genomic_values_avx2(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  if (x.cols == 0) {
    genomic_values_portable(x, sol, g);
    return;
  }
  float_row_sums_avx2(x, without_mean(sol).data(), g.data());
}

void genomic_values_avx512(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  if (x.cols == 0) {
    genomic_values_portable(x, sol, g);
    return;
  }
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
