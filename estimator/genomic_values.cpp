#include "estimator/genomic_values.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

constexpr int64_t kTile = DesignMatrix::kTile;

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

// The AVX-512 row pass leaves out zero codes, which needs finite values. It
// adds every column, so column 0 gets the value +0.0: whatever its code, the
// term is a signed zero, which leaves the sum at +0.0 (in round to nearest
// +0.0 + -0.0 is +0.0).
void genomic_values(const DesignMatrix& x, std::span<const float> sol, std::span<float> g) {
  static const bool wide = lhs_product_avx512_available();
  const bool finite = std::all_of(sol.begin() + std::min<size_t>(1, sol.size()), sol.end(),
                                  [](float value) { return std::isfinite(value); });
  if (!wide || !finite || x.cols == 0) {
    genomic_values_portable(x, sol, g);
    return;
  }
  std::vector<float> values(sol.begin(), sol.end());
  values[0] = 0.0f;
  float_row_sums_avx512(x, values.data(), g.data());
}

}  // namespace gp
