// The two passes of each lhs_product kernel, for the kernels to share:
//   row sums     s(i) = sum over ascending k of x(i,k) v(k), from 0.0;
//   column sums  w(j) = sum over ascending i of x(i,j) s(i), from 0.0.
// s has row_sums_size(x) values; the ones past x.rows are work space.
#pragma once

#include "estimator/design_matrix.hpp"

namespace gp {

void row_sums_portable(const DesignMatrix& x, const double* v, double* s);
void column_sums_portable(const DesignMatrix& x, const double* s, double* w);

// Need Isa::Avx2. Exact for every input, infinities and NaN included.
void row_sums_avx2(const DesignMatrix& x, const double* v, double* s);
void column_sums_avx2(const DesignMatrix& x, const double* s, double* w);

// The row sums in single precision, s(i) = sum over ascending k of
// x(i,k) v(k) from +0.0f. The AVX-512 pass needs Isa::Avx512 with GFNI and
// every v finite; the AVX2 pass needs Isa::Avx2; the AVX2 and the portable
// pass are exact for every input.
void float_row_sums_portable(const DesignMatrix& x, const float* v, float* s);
void float_row_sums_avx2(const DesignMatrix& x, const float* v, float* s);
void float_row_sums_avx512(const DesignMatrix& x, const float* v, float* s);

// w(j) += var_ratio * v(j) for j >= 1: the ratio on the SNPs' diagonal.
void add_ratio(float var_ratio, const double* v, double* w, int64_t n);

}  // namespace gp
