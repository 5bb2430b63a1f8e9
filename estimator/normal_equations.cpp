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
  for (int64_t j = 0; j < state.neq; ++j) {
    const int8_t* column = state.x.column(j);
    float sum = 0.0f;
    for (int64_t i = 0; i < state.x.rows; ++i) {
      const float code = static_cast<float>(column[i]);
      sum = code * code + sum;
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
