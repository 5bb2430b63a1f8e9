// The design matrix as the sampler's panel passes read it: the same tiles in
// the same memory, each of its two planes transposed, so that byte c of a
// plane holds column c of the tile, bit r record r (design_matrix.hpp has
// byte r = record r, bit c = column c). A kernel then takes a column's marks
// over a tile's 8 records straight from memory, with no transposition per
// tile and pass. The matrix is transposed once when taken and once more
// when given back; records and columns past the end stay zero codes.
#pragma once

#include <cstdint>

#include "estimator/design_matrix.hpp"

namespace gp::bayes {

class PanelMatrix {
 public:
  static constexpr int64_t kTile = DesignMatrix::kTile;

  // Takes x's memory (no copy) and transposes every tile in place.
  explicit PanelMatrix(DesignMatrix&& x);
  PanelMatrix(const PanelMatrix&) = delete;
  PanelMatrix& operator=(const PanelMatrix&) = delete;

  // Transposes every tile back and gives the matrix back, as it was taken;
  // this matrix is then empty (0 x 0).
  DesignMatrix release();

  int64_t rows() const { return x_.rows; }
  int64_t cols() const { return x_.cols; }
  int64_t row_groups() const { return x_.row_groups(); }
  int64_t col_groups() const { return x_.col_groups(); }
  // The two transposed planes of tile (record group g, column group j), at
  // the place DesignMatrix::tile gives; the tiles of a panel follow each
  // other by record group.
  const uint64_t* tile(int64_t g, int64_t j) const { return x_.tile(g, j); }

 private:
  DesignMatrix x_;
};

}  // namespace gp::bayes
