// What the sweep needs of the design matrix besides its codes: the Gram
// matrix X_p'X_p of every panel, integers held exactly as doubles.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "estimator/design_matrix.hpp"

namespace gp::bayes {

inline constexpr int64_t kPanel = DesignMatrix::kTile;

class PanelGrams {
 public:
  explicit PanelGrams(const DesignMatrix& x);

  // Element (k, l) of panel p's X_p'X_p: the sum over records of
  // x(i, 8p + k) x(i, 8p + l); zero for columns past the last.
  const double* panel(int64_t p) const { return values_.data() + p * kPanel * kPanel; }
  double at(int64_t p, int k, int l) const { return panel(p)[k * kPanel + l]; }
  // x_j'x_j: the records with a non-zero code in column j.
  double squares(int64_t j) const { return at(j / kPanel, static_cast<int>(j % kPanel), static_cast<int>(j % kPanel)); }

 private:
  std::vector<double> values_;  // kPanel x kPanel per panel
};

// The sum of the codes of every column, in column order.
std::vector<int64_t> column_sums(const DesignMatrix& x);

}  // namespace gp::bayes
