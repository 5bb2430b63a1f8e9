// The design matrices the microbenchmarks run on: column 0 the mean (all
// ones), the others codes -1, 0, +1 from a fixed stream.
#pragma once

#include <cstdint>
#include <vector>

#include "estimator/design_matrix.hpp"
#include "support/design_reference.hpp"

namespace gp::bench {

inline DesignMatrix design_matrix(int64_t records, int64_t columns) {
  DesignMatrix x = test::zero_matrix(records, columns);
  std::vector<int8_t> row(static_cast<size_t>(columns), 1);
  uint32_t state = 12345u;
  for (int64_t i = 0; i < records; ++i) {
    for (int64_t j = 1; j < columns; ++j) {
      state = state * 69069u + 1u;
      row[static_cast<size_t>(j)] = static_cast<int8_t>(static_cast<int>(state >> 30) % 3 - 1);
    }
    x.store_row(i, row.data());
  }
  return x;
}

}  // namespace gp::bench
