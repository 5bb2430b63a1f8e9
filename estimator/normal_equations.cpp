#include "estimator/normal_equations.hpp"

#include <algorithm>
#include <bit>
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
  // Every term code^2 is 0 or 1, so the running sum in record order is the
  // count of non-zero codes so far, exact in single precision up to 2^24;
  // there 2^24 + 1 rounds back to 2^24 (a tie, to even), so the sum stays.
  // Hence diag(j) is the count of non-zero codes, capped at 2^24.
  constexpr uint64_t kCap = uint64_t{1} << 24;
  const DesignMatrix& x = state.x;
  for (int64_t panel = 0; panel < x.col_groups(); ++panel) {
    uint64_t count[DesignMatrix::kTile] = {};
    for (int64_t g = 0; g < x.row_groups(); ++g) {
      const uint64_t nonzero = x.tile(g, panel)[0];
      for (int c = 0; c < DesignMatrix::kTile; ++c) {
        count[c] += static_cast<uint64_t>(std::popcount(nonzero & (uint64_t{0x0101010101010101} << c)));
      }
    }
    for (int64_t c = 0; c < DesignMatrix::kTile && panel * DesignMatrix::kTile + c < state.neq; ++c) {
      state.diag[static_cast<size_t>(panel * DesignMatrix::kTile + c)] = static_cast<float>(std::min(count[c], kCap));
    }
  }
}

void report_diag(Units& io, const EstimatorState& state) {
  static const Layout kElements = parse_layout("' 5 elements of XPX: ',10(2X,F0.1)");
  write_free(io, kConsole, {"diags"});
  const size_t shown = std::min<size_t>(5, state.diag.size());
  write_record(io, kConsole, kElements, {std::span<const float>(state.diag.data(), shown)});
}

}  // namespace gp
