// What the sweep needs of the design matrix besides its codes: each column's
// sum and, for every panel, the products of its columns with the SNPs'
// columns centred (x_j - xbar_j 1, xbar_j = 1'x_j / n) and the mean's column
// (column 0, all +1) left as it is, orthogonal to them:
//   G(k, l) = x_k'x_l - (s_k s_l) / n   for SNP columns k, l (s = 1'x),
//   G(0, 0) = n,  G(0, l) = G(k, 0) = 0,
// zero for columns past the last, each the double of that expression.
#pragma once

#include <cstdint>
#include <vector>

#include "bayes/panel_matrix.hpp"

namespace gp::bayes {

inline constexpr int64_t kPanel = PanelMatrix::kTile;

class PanelGrams {
 public:
  explicit PanelGrams(const PanelMatrix& x);

  // Panel p's kPanel x kPanel matrix, row by row.
  const double* panel(int64_t p) const { return values_.data() + p * kPanel * kPanel; }
  double at(int64_t p, int k, int l) const { return panel(p)[k * kPanel + l]; }
  // The centred column's squares x_cj'x_cj (n for column 0): 0 when every
  // record has the same code, and the column then tells nothing.
  double squares(int64_t j) const { return at(j / kPanel, static_cast<int>(j % kPanel), static_cast<int>(j % kPanel)); }
  // s_j = 1'x_j, the sum of column j's codes.
  int64_t sum(int64_t j) const { return sums_[static_cast<size_t>(j)]; }

 private:
  std::vector<double> values_;  // kPanel x kPanel per panel
  std::vector<int64_t> sums_;
};

}  // namespace gp::bayes
