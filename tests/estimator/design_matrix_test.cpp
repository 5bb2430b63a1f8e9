// The two-bit design matrix: rows packed as records are read come back
// code for code, agree with element-wise setting, and leave the padding of
// the last tiles zero.
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "estimator/design_matrix.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/state.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

TEST(DesignMatrix, PackedRowsReadBackAndAgreeWithSettingEachElement) {
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> code(-1, 1);
  for (const auto& [rows, cols] : {std::pair<int64_t, int64_t>{1, 1}, {1, 16}, {7, 9}, {8, 8}, {9, 17}, {5, 15},
                                   {16, 33}, {33, 100}, {3, 31}, {70, 47}, {0, 4}}) {
    DesignMatrix packed = test::zero_matrix(rows, cols);
    DesignMatrix set = test::zero_matrix(rows, cols);
    ASSERT_EQ(static_cast<int64_t>(packed.planes.size()), DesignMatrix::words_for(rows, cols));
    std::vector<std::vector<int8_t>> codes(static_cast<size_t>(rows), std::vector<int8_t>(static_cast<size_t>(cols)));
    for (int pass = 0; pass < 2; ++pass) {  // the second packing replaces the first
      for (int64_t i = 0; i < rows; ++i) {
        for (int8_t& c : codes[i]) c = static_cast<int8_t>(code(rng));
        packed.store_row(i, codes[i].data());
      }
    }
    for (int64_t i = 0; i < rows; ++i) {
      for (int64_t j = 0; j < cols; ++j) {
        test::set_code(set, i, j, static_cast<int8_t>(-codes[i][j]));  // every element set twice, the last value kept
        test::set_code(set, i, j, codes[i][j]);
        ASSERT_EQ(test::code_at(packed, i, j), codes[i][j]) << rows << " x " << cols << " at (" << i << ", " << j << ")";
      }
    }
    EXPECT_EQ(packed.planes, set.planes) << rows << " x " << cols << ": same tiles, padding zero";
  }
}

TEST(DesignMatrix, DiagonalCountsNonZeroCodesAndStopsWhereTheSingleSumStops) {
  // Past 2^24 records a single-precision sum of ones no longer grows: the
  // count must stop there too.
  for (const int64_t rows : {int64_t{1} << 24, (int64_t{1} << 24) + 9}) {
    EstimatorState state;
    state.nrec = static_cast<int32_t>(rows);
    state.neq = 2;
    state.x = test::zero_matrix(rows, 2);
    for (int64_t g = 0; g < state.x.row_groups(); ++g) state.x.planes[static_cast<size_t>(2 * g)] = 0x0101010101010101;
    for (int64_t i = rows; i < DesignMatrix::kTile * state.x.row_groups(); ++i) test::set_code(state.x, i, 0, 0);
    test::set_code(state.x, 3, 1, -1);
    test::set_code(state.x, rows - 1, 1, 1);
    state.diag.assign(2, -1.0f);
    form_diag(state);
    float ones = 0.0f;
    for (int64_t i = 0; i < rows; ++i) ones = 1.0f * 1.0f + ones;
    EXPECT_EQ(state.diag[0], ones) << rows << " records";
    EXPECT_EQ(state.diag[1], 2.0f) << rows << " records";
  }
}

}  // namespace
}  // namespace gp
