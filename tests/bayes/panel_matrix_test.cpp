// The sampler's view of the design matrix: every element where the
// transposed layout puts it, in the same memory, and the matrix given back
// word for word as it was taken.
#include "bayes/panel_matrix.hpp"

#include <gtest/gtest.h>

#include <random>
#include <utility>

#include "matrices.hpp"

namespace gp::bayes::testing {
namespace {

// Element (i, j) as panel_matrix.hpp lays it out: bit 8 (j % 8) + i % 8.
int8_t transposed_code(const PanelMatrix& x, int64_t i, int64_t j) {
  const uint64_t* tile = x.tile(i / PanelMatrix::kTile, j / PanelMatrix::kTile);
  const int bit = static_cast<int>(j % PanelMatrix::kTile * 8 + i % PanelMatrix::kTile);
  if ((tile[0] >> bit & 1) == 0) return 0;
  return (tile[1] >> bit & 1) != 0 ? int8_t{-1} : int8_t{1};
}

TEST(PanelMatrix, EveryElementTransposedInPlaceAndGivenBackAsTaken) {
  std::mt19937 rng(23);
  for (const auto& [rows, cols] : {std::pair<int64_t, int64_t>{1, 1}, {7, 9}, {8, 8}, {13, 40}, {64, 3}, {71, 17}}) {
    const Codes codes = random_codes(rng, rows, cols, true);
    DesignMatrix x = packed(codes);
    const DesignMatrix::Planes stored = x.planes;
    const uint64_t* memory = x.planes.data();

    PanelMatrix panels(std::move(x));
    EXPECT_EQ(x.planes.size(), 0u) << "the matrix is taken, not copied";
    ASSERT_EQ(panels.tile(0, 0), memory) << rows << " x " << cols;
    EXPECT_EQ(panels.rows(), rows);
    EXPECT_EQ(panels.cols(), cols);
    for (int64_t i = 0; i < panels.row_groups() * PanelMatrix::kTile; ++i) {
      for (int64_t j = 0; j < panels.col_groups() * PanelMatrix::kTile; ++j) {
        const int8_t expected = i < rows && j < cols ? codes.at(i, j) : 0;
        ASSERT_EQ(transposed_code(panels, i, j), expected) << rows << " x " << cols << ", element " << i << ", " << j;
      }
    }

    const DesignMatrix back = panels.release();
    EXPECT_EQ(back.planes.data(), memory);
    EXPECT_EQ(back.rows, rows);
    EXPECT_EQ(back.cols, cols);
    EXPECT_EQ(back.planes, stored) << rows << " x " << cols;
    EXPECT_EQ(panels.rows(), 0);
    EXPECT_EQ(panels.cols(), 0);
  }
}

}  // namespace
}  // namespace gp::bayes::testing
