// The panel kernels against the definition's plain loops over unpacked
// codes, bit for bit, on every kernel this processor runs, across record and
// column counts that leave every kind of tail; and the panels' Gram matrices.
#include "bayes/panel_kernels.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "bayes/gram.hpp"
#include "matrices.hpp"
#include "support/isa_cap.hpp"

namespace gp::bayes::testing {
namespace {

constexpr int kPanelColumns = 8;

// q(c) as panel_kernels.hpp defines it, from the unpacked codes.
std::vector<double> plain_cross(const Codes& x, int64_t panel, const std::vector<double>& e) {
  std::vector<double> q(kPanelColumns, 0.0);
  for (int c = 0; c < kPanelColumns; ++c) {
    const int64_t j = panel * kPanelColumns + c;
    if (j >= x.cols) continue;
    double s[8] = {};
    for (int64_t i = 0; i < x.rows; ++i) {
      if (x.at(i, j) == 1) s[i % 8] = s[i % 8] + e[i];
      if (x.at(i, j) == -1) s[i % 8] = s[i % 8] - e[i];
    }
    q[c] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
  }
  return q;
}

void plain_update(const Codes& x, int64_t panel, const double* d, std::vector<double>& e) {
  for (int64_t i = 0; i < x.rows; ++i) {
    double s = 0.0;
    for (int c = 0; c < kPanelColumns && panel * kPanelColumns + c < x.cols; ++c) {
      const int8_t code = x.at(i, panel * kPanelColumns + c);
      if (code == 1) s = s + d[c];
      if (code == -1) s = s - d[c];
    }
    e[i] = e[i] - s;
  }
}

bool same_bits(const double* a, const double* b, size_t n) { return std::memcmp(a, b, n * sizeof(double)) == 0; }

// Record counts around the tile (8), the update's tiles in flight (4, 8)
// and the 64-record words of the Gram; column counts around the panel.
const int64_t kRows[] = {1, 2, 7, 8, 9, 15, 31, 33, 63, 64, 65, 71, 72, 129, 200, 513};
const int64_t kCols[] = {1, 3, 8, 9, 15, 16, 17, 40};

TEST(PanelKernels, EveryKernelFollowsTheDefinitionBitForBit) {
  std::mt19937 rng(17);
  std::uniform_real_distribution<double> value(-50.0, 50.0);
  for (const PanelKernel* kernel : every_kernel()) {
    for (int64_t rows : kRows) {
      for (int64_t cols : kCols) {
        const Codes codes = random_codes(rng, rows, cols, cols % 2 == 1);
        const PanelMatrix x(packed(codes));
        const size_t padded = static_cast<size_t>(x.row_groups() * 8);
        for (int trial = 0; trial < 3; ++trial) {
          // Values of every magnitude, so a reordered addition would round differently.
          std::vector<double> e(padded, 0.0);
          for (int64_t i = 0; i < rows; ++i) e[i] = value(rng) * std::ldexp(1.0, static_cast<int>(i % 29) - 14);
          for (int64_t p = 0; p < x.col_groups(); ++p) {
            double q[8];
            kernel->cross(x, p, e.data(), q);
            const std::vector<double> expected = plain_cross(codes, p, e);
            ASSERT_TRUE(same_bits(q, expected.data(), 8))
                << kernel->name << " cross: " << rows << " x " << cols << ", panel " << p;
            double d[8];
            for (double& v : d) v = trial == 2 && rng() % 3 == 0 ? 0.0 : value(rng) * 1e-3;
            std::vector<double> updated = e, reference = e;
            kernel->update(x, p, d, updated.data());
            plain_update(codes, p, d, reference);
            ASSERT_TRUE(same_bits(updated.data(), reference.data(), padded))
                << kernel->name << " update: " << rows << " x " << cols << ", panel " << p;
          }
        }
      }
    }
  }
}

TEST(PanelKernels, SignedZerosInfinitiesAndNaNAsTheDefinitionHasThem) {
  const double inf = std::numeric_limits<double>::infinity();
  volatile double inf_source = inf;
  const double nan = inf_source - inf_source;
  const double specials[] = {-0.0, 0.0, -1.5, inf, -inf, nan, 1e308, -1e308};
  std::mt19937 rng(4);
  for (const PanelKernel* kernel : every_kernel()) {
    for (int64_t rows : {5, 40, 77}) {
      const Codes codes = random_codes(rng, rows, 16, false);
      const PanelMatrix x(packed(codes));
      for (size_t pick = 0; pick < std::size(specials); ++pick) {
        std::vector<double> e(static_cast<size_t>(x.row_groups() * 8), 0.0);
        for (int64_t i = 0; i < rows; ++i) e[i] = i % 5 == 0 ? specials[(pick + i) % std::size(specials)] : 1.0 + i;
        double d[8];
        for (int c = 0; c < 8; ++c) d[c] = c % 3 == 0 ? specials[(pick + c) % std::size(specials)] : 0.5 * c;
        for (int64_t p = 0; p < 2; ++p) {
          double q[8];
          kernel->cross(x, p, e.data(), q);
          EXPECT_TRUE(same_bits(q, plain_cross(codes, p, e).data(), 8)) << kernel->name << ", pattern " << pick;
          std::vector<double> updated = e, reference = e;
          kernel->update(x, p, d, updated.data());
          plain_update(codes, p, d, reference);
          EXPECT_TRUE(same_bits(updated.data(), reference.data(), updated.size())) << kernel->name << ", pattern " << pick;
        }
      }
    }
  }
}

// The update of a panel in which some SNPs changed: kernels may pass over
// the changed columns alone, or treat a single one on its own.
TEST(PanelKernels, UpdateOfEveryShareOfChangedColumns) {
  const double inf = std::numeric_limits<double>::infinity();
  volatile double inf_source = inf;
  const double nan = inf_source - inf_source;
  const double changes[] = {0.75, -2.5e-3, inf, -inf, nan, 1e308, -1e-300, 3.0};
  // Bit c set: d(c) changes; clear: d(c) is +0.0, or -0.0 in odd columns.
  const unsigned patterns[] = {0xFF, 0x00, 0x01, 0x08, 0x80, 0x24, 0x7F, 0xFE, 0x5A};
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> value(-50.0, 50.0);
  for (const PanelKernel* kernel : every_kernel()) {
    for (int64_t rows : {3, 8, 61, 130}) {
      const Codes codes = random_codes(rng, rows, 13, true);
      const PanelMatrix x(packed(codes));
      std::vector<double> e(static_cast<size_t>(x.row_groups() * 8), 0.0);
      for (int64_t i = 0; i < rows; ++i) e[i] = i % 11 == 5 ? changes[i % 8] : value(rng);
      for (unsigned pattern : patterns) {
        double d[8];
        for (int c = 0; c < 8; ++c) d[c] = (pattern >> c & 1) != 0 ? changes[(c + pattern) % 8] : c % 2 ? -0.0 : 0.0;
        for (int64_t p = 0; p < x.col_groups(); ++p) {
          std::vector<double> updated = e, reference = e;
          kernel->update(x, p, d, updated.data());
          plain_update(codes, p, d, reference);
          EXPECT_TRUE(same_bits(updated.data(), reference.data(), updated.size()))
              << kernel->name << ": " << rows << " records, changed columns " << pattern << ", panel " << p;
        }
      }
    }
  }
}

TEST(PanelGrams, CentredProductsAndSumsOfTheCodes) {
  std::mt19937 rng(8);
  for (int64_t rows : kRows) {
    for (int64_t cols : {1, 7, 8, 13, 24}) {
      const Codes codes = random_codes(rng, rows, cols, true);
      const PanelMatrix x(packed(codes));
      const PanelGrams grams(x);
      const auto sum = [&](int64_t j) {
        int64_t total = 0;
        for (int64_t i = 0; i < rows; ++i) total += codes.at(i, j);
        return total;
      };
      for (int64_t j = 0; j < cols; ++j) {
        EXPECT_EQ(grams.sum(j), sum(j)) << rows << " x " << cols << ", column " << j;
        for (int64_t l = j / 8 * 8; l < j / 8 * 8 + 8; ++l) {
          double expected = 0.0;
          if (l < cols && j > 0 && l > 0) {
            int64_t product = 0;
            for (int64_t i = 0; i < rows; ++i) product += codes.at(i, j) * codes.at(i, l);
            expected = static_cast<double>(product) - static_cast<double>(sum(j)) * static_cast<double>(sum(l)) / rows;
          }
          if (j == 0 && l == 0) expected = static_cast<double>(rows);
          EXPECT_EQ(grams.at(j / 8, static_cast<int>(j % 8), static_cast<int>(l % 8)), expected)
              << rows << " x " << cols << ", columns " << j << ", " << l;
        }
      }
    }
  }
}

}  // namespace
}  // namespace gp::bayes::testing
