#include "estimator/lhs_product.hpp"

#include <cstdint>

namespace gp {

// The per-record form adds, for each record i, the terms x(i,k) v(k) in
// ascending k into one s, then adds x(i,j) s into w(j) record after record.
// Each s(i) and each w(j) therefore sees exactly the same operations in the
// same order when the work is split into two passes over the column-major
// matrix: first every s(i), column after column (ascending k for each i),
// then every w(j) down its column (ascending i). No addition is regrouped, so
// the results are identical bit for bit, and both passes stream memory.
void lhs_product_portable(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                          std::span<double> row_sums, std::span<double> w) {
  const int64_t rows = x.rows;
  const int64_t cols = x.cols;
  double* s = row_sums.data();

  for (int64_t i = 0; i < rows; ++i) s[i] = 0.0;
  int64_t k = 0;
  // Four columns per sweep keep s in registers longer; for each i the four
  // terms are still added one at a time in ascending k.
  for (; k + 4 <= cols; k += 4) {
    const int8_t* c0 = x.column(k);
    const int8_t* c1 = x.column(k + 1);
    const int8_t* c2 = x.column(k + 2);
    const int8_t* c3 = x.column(k + 3);
    const double v0 = v[k], v1 = v[k + 1], v2 = v[k + 2], v3 = v[k + 3];
    for (int64_t i = 0; i < rows; ++i) {
      double sum = s[i];
      sum = static_cast<double>(c0[i]) * v0 + sum;
      sum = static_cast<double>(c1[i]) * v1 + sum;
      sum = static_cast<double>(c2[i]) * v2 + sum;
      sum = static_cast<double>(c3[i]) * v3 + sum;
      s[i] = sum;
    }
  }
  for (; k < cols; ++k) {
    const int8_t* column = x.column(k);
    const double vk = v[k];
    for (int64_t i = 0; i < rows; ++i) s[i] = static_cast<double>(column[i]) * vk + s[i];
  }

  // Four columns at a time again: four independent sums, each over
  // ascending i, so the additions of one w(j) keep their order.
  int64_t j = 0;
  for (; j + 4 <= cols; j += 4) {
    const int8_t* c0 = x.column(j);
    const int8_t* c1 = x.column(j + 1);
    const int8_t* c2 = x.column(j + 2);
    const int8_t* c3 = x.column(j + 3);
    double w0 = 0.0, w1 = 0.0, w2 = 0.0, w3 = 0.0;
    for (int64_t i = 0; i < rows; ++i) {
      const double si = s[i];
      w0 = static_cast<double>(c0[i]) * si + w0;
      w1 = static_cast<double>(c1[i]) * si + w1;
      w2 = static_cast<double>(c2[i]) * si + w2;
      w3 = static_cast<double>(c3[i]) * si + w3;
    }
    w[j] = w0;
    w[j + 1] = w1;
    w[j + 2] = w2;
    w[j + 3] = w3;
  }
  for (; j < cols; ++j) {
    const int8_t* column = x.column(j);
    double sum = 0.0;
    for (int64_t i = 0; i < rows; ++i) sum = static_cast<double>(column[i]) * s[i] + sum;
    w[j] = sum;
  }

  const double ratio = static_cast<double>(var_ratio);
  for (j = 1; j < cols; ++j) w[j] = ratio * v[j] + w[j];
}

void lhs_product(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                 std::span<double> w) {
  static const bool vector_kernel = lhs_product_avx2_available();
  if (vector_kernel) {
    lhs_product_avx2(x, var_ratio, v, row_sums, w);
  } else {
    lhs_product_portable(x, var_ratio, v, row_sums, w);
  }
}

}  // namespace gp
