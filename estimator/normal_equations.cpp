#include "estimator/normal_equations.hpp"

#include <algorithm>
#include <span>

namespace gp {

void add_record_to_xpy(EstimatorState& state, int64_t i) {
  const float yi = state.y[static_cast<size_t>(i)];
  for (int64_t j = 0; j < state.neq; ++j) {
    const float product = yi * static_cast<float>(state.x.at(i, j));
    state.xpy[static_cast<size_t>(j)] = product + state.xpy[static_cast<size_t>(j)];
  }
}

void add_row_to_xpy(std::span<float> xpy, float y, std::span<const int8_t> row) {
  for (size_t j = 0; j < xpy.size(); ++j) xpy[j] = y * static_cast<float>(row[j]) + xpy[j];
}

void form_diag(EstimatorState& state) {
  // Every term code^2 is 0 or 1, so every running sum is a whole number no
  // larger than the number of records; up to 2^24 records each one is exact
  // in single precision, and the sum in record order is the count of
  // non-zero codes, whatever the order of counting.
  constexpr int64_t kExactCountLimit = int64_t{1} << 24;
  const int64_t rows = state.x.rows;
  for (int64_t j = 0; j < state.neq; ++j) {
    const int8_t* column = state.x.column(j);
    float sum = 0.0f;
    if (rows <= kExactCountLimit) {
      uint32_t count = 0;
      for (int64_t i = 0; i < rows; ++i) count += column[i] != 0 ? 1u : 0u;
      sum = static_cast<float>(count);
    } else {
      for (int64_t i = 0; i < rows; ++i) {
        const float code = static_cast<float>(column[i]);
        sum = code * code + sum;
      }
    }
    state.diag[static_cast<size_t>(j)] = sum;
  }
}

void report_diag(Units& io, const EstimatorState& state) {
  static const Layout kElements = parse_layout("' 5 elements of XPX: ',10(2X,F0.1)");
  write_free(io, kConsole, {"diags"});
  const size_t shown = std::min<size_t>(5, state.diag.size());
  write_record(io, kConsole, kElements, {std::span<const float>(state.diag.data(), shown)});
}

}  // namespace gp
