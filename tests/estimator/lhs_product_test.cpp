// The two-pass product with X'X and the single-precision sums of the normal
// equations, proved bit-identical to their per-record forms.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "estimator/lhs_product.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/state.hpp"
#include "support/isa_cap.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

DesignMatrix random_matrix(std::mt19937& rng, int64_t rows, int64_t cols) {
  DesignMatrix x = test::zero_matrix(rows, cols);
  std::uniform_int_distribution<int> code(-1, 1);
  for (int64_t i = 0; i < rows; ++i) {
    test::set_code(x, i, 0, 1);
    for (int64_t j = 1; j < cols; ++j) test::set_code(x, i, j, static_cast<int8_t>(code(rng)));
  }
  return x;
}

// The matrix as floats, column-major.
std::vector<float> float_matrix(const DesignMatrix& x) {
  std::vector<float> xf(static_cast<size_t>(x.rows * x.cols));
  for (int64_t j = 0; j < x.cols; ++j) {
    for (int64_t i = 0; i < x.rows; ++i) xf[static_cast<size_t>(i + j * x.rows)] = static_cast<float>(test::code_at(x, i, j));
  }
  return xf;
}

// The product as one pass over the records, with the matrix held as floats:
// for each record, s = row i times v, then every w(j) += x(i, j) * s.
std::vector<double> literal_lhs_product(const DesignMatrix& x, float var_ratio, const std::vector<double>& v) {
  const std::vector<float> xf = float_matrix(x);
  const int64_t n = static_cast<int64_t>(v.size());
  std::vector<double> w(v.size(), 0.0);
  for (int64_t i = 0; i < x.rows; ++i) {
    double s = 0.0;
    for (int64_t k = 0; k < n; ++k) s = static_cast<double>(xf[i + k * x.rows]) * v[k] + s;
    for (int64_t j = 0; j < n; ++j) w[j] = static_cast<double>(xf[i + j * x.rows]) * s + w[j];
  }
  for (int64_t j = 1; j < n; ++j) w[j] = static_cast<double>(var_ratio) * v[j] + w[j];
  return w;
}

