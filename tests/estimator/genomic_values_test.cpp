// The genomic values of whole record groups, proved bit-identical to the
// per-record sum over the codes, for finite and non-finite effects.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "estimator/genomic_values.hpp"
#include "estimator/lhs_product.hpp"
#include "estimator/results.hpp"
#include "support/isa_cap.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

// Codes drawn -1, 0, +1 (all zero for every fifth record); column 0 holds
// `mean_code`, which the values leave out whatever it is.
DesignMatrix random_matrix(std::mt19937& rng, int64_t rows, int64_t cols, int8_t mean_code) {
  DesignMatrix x = test::zero_matrix(rows, cols);
  std::uniform_int_distribution<int> code(-1, 1);
  for (int64_t i = 0; i < rows; ++i) {
    if (cols > 0) test::set_code(x, i, 0, mean_code);
    for (int64_t j = 1; j < cols; ++j) test::set_code(x, i, j, static_cast<int8_t>(i % 5 == 4 ? 0 : code(rng)));
  }
  return x;
}

// Effects of every size, so sums cancel and round; negative ones at zero
// codes give -0.0 terms.
std::vector<float> random_effects(std::mt19937& rng, int64_t cols) {
  std::uniform_real_distribution<float> effect(-5.0f, 5.0f);
  std::vector<float> sol(static_cast<size_t>(cols));
  for (float& value : sol) value = effect(rng) * std::ldexp(1.0f, static_cast<int>(rng() % 60) - 30);
  return sol;
}

// What the results stage defines: the record's codes summed one by one.
std::vector<uint32_t> per_record_bits(const DesignMatrix& x, const std::vector<float>& sol) {
  std::vector<uint32_t> bits;
  std::vector<int8_t> codes(static_cast<size_t>(x.cols > 0 ? x.cols - 1 : 0));
  for (int64_t i = 0; i < x.rows; ++i) {
    for (size_t j = 0; j < codes.size(); ++j) codes[j] = test::code_at(x, i, static_cast<int64_t>(j) + 1);
    bits.push_back(std::bit_cast<uint32_t>(test::genomic_value(codes, sol.empty() ? std::vector<float>{0.0f} : sol)));
  }
  return bits;
}

// genomic_values at the bits it gives, with stale output.
std::vector<uint32_t> kernel_bits(const DesignMatrix& x, const std::vector<float>& sol) {
  std::vector<float> g(static_cast<size_t>(row_sums_size(x)), -7.0f);
  genomic_values(x, sol, g);
  std::vector<uint32_t> bits;
  for (int64_t i = 0; i < x.rows; ++i) bits.push_back(std::bit_cast<uint32_t>(g[static_cast<size_t>(i)]));
  return bits;
}

TEST(GenomicValues, EqualThePerRecordSumBitForBit) {
  // Tile remainders in both directions, no columns or only the mean's, more
  // records than SNPs and the reverse, enough record groups for every block.
  const std::pair<int64_t, int64_t> shapes[] = {{0, 5},   {9, 0},   {1, 1},   {1, 2},    {3, 9},   {8, 8},    {9, 17},
                                                {31, 64}, {33, 65}, {130, 70}, {70, 300}, {200, 129}, {7, 1000}};
  std::mt19937 rng(2024);
  for (const auto& [rows, cols] : shapes) {
    for (const int8_t mean_code : {int8_t{1}, int8_t{-1}, int8_t{0}}) {
      const DesignMatrix x = random_matrix(rng, rows, cols, mean_code);
      const std::vector<float> sol = random_effects(rng, cols);
      for (const Isa isa : test::processor_isas()) {
        const test::IsaCap cap(isa);
        EXPECT_EQ(kernel_bits(x, sol), per_record_bits(x, sol))
            << isa_name(isa) << ": " << rows << " records, " << cols << " columns, mean code " << int{mean_code};
      }
    }
  }
}

TEST(GenomicValues, KeepSignedZerosInfinitiesAndNaN) {
  // Zero codes times infinite or NaN effects are NaN; opposite infinities
  // give the processor's NaN; an effect of -0.0 everywhere keeps +0.0.
  volatile float inf_source = std::numeric_limits<float>::infinity();
  const float inf = inf_source;
  const float nan = inf_source - inf_source;
  const std::vector<float> specials[] = {
      {-0.0f, -0.0f, -0.0f}, {-0.0f, -2.5f, -0.0f}, {inf, 1.0f, 0.0f},      {1.0f, -inf, 2.0f},
      {nan, 1.0f, 1.0f},     {inf, -inf, 1.0f},     {3.0e38f, 3.0e38f, 1.0f}, {0.0f, 0.0f, 0.0f}};
  std::mt19937 rng(7);
  for (const auto& [rows, cols] : {std::pair<int64_t, int64_t>{5, 7}, {37, 41}, {130, 301}}) {
    const DesignMatrix x = random_matrix(rng, rows, cols, 1);
    for (size_t pick = 0; pick < std::size(specials); ++pick) {
      std::vector<float> sol(static_cast<size_t>(cols));
      for (size_t k = 0; k < sol.size(); ++k) sol[k] = specials[(pick + k / 3) % std::size(specials)][k % 3];
      for (const Isa isa : test::processor_isas()) {
        const test::IsaCap cap(isa);
        EXPECT_EQ(kernel_bits(x, sol), per_record_bits(x, sol)) << isa_name(isa) << ": " << rows << " records, pattern " << pick;
      }
    }
  }
}

}  // namespace
}  // namespace gp
