// Validation statistics and genomic breeding values.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "estimator/results.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

struct Triple { float y, s_bv, g_bv; };

SetStatistics statistics_of(const std::vector<Triple>& records) {
  RunningMoments moments;
  for (const Triple& r : records) moments.add(r.y, r.s_bv, r.g_bv);
  return moments.finish();
}

std::vector<Triple> large_phenotypes() {
  // Phenotypes around 1000 with a variance near 2 (half the gap between the
  // two stored floats, squared); a single-precision sum of squares loses it.
  std::vector<Triple> records;
  for (int i = 0; i < 2000; ++i) records.push_back({i % 2 == 0 ? 998.59f : 1001.41f, 0.5f * i, 1.5f * i});
  return records;
}

float large_variance() {
  const double half_gap = (static_cast<double>(1001.41f) - static_cast<double>(998.59f)) / 2.0;
  return static_cast<float>(half_gap * half_gap);
}

TEST(RunningMoments, MeansVariancesAndCorrelation) {
  struct Case { const char* name; std::vector<Triple> records; float mean_y, var_y, corr; };
  const Case cases[] = {
      {"divisor n", {{1, 1, 2}, {2, 2, 1}, {3, 3, 3}}, 2.0f, 2.0f / 3.0f, 0.5f},
      {"proportional breeding values", {{5, -1, -3}, {6, 0.5f, 1.5f}, {7, 2, 6}, {8, 4, 12}}, 6.5f, 1.25f, 1.0f},
      {"negative factor", {{0, 1, -2}, {0, 2, -4}, {0, 4, -8}}, 0.0f, 0.0f, -1.0f},
      {"large phenotypes", large_phenotypes(), 1000.0f, large_variance(), 1.0f},
  };
  for (const Case& c : cases) {
    const SetStatistics stats = statistics_of(c.records);
    EXPECT_NEAR(stats.mean[0], c.mean_y, 1e-4f * std::fabs(c.mean_y)) << c.name;
    EXPECT_NEAR(stats.var[0], c.var_y, 1e-5f) << c.name;
    EXPECT_NEAR(stats.corr, c.corr, 1e-6f) << c.name;
    EXPECT_LE(std::fabs(stats.corr), 1.0f) << c.name;
  }
}

TEST(RunningMoments, UndefinedStatisticsAreNotANumber) {
  const SetStatistics empty = statistics_of({});
  for (int k = 0; k < 3; ++k) {
    EXPECT_TRUE(std::isnan(empty.mean[k]) && std::isnan(empty.var[k])) << "element " << k;
    EXPECT_FALSE(std::signbit(empty.mean[k])) << "prints as NaN, not -NaN";
  }
  EXPECT_TRUE(std::isnan(empty.corr));

  const SetStatistics constant = statistics_of({{1, 2, 0}, {2, 3, 0}, {3, 4, 0}});
  EXPECT_EQ(constant.var[2], 0.0f);
  EXPECT_EQ(constant.mean[2], 0.0f);
  EXPECT_TRUE(std::isnan(constant.corr) && !std::signbit(constant.corr));
}

TEST(GenomicValue, SumsCodedGenotypesTimesEffectsWithoutTheMean) {
  struct Case { std::vector<int32_t> geno; std::vector<float> sol; float g_bv; };
  const Case cases[] = {
      {{}, {7.0f}, 0.0f},                                     // mean-only model
      {{1, 2, 2, 1, 1, 2}, {50, 1.5f, -2, 3}, 0.0f},          // all heterozygous
      {{1, 1, 2, 2, 1, 2}, {50, 1.5f, -2, 3}, -1.5f - 2.0f},  // -1, +1, 0
      {{2, 2}, {0, 0.93333334f}, 0.93333334f},
  };
  for (const Case& c : cases) EXPECT_EQ(test::genomic_value(c.geno, c.sol), c.g_bv) << c.geno.size() / 2 << " SNPs";

  // Summed in SNP order in single precision: 1e8 absorbs each 3 that follows
  // it, while 3 + 3 first survives.
  const std::vector<int32_t> homozygous{2, 2, 2, 2, 2, 2};
  EXPECT_EQ(test::genomic_value(homozygous, std::vector<float>{0, 1e8f, 3, 3}), 1e8f);
  EXPECT_EQ(test::genomic_value(homozygous, std::vector<float>{0, 3, 3, 1e8f}), 100000008.0f);
}

}  // namespace
}  // namespace gp
