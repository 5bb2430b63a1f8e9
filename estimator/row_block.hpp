// Rows of the design matrix gathered record by record into a small
// row-major block, and copied into the column-major matrix a block at a time.
#pragma once

#include <cstdint>

#include "estimator/state.hpp"

namespace gp {

// Records per block: a record's row is coded into the block, and the block
// reaches the matrix as kRowBlock bytes per column.
inline constexpr int64_t kRowBlock = 32;

// Copies `count` (at most kRowBlock) rows, row r at block + r * x.cols, into
// rows first .. first + count - 1 of x.
void store_row_block(const int8_t* block, int64_t count, int64_t first, DesignMatrix& x);

}  // namespace gp
