#include "simulator/model.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "support/model_reference.hpp"

namespace gp {
namespace {

SimulationParameters effects_case(int32_t n_snp, int32_t n_qtl, float snp_range) {
  SimulationParameters p;
  p.n_snp = n_snp;
  p.n_qtl = n_qtl;
  p.snp_range = snp_range;
  return p;
}

// How many draws lie between two generator states (small counts only).
int draws_between(Generator from, const Generator& to) {
  for (int n = 0; n < 100000; ++n) {
    if (from.state == to.state) return n;
    base_draw(from);
  }
  return -1;
}

TEST(DrawEffects, SnpRangeOneOrLessSetsSnpOneAndDrawsNothing) {
  for (float range : {1.0f, 0.5f, 0.0f, -3.0f}) {
    for (int32_t n_qtl : {0, 1, 4, 99}) {
      std::vector<float> val(5, 0.0f);
      Generator g;
      draw_effects(g, effects_case(5, n_qtl, range), val);
      EXPECT_EQ(val, (std::vector<float>{1.0f, 0.0f, 0.0f, 0.0f, 0.0f})) << range << " " << n_qtl;
      EXPECT_EQ(g.state, kInitialState) << range << " " << n_qtl;
    }
  }
}

// Magnitudes snp_range^((n_qtl - k) / (n_qtl - 1)); signs drawn from SNP
// n_qtl down to SNP 1, negative when uniform(0, 2) exceeds 1.
TEST(DrawEffects, GeometricMagnitudesWithSignsDrawnFromTheLastQtlDown) {
  struct Case {
    int32_t n_qtl;
    float range;
    std::vector<float> magnitudes;  // SNP 1 first
  };
  const Case cases[] = {
      {3, 100.0f, {100.00001f, 10.0f, 1.0f}},
      {2, 4.0f, {4.0f, 1.0f}},
      {1, 50.0f, {1.0f}},
      {5, 16.0f, {16.0f, 8.0f, 4.0f, 2.0f, 1.0f}},
  };
  for (const Case& c : cases) {
    std::vector<float> val(6, 0.0f);
    Generator g;
    for (int i = 0; i < 500; ++i) base_draw(g);
    Generator signs = g;
    draw_effects(g, effects_case(6, c.n_qtl, c.range), val);
    EXPECT_EQ(draws_between(signs, g), c.n_qtl);
    for (int32_t k = c.n_qtl; k >= 1; --k) {
      const bool negative = uniform(signs, 0.0f, 2.0f) > 1.0f;
      const float m = c.magnitudes[static_cast<size_t>(k - 1)];
      EXPECT_NEAR(val[static_cast<size_t>(k - 1)], negative ? -m : m, m * 2e-6f) << "n_qtl " << c.n_qtl << " SNP " << k;
    }
    for (size_t j = static_cast<size_t>(c.n_qtl); j < val.size(); ++j) EXPECT_EQ(val[j], 0.0f);
  }
}

TEST(DrawEffects, NoQtlWithRangeAboveOneDrawsNothing) {
  for (int32_t n_qtl : {0, -2}) {
    std::vector<float> val(3, 0.0f);
    Generator g;
    draw_effects(g, effects_case(3, n_qtl, 10.0f), val);
    EXPECT_EQ(g.state, kInitialState);
    EXPECT_EQ(val, (std::vector<float>{0.0f, 0.0f, 0.0f}));
  }
}

TEST(DrawFrequencies, OneUniformPerSnpWithTheBoundsInEitherOrder) {
  for (auto [lo, hi] : {std::pair{0.1f, 0.4f}, std::pair{0.4f, 0.1f}, std::pair{0.3f, 0.3f}}) {
    SimulationParameters p;
    p.freq_min = lo;
    p.freq_max = hi;
    std::vector<float> freq(50);
    Generator g, plain;
    draw_frequencies(g, p, freq);
    for (float f : freq) {
      EXPECT_EQ(f, uniform(plain, lo, hi));
      EXPECT_GE(f, std::min(lo, hi));
      EXPECT_LE(f, std::max(lo, hi));
    }
    EXPECT_EQ(g.state, plain.state);
  }
}

// Code 2 where the frequency exceeds the draw; a frequency of 0 never gives
// code 2 (not even on a draw of exactly 0), one of 1 always does.
TEST(DrawGenotypes, CodesFollowTheFrequencyComparison) {
  const std::vector<float> freq = {0.0f, 1.0f, 0.5f, 0.25f, 1.5f};
  for (uint32_t start : {kInitialState, 1511872763u, 7u}) {
    std::vector<int32_t> geno(10, 9);
    Generator g{start}, plain{start};
    test::draw_genotypes(g, freq, geno);
    for (size_t j = 0; j < freq.size(); ++j) {
      for (size_t k = 0; k < 2; ++k) {
        const float u = uniform(plain, 0.0f, 1.0f);
        EXPECT_EQ(geno[2 * j + k], freq[j] > u ? 2 : 1) << "SNP " << j + 1 << " allele " << k + 1;
      }
    }
    EXPECT_EQ(geno[0], 1);
    EXPECT_EQ(geno[1], 1);
    EXPECT_EQ(geno[2], 2);
    EXPECT_EQ(geno[3], 2);
    EXPECT_EQ(geno[8], 2);
    EXPECT_EQ(geno[9], 2);
    EXPECT_EQ(g.state, plain.state);
  }
}

TEST(BreedingValue, SumOfCodedGenotypesTimesEffectsInSnpOrder) {
  const std::vector<int32_t> geno = {1, 1, 1, 2, 2, 2, 2, 1};
  const std::vector<float> val = {0.5f, 3.0f, -0.25f, 1e8f};
  // (-1)(0.5) + 0 + (1)(-0.25) + 0, in that order.
  EXPECT_EQ(test::breeding_value(geno, val), -0.75f);
  EXPECT_EQ(test::breeding_value({}, {}), 0.0f);
}

TEST(Scaling, EffectsCarryVarAAfterScaling) {
  const std::vector<float> freq = {0.1f, 0.3f, 0.45f, 0.0f};
  std::vector<float> val = {2.0f, -1.0f, 0.5f, 7.0f};
  const float sim_var = genetic_variance(freq, val);
  float expected = 0.0f;
  for (size_t j = 0; j < freq.size(); ++j) expected = expected + ((1.0f - freq[j]) * (2.0f * freq[j])) * (val[j] * val[j]);
  EXPECT_EQ(sim_var, expected);
  scale_effects(4.0f, sim_var, val);
  EXPECT_NEAR(genetic_variance(freq, val), 4.0f, 1e-5f);
}

TEST(Scaling, SingleEffectOfSnpOne) {
  const std::vector<float> freq = {0.2f, 0.4f};
  std::vector<float> val = {1.0f, 0.0f};
  scale_effects(2.0f, genetic_variance(freq, val), val);
  EXPECT_NEAR(val[0], std::sqrt(2.0f / (2.0f * 0.2f * 0.8f)), 1e-6f);
  EXPECT_EQ(val[1], 0.0f);
}

TEST(ResidualVariance, FromHeritability) {
  EXPECT_EQ(residual_variance(0.25f, 1.0f), 3.0f);
  EXPECT_EQ(residual_variance(1.0f, 5.0f), 0.0f);
  EXPECT_EQ(residual_variance(0.5f, 2.0f), 2.0f);
}

TEST(RecordValue, OwnRecordsAndProgenyMeans) {
  SimulationParameters p;
  p.mean = 100.0f;
  p.var_a = 1.0f;
  p.var_e = 3.0f;
  const float s_bv = 0.75f;
  {
    p.nprog = 0;
    Generator g, plain;
    EXPECT_EQ(record_value(g, p, s_bv), p.mean + normal(plain, s_bv, p.var_e));
    EXPECT_EQ(g.state, plain.state);
  }
  {
    p.nprog = 10;  // w = (12 + 3) / 10 = 1.5
    Generator g, plain;
    EXPECT_EQ(record_value(g, p, s_bv), (p.mean + s_bv) + normal(plain, 0.0f, 1.5f));
    EXPECT_EQ(g.state, plain.state);
  }
}

// A larger population: the simulated breeding values have variance near
// var_a, and their correlation with the records is near sqrt(h2) for own
// records and near sqrt(var_a / (var_a + w)) for progeny means.
TEST(Population, StatisticsOfALargerRun) {
  struct Case {
    int32_t nprog;
    float h2;
  };
  for (const Case c : {Case{0, 0.5f}, Case{0, 0.2f}, Case{20, 0.3f}}) {
    SimulationParameters p;
    p.n_snp = 300;
    p.n_qtl = 60;
    p.nprog = c.nprog;
    p.freq_min = 0.05f;
    p.freq_max = 0.5f;
    p.snp_range = 20.0f;
    p.var_a = 10.0f;
    p.h2 = c.h2;
    p.mean = 50.0f;
    std::vector<float> freq(300), val(300, 0.0f);
    std::vector<int32_t> geno(600);
    Generator g;
    warm_up(g, 321);
    draw_frequencies(g, p, freq);
    draw_effects(g, p, val);
    p.sim_var = genetic_variance(freq, val);
    scale_effects(p.var_a, p.sim_var, val);
    p.var_e = residual_variance(p.h2, p.var_a);

    const int n = 6000;
    double sb = 0, sy = 0, sbb = 0, syy = 0, sby = 0;
    for (int i = 0; i < n; ++i) {
      test::draw_genotypes(g, freq, geno);
      const double b = test::breeding_value(geno, val);
      const double y = record_value(g, p, static_cast<float>(b));
      sb += b, sy += y, sbb += b * b, syy += y * y, sby += b * y;
    }
    const double vb = (sbb - sb * sb / n) / (n - 1);
    const double vy = (syy - sy * sy / n) / (n - 1);
    const double r = (sby - sb * sy / n) / (n - 1) / std::sqrt(vb * vy);
    const double w = (4.0 * p.var_e + 3.0 * p.var_a) / std::max(c.nprog, 1);
    const double expected_r = c.nprog == 0 ? std::sqrt(c.h2) : std::sqrt(p.var_a / (p.var_a + w));
    EXPECT_NEAR(vb, p.var_a, 0.1 * p.var_a) << "nprog " << c.nprog;
    EXPECT_NEAR(r, expected_r, 0.04) << "nprog " << c.nprog;
    const double residual = c.nprog == 0 ? p.var_e : w;
    EXPECT_NEAR((sy - sb) / n, p.mean, 4.0 * std::sqrt(residual / n)) << "nprog " << c.nprog;
  }
}

}  // namespace
}  // namespace gp
