// The plain forms the estimator's packed kernels are held to, one element or
// one record at a time: the design matrix element by element as its tiles
// define it, X'y record by record, and a record's genomic value.
#pragma once

#include <cstdint>
#include <span>

#include "estimator/design_matrix.hpp"
#include "estimator/state.hpp"

namespace gp::test {

// A rows x cols matrix of zero codes.
inline DesignMatrix zero_matrix(int64_t rows, int64_t cols) {
  DesignMatrix x;
  x.rows = rows;
  x.cols = cols;
  x.planes.assign(static_cast<size_t>(DesignMatrix::words_for(rows, cols)), 0);
  return x;
}

// Element (i, j): bit 8 (i % 8) + j % 8 of its tile's two planes.
inline int8_t code_at(const DesignMatrix& x, int64_t i, int64_t j) {
  const uint64_t* tile = x.tile(i / DesignMatrix::kTile, j / DesignMatrix::kTile);
  const int bit = static_cast<int>(i % DesignMatrix::kTile * 8 + j % DesignMatrix::kTile);
  if ((tile[0] >> bit & 1) == 0) return 0;
  return (tile[1] >> bit & 1) != 0 ? int8_t{-1} : int8_t{1};
}

inline void set_code(DesignMatrix& x, int64_t i, int64_t j, int8_t code) {
  uint64_t* tile = x.planes.data() + (x.tile(i / DesignMatrix::kTile, j / DesignMatrix::kTile) - x.planes.data());
  const uint64_t bit = uint64_t{1} << (i % DesignMatrix::kTile * 8 + j % DesignMatrix::kTile);
  tile[0] = code != 0 ? tile[0] | bit : tile[0] & ~bit;
  tile[1] = code < 0 ? tile[1] | bit : tile[1] & ~bit;
}

// xpy(j) = y(i) * x(i, j) + xpy(j) for every j, each product and sum
// rounded to single precision; called once per record in file order.
inline void add_record_to_xpy(EstimatorState& state, int64_t i) {
  const float yi = state.y[static_cast<size_t>(i)];
  for (int64_t j = 0; j < state.neq; ++j) {
    const float product = yi * static_cast<float>(code_at(state.x, i, j));
    state.xpy[static_cast<size_t>(j)] = product + state.xpy[static_cast<size_t>(j)];
  }
}

// Genomic breeding value: sum over SNPs in order of code(j) * sol(j+1), in
// single precision; the mean sol(0) is left out. From the allele codes
// (2 per SNP) or from the coded genotypes (one per SNP).
inline float genomic_value(std::span<const int32_t> geno, std::span<const float> sol) {
  float g_bv = 0.0f;
  for (size_t j = 0; j + 1 < sol.size(); ++j) {
    g_bv = static_cast<float>(geno[2 * j] + geno[2 * j + 1] - 3) * sol[j + 1] + g_bv;
  }
  return g_bv;
}

inline float genomic_value(std::span<const int8_t> codes, std::span<const float> sol) {
  float g_bv = 0.0f;
  for (size_t j = 0; j < codes.size(); ++j) g_bv = static_cast<float>(codes[j]) * sol[j + 1] + g_bv;
  return g_bv;
}

}  // namespace gp::test
