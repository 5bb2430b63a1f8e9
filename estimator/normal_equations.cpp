#include "estimator/normal_equations.hpp"

#include <algorithm>
#include <span>

#include "common/isa.hpp"

namespace gp {

namespace {

[[gnu::always_inline]] inline void add_row(std::span<float> xpy, float y, std::span<const int8_t> row) {
  for (size_t j = 0; j < xpy.size(); ++j) xpy[j] = y * static_cast<float>(row[j]) + xpy[j];
}

// Each element is its own product and sum, so the loop compiled for a wider
// vector gives the same bits.
void add_row_portable(std::span<float> xpy, float y, std::span<const int8_t> row) { add_row(xpy, y, row); }
GP_TARGET_AVX2 void add_row_avx2(std::span<float> xpy, float y, std::span<const int8_t> row) { add_row(xpy, y, row); }
GP_TARGET_AVX512 void add_row_avx512(std::span<float> xpy, float y, std::span<const int8_t> row) {
  add_row(xpy, y, row);
}

}  // namespace

void add_row_to_xpy(std::span<float> xpy, float y, std::span<const int8_t> row) {
  static constexpr Kernels<decltype(&add_row_to_xpy)> kKernels{
      .portable = add_row_portable, .avx2 = add_row_avx2, .avx512 = add_row_avx512};
  pick_kernel(kKernels)(xpy, y, row);
}

void form_diag(EstimatorState& state) {
  // Every term code^2 is 0 or 1, so the running sum in record order is the
  // count of non-zero codes so far, exact in single precision up to 2^24;
  // there 2^24 + 1 rounds back to 2^24 (a tie, to even), so the sum stays.
  // Hence diag(j) is the count of non-zero codes, capped at 2^24.
  constexpr uint64_t kCap = uint64_t{1} << 24;
  constexpr uint64_t kLowBits = 0x0101010101010101;
  // Byte counters of up to 255 record groups, then folded into the counts.
  constexpr int64_t kGroupsPerFold = 255;
  const DesignMatrix& x = state.x;
  for (int64_t panel = 0; panel < x.col_groups(); ++panel) {
    uint64_t count[DesignMatrix::kTile] = {};
    for (int64_t g0 = 0; g0 < x.row_groups(); g0 += kGroupsPerFold) {
      // Byte r of bytes[c]: the non-zero codes of column c among records r
      // of the groups so far.
      uint64_t bytes[DesignMatrix::kTile] = {};
      for (int64_t g = g0; g < std::min(x.row_groups(), g0 + kGroupsPerFold); ++g) {
        const uint64_t nonzero = x.tile(g, panel)[0];
        for (int c = 0; c < DesignMatrix::kTile; ++c) bytes[c] += nonzero >> c & kLowBits;
      }
      for (int c = 0; c < DesignMatrix::kTile; ++c) {
        const uint64_t pairs = (bytes[c] & 0x00FF00FF00FF00FF) + (bytes[c] >> 8 & 0x00FF00FF00FF00FF);
        count[c] += pairs * 0x0001000100010001 >> 48;
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
