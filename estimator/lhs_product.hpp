// The product of the coefficient matrix X'X + var_ratio * K with a vector,
// without forming X'X. K is the identity except K(1,1) = 0: the mean is not
// shrunk.
#pragma once

#include <span>

#include "estimator/state.hpp"

namespace gp {

// w = (X'X + var_ratio * K) v. `row_sums` is work space of x.rows values;
// v, w have x.cols values each. Bit-identical to the per-record form
//   for each record i: s = sum_k x(i,k) v(k);  w(j) += x(i,j) s  for all j
// with every sum in double, from 0.0, in ascending order. Uses the vector
// kernel when the processor has it, otherwise the portable one.
void lhs_product(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                 std::span<double> w);

// The two kernels behind lhs_product, each with its contract; both give the
// same bits.
void lhs_product_portable(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                          std::span<double> row_sums, std::span<double> w);

// True when this processor runs lhs_product_avx2 (AVX2 and FMA).
bool lhs_product_avx2_available();

// Needs lhs_product_avx2_available().
void lhs_product_avx2(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                      std::span<double> w);

}  // namespace gp
