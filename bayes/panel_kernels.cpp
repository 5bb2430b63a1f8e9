#include "bayes/panel_kernels.hpp"

#include "common/isa.hpp"

namespace gp::bayes {

namespace {

constexpr int64_t kTile = PanelMatrix::kTile;

// Bit 8 c + r of a tile's transposed planes is record r, column c.
bool nonzero(const uint64_t* tile, int r, int c) { return (tile[0] >> (8 * c + r) & 1) != 0; }
bool negative(const uint64_t* tile, int r, int c) { return (tile[1] >> (8 * c + r) & 1) != 0; }

void cross_portable(const PanelMatrix& x, int64_t panel, const double* e, double* q) {
  double s[kTile][kTile] = {};  // s[r][c] = S_r(c)
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    const uint64_t* tile = x.tile(g, panel);
    for (int r = 0; r < kTile; ++r) {
      const double value = e[g * kTile + r];
      for (int c = 0; c < kTile; ++c) {
        if (!nonzero(tile, r, c)) continue;
        s[r][c] = negative(tile, r, c) ? s[r][c] - value : s[r][c] + value;
      }
    }
  }
  for (int c = 0; c < kTile; ++c) {
    q[c] = ((s[0][c] + s[1][c]) + (s[2][c] + s[3][c])) + ((s[4][c] + s[5][c]) + (s[6][c] + s[7][c]));
  }
}

void update_portable(const PanelMatrix& x, int64_t panel, const double* d, double* e) {
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    const uint64_t* tile = x.tile(g, panel);
    for (int r = 0; r < kTile; ++r) {
      double s = 0.0;
      for (int c = 0; c < kTile; ++c) {
        if (nonzero(tile, r, c)) s = negative(tile, r, c) ? s - d[c] : s + d[c];
      }
      e[g * kTile + r] = e[g * kTile + r] - s;
    }
  }
}

}  // namespace

const PanelKernel kPortablePanelKernel{"portable", cross_portable, update_portable};

const PanelKernel& panel_kernel() {
  static constexpr Kernels<const PanelKernel*> kKernels{.portable = &kPortablePanelKernel,
                                                        .avx2 = &kAvx2PanelKernel,
                                                        .avx512 = &kAvx512PanelKernel,
                                                        };
  return *pick_kernel(kKernels);
}

}  // namespace gp::bayes
