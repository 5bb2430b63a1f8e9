#include "estimator/lhs_product.hpp"

#include <algorithm>
#include <cstdint>

#include "common/isa.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {
namespace {

constexpr int64_t kTile = DesignMatrix::kTile;

// The per-record form adds, for each record i, the terms x(i,k) v(k) in
// ascending k into one s, then adds x(i,j) s into w(j) record after record.
// Each s(i) and each w(j) therefore sees exactly the same operations in the
// same order when the work is split into two passes: first every s(i), then
// every w(j). Here each pass decodes a tile to its codes and multiplies as
// the per-record form does, so every input gives its bits, infinities and
// NaN included. No addition is regrouped.
template <class T>
void row_sums_of(const DesignMatrix& x, const T* v, T* s) {
  T code[kTile][kTile];
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    T sum[kTile] = {};
    for (int64_t panel = 0; panel < x.col_groups(); ++panel) {
      decode_tile(x.tile(g, panel), code);
      const int64_t first = panel * kTile;
      const int64_t count = std::min(kTile, x.cols - first);
      for (int64_t c = 0; c < count; ++c) {
        for (int r = 0; r < kTile; ++r) sum[r] = code[r][c] * v[first + c] + sum[r];
      }
    }
    std::copy(sum, sum + kTile, s + g * kTile);
  }
}

}  // namespace

void row_sums_portable(const DesignMatrix& x, const double* v, double* s) { row_sums_of(x, v, s); }

void float_row_sums_portable(const DesignMatrix& x, const float* v, float* s) { row_sums_of(x, v, s); }

void column_sums_portable(const DesignMatrix& x, const double* s, double* w) {
  double code[kTile][kTile];
  for (int64_t panel = 0; panel < x.col_groups(); ++panel) {
    double sum[kTile] = {};
    for (int64_t g = 0; g < x.row_groups(); ++g) {
      decode_tile(x.tile(g, panel), code);
      const int64_t count = std::min(kTile, x.rows - g * kTile);
      for (int64_t r = 0; r < count; ++r) {
        for (int c = 0; c < kTile; ++c) sum[c] = code[r][c] * s[g * kTile + r] + sum[c];
      }
    }
    const int64_t first = panel * kTile;
    std::copy(sum, sum + std::min(kTile, x.cols - first), w + first);
  }
}

void add_ratio(float var_ratio, const double* v, double* w, int64_t n) {
  const double ratio = static_cast<double>(var_ratio);
  for (int64_t j = 1; j < n; ++j) w[j] = ratio * v[j] + w[j];
}

void lhs_product_portable(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                          std::span<double> row_sums, std::span<double> w) {
  row_sums_portable(x, v.data(), row_sums.data());
  column_sums_portable(x, row_sums.data(), w.data());
  add_ratio(var_ratio, v.data(), w.data(), x.cols);
}

void lhs_product(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                 std::span<double> w) {
  static constexpr Kernels<decltype(&lhs_product)> kKernels{.portable = lhs_product_portable,
                                                            .avx2 = lhs_product_avx2,
                                                            .avx512 = lhs_product_avx512,
                                                            .avx512_needs_gfni = true};
  pick_kernel(kKernels)(x, var_ratio, v, row_sums, w);
}

}  // namespace gp
