// The samplers' random draws: the published generators' known outputs, the
// streams pinned for a seed (a change would change every file of a run), and
// the moments and shape of each distribution over many draws.
#include "common/distributions.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/xoshiro.hpp"

namespace gp {
namespace {

TEST(Xoshiro, PublishedGeneratorsKnownOutputs) {
  uint64_t state = 0;
  EXPECT_EQ(splitmix64(state), 0xE220A8397B1DCDAFu);
  // From the state (1, 2, 3, 4): rotl(1 + 4, 23) + 1.
  Xoshiro256pp g = Xoshiro256pp::from_state(1, 2, 3, 4);
  EXPECT_EQ(g.next(), 41943041u);
}

// The first draws from seed 20250101 of each kind, each from a fresh stream.
TEST(RandomDraws, StreamsPinnedForASeed) {
  struct Case {
    const char* what;
    double (*draw)(RandomDraws&);
    double expected;
  };
  const Case cases[] = {
      {"uniform", [](RandomDraws& r) { return r.uniform(); }, 0x1.9398e8183494p-2},
      {"normal", [](RandomDraws& r) { return r.normal(); }, -0x1.2541e22fd5729p-1},
      {"second normal", [](RandomDraws& r) { return r.normal(), r.normal(); }, 0x1.6838302d31b61p+0},
      {"gamma(2.5)", [](RandomDraws& r) { return r.gamma(2.5); }, 0x1.6d9e964614b6dp+0},
      {"gamma(0.3)", [](RandomDraws& r) { return r.gamma(0.3); }, 0x1.1ca7963c8bed9p-3},
      {"chi_square(7)", [](RandomDraws& r) { return r.chi_square(7.0); }, 0x1.205dc59ae5b5cp+2},
      {"beta(2, 30)", [](RandomDraws& r) { return r.beta(2.0, 30.0); }, 0x1.b0c06ffabdd3fp-6},
  };
  for (const Case& c : cases) {
    RandomDraws draws(20250101);
    const double value = c.draw(draws);
    EXPECT_EQ(value, c.expected) << c.what << ": " << std::hexfloat << value;
  }
}

struct Moments {
  double mean = 0, var = 0, third = 0;  // central moments
};

template <class Draw>
Moments moments_of(int n, Draw draw) {
  std::vector<double> values(static_cast<size_t>(n));
  for (double& v : values) v = draw();
  Moments m;
  for (double v : values) m.mean += v / n;
  for (double v : values) {
    const double d = v - m.mean;
    m.var += d * d / n;
    m.third += d * d * d / n;
  }
  return m;
}

TEST(RandomDraws, MomentsOfEveryDistribution) {
  struct Case {
    const char* what;
    double (*draw)(RandomDraws&);
    double mean, var, skewness;
  };
  const Case cases[] = {
      {"normal", [](RandomDraws& r) { return r.normal(); }, 0.0, 1.0, 0.0},
      {"gamma(0.3)", [](RandomDraws& r) { return r.gamma(0.3); }, 0.3, 0.3, 2.0 / std::sqrt(0.3)},
      {"gamma(1)", [](RandomDraws& r) { return r.gamma(1.0); }, 1.0, 1.0, 2.0},
      {"gamma(2.5)", [](RandomDraws& r) { return r.gamma(2.5); }, 2.5, 2.5, 2.0 / std::sqrt(2.5)},
      {"gamma(400)", [](RandomDraws& r) { return r.gamma(400.0); }, 400.0, 400.0, 0.1},
      {"chi_square(5)", [](RandomDraws& r) { return r.chi_square(5.0); }, 5.0, 10.0, std::sqrt(8.0 / 5.0)},
      {"beta(2, 5)", [](RandomDraws& r) { return r.beta(2.0, 5.0); }, 2.0 / 7.0, 10.0 / (49.0 * 8.0), 0.5963},
      {"beta(1, 1)", [](RandomDraws& r) { return r.beta(1.0, 1.0); }, 0.5, 1.0 / 12.0, 0.0},
  };
  constexpr int kDraws = 200000;
  for (const Case& c : cases) {
    RandomDraws draws(99);
    const Moments m = moments_of(kDraws, [&] { return c.draw(draws); });
    const double sd = std::sqrt(c.var);
    // Five standard errors of each sample moment, loosely for the third.
    EXPECT_NEAR(m.mean, c.mean, 5 * sd / std::sqrt(kDraws)) << c.what;
    EXPECT_NEAR(m.var / c.var, 1.0, 0.03) << c.what;
    EXPECT_NEAR(m.third / (sd * sd * sd), c.skewness, 0.1 + 0.05 * c.skewness) << c.what;
  }
}

TEST(RandomDraws, NormalPassesKolmogorovSmirnov) {
  constexpr int kDraws = 100000;
  RandomDraws draws(5);
  std::vector<double> values(kDraws);
  for (double& v : values) v = draws.normal();
  std::sort(values.begin(), values.end());
  double d = 0;
  for (int k = 0; k < kDraws; ++k) {
    const double cdf = 0.5 * std::erfc(-values[k] / std::sqrt(2.0));
    d = std::max({d, cdf - static_cast<double>(k) / kDraws, static_cast<double>(k + 1) / kDraws - cdf});
  }
  EXPECT_LT(d * std::sqrt(kDraws), 1.95) << "rejected at the 0.1 % level";
}

TEST(RandomDraws, DirichletMeansAndSum) {
  const double alpha[] = {1.0, 3.0, 0.5, 10.0};
  const double total = 14.5;
  RandomDraws draws(3);
  double mean[4] = {};
  constexpr int kDraws = 50000;
  for (int k = 0; k < kDraws; ++k) {
    double p[4];
    draws.dirichlet(alpha, p);
    EXPECT_NEAR(p[0] + p[1] + p[2] + p[3], 1.0, 1e-12);
    for (int c = 0; c < 4; ++c) mean[c] += p[c] / kDraws;
  }
  for (int c = 0; c < 4; ++c) {
    const double m = alpha[c] / total;
    const double sd = std::sqrt(m * (1 - m) / (total + 1));
    EXPECT_NEAR(mean[c], m, 5 * sd / std::sqrt(kDraws)) << "component " << c;
  }
}

}  // namespace
}  // namespace gp
