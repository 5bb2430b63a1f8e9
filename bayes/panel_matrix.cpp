#include "bayes/panel_matrix.hpp"

#include <utility>

namespace gp::bayes {

namespace {

// transpose_tile_bits is its own inverse (it swaps bit 8 r + c with bit
// 8 c + r), so one loop takes the matrix and gives it back.
void transpose_tiles(DesignMatrix& x) {
  for (uint64_t& plane : x.planes) plane = transpose_tile_bits(plane);
}

}  // namespace

PanelMatrix::PanelMatrix(DesignMatrix&& x) : x_(std::move(x)) {
  x = DesignMatrix{};
  transpose_tiles(x_);
}

DesignMatrix PanelMatrix::release() {
  transpose_tiles(x_);
  DesignMatrix x = std::move(x_);
  x_ = DesignMatrix{};
  return x;
}

}  // namespace gp::bayes
