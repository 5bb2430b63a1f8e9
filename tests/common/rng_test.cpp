#include "common/rng.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace gp {
namespace {

TEST(BaseDraw, FirstThreeStatesAndValuesFromTheInitialState) {
  struct Step {
    uint32_t state;
    uint32_t high_bits;
  };
  const Step steps[] = {{2886265972u, 11274476u}, {597376229u, 2333500u}, {2722915426u, 10636388u}};
  Generator g;
  ASSERT_EQ(g.state, 183608127u);
  for (const Step& step : steps) {
    const float u = base_draw(g);
    EXPECT_EQ(g.state, step.state);
    EXPECT_EQ(u, std::ldexp(static_cast<float>(step.high_bits), -24)) << "state " << step.state;
  }
}

// Each case starts from the initial state.
TEST(DerivedDraws, ValuesFromTheInitialState) {
  struct Case {
    const char* what;
    float (*draw)(Generator&);
    float expected;
    int draws;
  };
  const Case cases[] = {
      {"uniform(0, 2)", [](Generator& g) { return uniform(g, 0.0f, 2.0f); }, 0x1.5811d8p+0f, 1},   // 1.344022274
      {"uniform(0.05, 0.5)", [](Generator& g) { return uniform(g, 0.05f, 0.5f); }, 0x1.68dcdcp-2f, 1},  // 0.352405012
      {"uniform(0, 1)", [](Generator& g) { return uniform(g, 0.0f, 1.0f); }, 11274476.0f * 0x1p-24f, 1},
      {"normal(0, 1)", [](Generator& g) { return normal(g, 0.0f, 1.0f); }, -0x1.163008p+0f, 12},  // -1.0866704
      {"normal(10, 4)", [](Generator& g) { return normal(g, 10.0f, 4.0f); }, 0x1.f4e7fcp+2f, 12},  // 7.8266592
      {"normal(3.25, 0)", [](Generator& g) { return normal(g, 3.25f, 0.0f); }, 3.25f, 12},
  };
  for (const Case& c : cases) {
    Generator g;
    EXPECT_EQ(c.draw(g), c.expected) << c.what;
    Generator plain;
    for (int i = 0; i < c.draws; ++i) base_draw(plain);
    EXPECT_EQ(g.state, plain.state) << c.what << " consumes " << c.draws << " draws";
  }
}

TEST(DerivedDraws, NormalSumsTwelveDrawsInOrder) {
  Generator g;
  float s = 0.0f;
  for (int i = 0; i < 12; ++i) s = s + base_draw(g);
  EXPECT_EQ(s, 0x1.3a73fep+2f);  // 4.9133296
  EXPECT_NEAR(s, 4.9133296f, 1e-6f);
}

TEST(DerivedDraws, NormalOfNegativeVarianceIsNotANumber) {
  Generator g;
  EXPECT_TRUE(std::isnan(normal(g, 1.0f, -1.0f)));
}

// The states before a new state whose 24 high bits are all zero (new states
// 0 and 255): inverse of 69069 mod 2^32 applied to (t - 1).
TEST(DerivedDraws, ZeroHighBitsGiveExactlyZeroAndUniformReturnsItsLowerBound) {
  for (uint32_t before : {1511872763u, 2531374838u}) {
    Generator g{before};
    EXPECT_EQ(base_draw(g), 0.0f) << before;
    EXPECT_LT(g.state, 256u);
    for (float a : {0.05f, -1.5f, 7.0f}) {
      Generator h{before};
      EXPECT_EQ(uniform(h, a, a + 3.0f), a) << before << " a=" << a;
    }
  }
}

TEST(SkipDraws, MatchesRepeatedBaseDraws) {
  for (uint64_t n : {0u, 1u, 2u, 3u, 7u, 999u, 1000u, 65537u}) {
    for (uint32_t start : {kInitialState, 0u, 0xffffffffu}) {
      Generator plain{start}, skipped{start};
      for (uint64_t i = 0; i < n; ++i) base_draw(plain);
      skip_draws(skipped, n);
      EXPECT_EQ(skipped.state, plain.state) << "n=" << n << " start=" << start;
    }
  }
}

// The period divides 2^32 (it returns after 2^32 draws) but not 2^31, so it
// is exactly 2^32: every state occurs once per period.
TEST(SkipDraws, FullPeriod) {
  for (uint32_t start : {kInitialState, 0u, 12345u}) {
    Generator g{start};
    skip_draws(g, uint64_t{1} << 32);
    EXPECT_EQ(g.state, start);
    Generator half{start};
    skip_draws(half, uint64_t{1} << 31);
    EXPECT_NE(half.state, start);
  }
}

// Correct rounding to single: the extended-precision result rounds to the
// same single value on a spread of arguments.
TEST(SingleMath, LogAndExpAreCorrectlyRoundedFromExtendedPrecision) {
  int checked = 0;
  for (float x = 1e-6f; x < 1e6f; x *= 1.0137f) {
    EXPECT_EQ(single_log(x), static_cast<float>(std::log(static_cast<long double>(x)))) << x;
    const float t = x * 1e-4f;
    EXPECT_EQ(single_exp(t), static_cast<float>(std::exp(static_cast<long double>(t)))) << t;
    EXPECT_EQ(single_exp(-t), static_cast<float>(std::exp(-static_cast<long double>(t)))) << -t;
    ++checked;
  }
  EXPECT_GT(checked, 1000);
  EXPECT_EQ(single_log(100.0f), 0x1.26bb1cp+2f);  // 4.6051702
  EXPECT_EQ(single_exp(0.0f), 1.0f);
}

}  // namespace
}  // namespace gp