// The product through lhs_product, with stale work space and output.
std::vector<double> fast_lhs_product(const DesignMatrix& x, float var_ratio, const std::vector<double>& v) {
  std::vector<double> row_sums(static_cast<size_t>(row_sums_size(x)), std::numeric_limits<double>::quiet_NaN());
  std::vector<double> w(v.size(), -7.0);
  lhs_product(x, var_ratio, v, row_sums, w);
  return w;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(LhsProduct, EveryKernelEqualsThePerRecordLoopBitForBit) {
  // Shapes around the kernels' blocks: 8 x 8 tiles, 4 or 8 record groups
  // (32 or 64 records) in flight, chunks of 16 panels (128 columns), 4 or 8
  // panels (32 or 64 columns) in flight, with every kind of remainder.
  struct Shape { int64_t rows, snps; };
  const Shape shapes[] = {{0, 0},    {1, 0},    {7, 0},    {0, 5},    {1, 1},    {4, 1},    {3, 3},    {5, 4},
                          {13, 7},   {7, 13},   {2, 40},   {40, 2},   {64, 63},  {101, 9},  {9, 101},  {257, 31},
                          {31, 258}, {32, 32},  {33, 35},  {48, 130}, {95, 129}, {16, 36},  {200, 300}, {8, 7},
                          {9, 8},    {63, 127}, {65, 128}, {72, 71},  {129, 255}, {300, 1}, {1, 300},  {520, 66},
                          {66, 520}, {128, 127}, {0, 200}};
  std::mt19937 rng(20240611);
  std::uniform_real_distribution<double> value(-1.0e3, 1.0e3);
  std::uniform_real_distribution<float> ratio(-2.0f, 50.0f);
  for (const Isa isa : test::processor_isas()) {
    const test::IsaCap cap(isa);
    for (const Shape& shape : shapes) {
      for (int trial = 0; trial < 12; ++trial) {
        const DesignMatrix x = random_matrix(rng, shape.rows, shape.snps + 1);
        std::vector<double> v(static_cast<size_t>(shape.snps + 1));
        for (double& element : v) element = value(rng) * std::ldexp(1.0, trial % 7 * 9 - 30);
        const float var_ratio = trial == 0 ? 0.0f : ratio(rng);
        EXPECT_TRUE(same_bits(fast_lhs_product(x, var_ratio, v), literal_lhs_product(x, var_ratio, v)))
            << isa_name(isa) << ": " << shape.rows << " records, " << shape.snps << " SNPs, trial " << trial;
      }
    }
  }
}

TEST(LhsProduct, EveryKernelKeepsSignedZerosInfinitiesAndNaN) {
  // Zero codes times negative values give -0.0, which a sum that is still
  // -0.0 keeps; infinite values meet zero codes (NaN) and each other. The NaN
  // is the one the processor makes (inf - inf), the only NaN a run of the
  // estimator can meet: which of two NaN operands an addition passes on is
  // not fixed, so only NaNs of one bit pattern have a defined result.
  volatile double inf_source = std::numeric_limits<double>::infinity();
  const double inf = inf_source;
  const double nan = inf_source - inf_source;
  const std::vector<std::vector<double>> specials = {
      {-0.0, -0.0, -1.0}, {-0.0, -2.5, -0.0}, {inf, 1.0, 0.0}, {1.0, -inf, 2.0}, {nan, 1.0, 1.0},
      {1.0, 1.0, nan},    {inf, -inf, 1.0},   {1.0e308, 1.0e308, 1.0e308}};
  std::mt19937 rng(99);
  for (const Isa isa : test::processor_isas()) {
    const test::IsaCap cap(isa);
    for (const auto& [rows, snps] : {std::pair<int64_t, int64_t>{5, 6}, {37, 40}, {70, 140}, {130, 300}}) {
      const DesignMatrix x = random_matrix(rng, rows, snps + 1);
      for (size_t pick = 0; pick < specials.size(); ++pick) {
        std::vector<double> v(static_cast<size_t>(snps + 1), -0.0);
        for (size_t k = 0; k < v.size(); k += 3) {
          for (size_t c = 0; c < 3 && k + c < v.size(); ++c) v[k + c] = specials[(pick + k / 3) % specials.size()][c];
        }
        EXPECT_TRUE(same_bits(fast_lhs_product(x, 1.5f, v), literal_lhs_product(x, 1.5f, v)))
            << isa_name(isa) << ": " << rows << " records, pattern " << pick;
      }
    }
  }
}

TEST(LhsProduct, UnitVectorsGiveColumnsOfTheCoefficientMatrix) {
  // Codes of SNP 1 over four records: -1, 0, +1, +1; SNP 2: +1, +1, -1, 0.
  DesignMatrix x = test::zero_matrix(4, 3);
  const int8_t codes[4][3] = {{1, -1, 1}, {1, 0, 1}, {1, 1, -1}, {1, 1, 0}};
  for (int64_t i = 0; i < 4; ++i) {
    for (int64_t j = 0; j < 3; ++j) test::set_code(x, i, j, codes[i][j]);
  }
  struct Case { std::vector<double> v; float ratio; std::vector<double> w; };
  const Case cases[] = {
      {{1, 0, 0}, 2.5f, {4, 1, 1}},      // column 1: no ratio on the mean
      {{0, 1, 0}, 2.5f, {1, 5.5, -2}},   // column 2 with the ratio on its diagonal
      {{0, 0, 1}, 0.0f, {1, -2, 3}},     // ratio 0: X'X alone
      {{1, 1, 1}, 1.0f, {6, 3, 3}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(fast_lhs_product(x, c.ratio, c.v), c.w) << "v = (" << c.v[0] << ", " << c.v[1] << ", " << c.v[2] << ")";
  }
}

TEST(NormalEquations, DiagonalAndRightHandSideMatchTheirRecordOrderSums) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> phenotype(-500.0f, 3000.0f);
  for (const auto& [rows, snps] : {std::pair{0, 3}, {1, 0}, {6, 2}, {35, 17}, {200, 11}, {2040, 5}, {2048, 9}, {3000, 4}}) {
    EstimatorState state;
    state.nrec = rows;
    state.n_snp = snps;
    state.neq = snps + 1;
    state.x = random_matrix(rng, rows, state.neq);
    state.y.resize(static_cast<size_t>(rows));
    state.xpy.assign(static_cast<size_t>(state.neq), 0.0f);
    state.diag.assign(static_cast<size_t>(state.neq), -1.0f);
    std::vector<float> xpy(static_cast<size_t>(state.neq), 0.0f);
    float sum_y = 0.0f;
    for (int64_t i = 0; i < rows; ++i) {
      state.y[i] = phenotype(rng);
      test::add_record_to_xpy(state, i);
      for (int64_t j = 0; j < state.neq; ++j) xpy[j] = state.y[i] * static_cast<float>(test::code_at(state.x, i, j)) + xpy[j];
      sum_y += state.y[i];
    }
    form_diag(state);
    EXPECT_EQ(state.xpy, xpy);
    EXPECT_EQ(state.xpy[0], sum_y) << "X'y(1) is the running sum of the phenotypes";
    EXPECT_EQ(state.diag[0], static_cast<float>(rows)) << "X'X(1,1) is the number of records";
    for (int64_t j = 1; j < state.neq; ++j) {
      float squares = 0.0f;
      for (int64_t i = 0; i < rows; ++i) {
        const float code = static_cast<float>(test::code_at(state.x, i, j));
        squares = code * code + squares;
      }
      EXPECT_EQ(state.diag[j], squares) << "column " << j << ": the sum of squares in record order";
    }
  }
}

}  // namespace
}  // namespace gp
