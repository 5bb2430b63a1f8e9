// Genomic breeding values of whole groups of records at once, from their
// packed genotypes: one sum per record, kept in the record's own order, so
// records can share the work without changing a bit of any of them.
#pragma once

#include <span>

#include "estimator/design_matrix.hpp"

namespace gp {

// g(i) = sum over ascending k >= 1 of x(i,k) * sol(k) in single precision,
// each product rounded and added to the sum, which starts at +0.0: record
// i's genomic breeding value, SNP by SNP in order. Column 0, the mean, is
// left out. `sol` has x.cols values and `g` row_sums_size(x); the values of
// g past x.rows are work space. Runs the kernel of the widest instruction
// set usable (isa.hpp).
void genomic_values(const DesignMatrix& x, std::span<const float> sol, std::span<float> g);

// The kernels behind it, each with its contract: the portable one multiplies
// every code; the AVX2 one needs Isa::Avx2; the AVX-512 one needs
// Isa::Avx512 with GFNI and runs the AVX2 row pass when a sol(k), k >= 1,
// is not finite.
void genomic_values_portable(const DesignMatrix& x, std::span<const float> sol, std::span<float> g);
void genomic_values_avx2(const DesignMatrix& x, std::span<const float> sol, std::span<float> g);
void genomic_values_avx512(const DesignMatrix& x, std::span<const float> sol, std::span<float> g);

}  // namespace gp
