// The fixed exp and log against the C library: within one unit in the last
// place over many inputs of every range, and the special values exactly.
#include "common/fixed_math.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace gp {
namespace {

// Doubles as integers in their order: the distance in units in the last place.
int64_t ordered(double x) {
  const int64_t bits = std::bit_cast<int64_t>(x);
  return bits < 0 ? std::numeric_limits<int64_t>::min() - bits : bits;
}

int64_t ulps_apart(double a, double b) {
  const int64_t d = ordered(a) - ordered(b);
  return d < 0 ? -d : d;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(FixedMath, SpecialValuesExactly) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(fixed_log(1.0), 0.0);
  EXPECT_EQ(fixed_log(0.0), -kInf);
  EXPECT_EQ(fixed_log(-0.0), -kInf);
  EXPECT_EQ(fixed_log(kInf), kInf);
  EXPECT_TRUE(std::isnan(fixed_log(-1.0)));
  EXPECT_TRUE(std::isnan(fixed_log(-kInf)));
  EXPECT_TRUE(std::isnan(fixed_log(nan)));
  EXPECT_EQ(fixed_log(2.0), 0x1.62e42fefa39efp-1);  // ln 2 correctly rounded
  EXPECT_EQ(fixed_exp(0.0), 1.0);
  EXPECT_EQ(fixed_exp(-0.0), 1.0);
  EXPECT_EQ(fixed_exp(kInf), kInf);
  EXPECT_EQ(fixed_exp(-kInf), 0.0);
  EXPECT_EQ(fixed_exp(710.0), kInf);
  EXPECT_EQ(fixed_exp(-746.0), 0.0);
  EXPECT_TRUE(std::isnan(fixed_exp(nan)));
  EXPECT_LE(ulps_apart(fixed_exp(1.0), 0x1.5bf0a8b145769p+1), 1) << "e, correctly rounded";
  EXPECT_GT(fixed_exp(-745.0), 0.0) << "the smallest subnormal range";
}

TEST(FixedMath, LogWithinOneUlpOfTheLibraryEverywhere) {
  std::mt19937_64 rng(2024);
  int64_t worst = 0;
  const auto check = [&](double x) {
    const int64_t d = ulps_apart(fixed_log(x), std::log(x));
    worst = std::max(worst, d);
    ASSERT_LE(d, 1) << std::hexfloat << x;
  };
  // Any positive finite double, subnormals included, by its bits.
  std::uniform_int_distribution<uint64_t> bits(1, 0x7FEFFFFFFFFFFFFFu);
  for (int k = 0; k < 200000; ++k) check(std::bit_cast<double>(bits(rng)));
  // Around 1, where log is small and the reduction matters most.
  std::uniform_real_distribution<double> near_one(-0.3, 0.3);
  for (int k = 0; k < 200000; ++k) check(1.0 + near_one(rng) * std::ldexp(1.0, -(k % 40)));
  // The probabilities and variances the samplers take logs of.
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int k = 0; k < 200000; ++k) check(unit(rng) * std::ldexp(1.0, k % 60 - 30));
  RecordProperty("worst_ulps", static_cast<int>(worst));
}

TEST(FixedMath, ExpWithinOneUlpOfTheLibraryEverywhere) {
  std::mt19937_64 rng(2025);
  const auto check = [&](double x) { ASSERT_LE(ulps_apart(fixed_exp(x), std::exp(x)), 1) << std::hexfloat << x; };
  std::uniform_real_distribution<double> whole(-745.1, 709.7);
  for (int k = 0; k < 200000; ++k) check(whole(rng));
  // Small arguments, either side of the reductions at ln2 / 2 and 1.5 ln2.
  std::uniform_real_distribution<double> small(-1.2, 1.2);
  for (int k = 0; k < 200000; ++k) check(small(rng) * std::ldexp(1.0, -(k % 34)));
  // Subnormal results and the edge of overflow.
  std::uniform_real_distribution<double> low(-745.1, -708.0), high(700.0, 709.78);
  for (int k = 0; k < 50000; ++k) check(low(rng));
  for (int k = 0; k < 50000; ++k) check(high(rng));
}

}  // namespace
}  // namespace gp
