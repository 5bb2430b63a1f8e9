// The product of the coefficient matrix X'X + var_ratio * K with a vector,
// without forming X'X. K is the identity except K(1,1) = 0: the mean is not
// shrunk.
#pragma once

#include <cstdint>
#include <span>

#include "estimator/state.hpp"

namespace gp {

// Values of the work space `row_sums` that lhs_product needs for x: one per
// record, rounded up to whole record groups.
inline int64_t row_sums_size(const DesignMatrix& x) { return DesignMatrix::kTile * x.row_groups(); }

// w = (X'X + var_ratio * K) v. `row_sums` is work space of row_sums_size(x)
// values; v, w have x.cols values each. Bit-identical to the per-record form
//   for each record i: s = sum_k x(i,k) v(k);  w(j) += x(i,j) s  for all j
// with every sum in double, from 0.0, in ascending order. Runs the kernel
// of the widest instruction set usable (isa.hpp).
void lhs_product(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                 std::span<double> w);

// The kernels behind lhs_product, each with the contract above; all give the
// same bits. The AVX2 kernel needs Isa::Avx2, the AVX-512 one Isa::Avx512
// and GFNI.
void lhs_product_portable(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                          std::span<double> row_sums, std::span<double> w);
void lhs_product_avx2(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                      std::span<double> w);
void lhs_product_avx512(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                        std::span<double> row_sums, std::span<double> w);

}  // namespace gp
