#include "common/fixed_math.hpp"

#include <bit>
#include <cstdint>
#include <limits>

// Both functions follow fdlibm's e_log.c and e_exp.c (Copyright (C) 1993 by
// Sun Microsystems, Inc.: "Permission to use, copy, modify, and distribute
// this software is freely granted, provided that this notice is preserved."),
// with their coefficients. The build's -ffp-contract=off keeps every product
// and sum rounded on its own, as the error analysis assumes.

namespace gp {

namespace {

uint32_t high_word(double x) { return static_cast<uint32_t>(std::bit_cast<uint64_t>(x) >> 32); }
uint32_t low_word(double x) { return static_cast<uint32_t>(std::bit_cast<uint64_t>(x)); }

double with_high_word(double x, uint32_t high) {
  return std::bit_cast<double>(uint64_t{high} << 32 | low_word(x));
}

constexpr double kLn2Hi = 6.93147180369123816490e-01;  // 0x3FE62E42FEE00000: k * kLn2Hi is exact
constexpr double kLn2Lo = 1.90821492927058770002e-10;  // 0x3DEA39EF35793C76
constexpr double kTwo54 = 1.80143985094819840000e+16;

// log(1 + f) = f - f^2/2 + s (f^2/2 + R(z)), s = f / (2 + f), z = s^2,
// R(z) a Remez polynomial of degree 14 in s (error below 2^-58.45).
constexpr double kLg1 = 6.666666666666735130e-01;
constexpr double kLg2 = 3.999999999940941908e-01;
constexpr double kLg3 = 2.857142874366239149e-01;
constexpr double kLg4 = 2.222219843214978396e-01;
constexpr double kLg5 = 1.818357216161805012e-01;
constexpr double kLg6 = 1.531383769920937332e-01;
constexpr double kLg7 = 1.479819860511658591e-01;

// exp(r) = 1 + r + r c / (2 - c), c = r - r^2 (P1 + r^2 (P2 + ...)): a Remez
// approximation on |r| <= ln2 / 2 (error below 2^-59).
constexpr double kInvLn2 = 1.44269504088896338700e+00;
constexpr double kP1 = 1.66666666666666019037e-01;
constexpr double kP2 = -2.77777777770155933842e-03;
constexpr double kP3 = 6.61375632143793436117e-05;
constexpr double kP4 = -1.65339022054652515390e-06;
constexpr double kP5 = 4.13813679705723846039e-08;
constexpr double kOverflow = 7.09782712893383973096e+02;
constexpr double kUnderflow = -7.45133219101941108420e+02;
constexpr double kTwoM1000 = 9.33263618503218878990e-302;  // 2^-1000

}  // namespace

double fixed_log(double x) {
  int32_t hx = static_cast<int32_t>(high_word(x));
  int32_t k = 0;
  if (hx < 0x00100000) {  // below 2^-1022, or negative
    if (((hx & 0x7fffffff) | static_cast<int32_t>(low_word(x))) == 0) return -std::numeric_limits<double>::infinity();
    if (hx < 0) return std::numeric_limits<double>::quiet_NaN();
    k -= 54;  // subnormal: scale into the normal range
    x *= kTwo54;
    hx = static_cast<int32_t>(high_word(x));
  }
  if (hx >= 0x7ff00000) return x + x;
  k += (hx >> 20) - 1023;
  hx &= 0x000fffff;
  // x / 2 instead of x when its mantissa lies above sqrt(2), so f = x - 1
  // stays within [sqrt(2)/2 - 1, sqrt(2) - 1].
  const int32_t i = (hx + 0x95f64) & 0x100000;
  x = with_high_word(x, static_cast<uint32_t>(hx | (i ^ 0x3ff00000)));
  k += i >> 20;
  const double f = x - 1.0;
  const double dk = static_cast<double>(k);
  if ((0x000fffff & (2 + hx)) < 3) {  // |f| < 2^-20
    if (f == 0.0) return k == 0 ? 0.0 : dk * kLn2Hi + dk * kLn2Lo;
    const double r = f * f * (0.5 - 0.33333333333333333 * f);
    return k == 0 ? f - r : dk * kLn2Hi - ((r - dk * kLn2Lo) - f);
  }
  const double s = f / (2.0 + f);
  const double z = s * s;
  const double w = z * z;
  const double t1 = w * (kLg2 + w * (kLg4 + w * kLg6));
  const double t2 = z * (kLg1 + w * (kLg3 + w * (kLg5 + w * kLg7)));
  const double r = t2 + t1;
  // Away from 1 the f^2/2 term is split off, which keeps the error below 1 ulp.
  if (((hx - 0x6147a) | (0x6b851 - hx)) > 0) {
    const double hfsq = 0.5 * f * f;
    if (k == 0) return f - (hfsq - s * (hfsq + r));
    return dk * kLn2Hi - ((hfsq - (s * (hfsq + r) + dk * kLn2Lo)) - f);
  }
  if (k == 0) return f - s * (f - r);
  return dk * kLn2Hi - ((s * (f - r) - dk * kLn2Lo) - f);
}

double fixed_exp(double x) {
  const uint32_t hx = high_word(x) & 0x7fffffff;
  const bool negative = (high_word(x) >> 31) != 0;
  if (hx >= 0x40862E42) {  // |x| >= 709.78
    if (hx >= 0x7ff00000) {
      if (((hx & 0xfffff) | low_word(x)) != 0) return x + x;  // NaN
      return negative ? 0.0 : x;                             // exp(+-inf)
    }
    if (x > kOverflow) return std::numeric_limits<double>::infinity();
    if (x < kUnderflow) return 0.0;
  }
  // x = k ln2 + r, |r| <= ln2 / 2, r carried as hi - lo.
  double hi = 0.0, lo = 0.0;
  int32_t k = 0;
  if (hx > 0x3fd62e42) {    // |x| > ln2 / 2
    if (hx < 0x3FF0A2B2) {  // and |x| < 1.5 ln2
      hi = negative ? x + kLn2Hi : x - kLn2Hi;
      lo = negative ? -kLn2Lo : kLn2Lo;
      k = negative ? -1 : 1;
    } else {
      k = static_cast<int32_t>(kInvLn2 * x + (negative ? -0.5 : 0.5));
      const double t = static_cast<double>(k);
      hi = x - t * kLn2Hi;
      lo = t * kLn2Lo;
    }
    x = hi - lo;
  } else if (hx < 0x3e300000) {  // |x| < 2^-28
    return 1.0 + x;
  }
  const double t = x * x;
  const double c = x - t * (kP1 + t * (kP2 + t * (kP3 + t * (kP4 + t * kP5))));
  if (k == 0) return 1.0 - ((x * c) / (c - 2.0) - x);
  const double y = 1.0 - ((lo - (x * c) / (2.0 - c)) - hi);
  // y times 2^k, through the exponent field; below 2^-1021 in two steps so
  // the subnormal result is rounded once.
  if (k >= -1021) return with_high_word(y, high_word(y) + (static_cast<uint32_t>(k) << 20));
  return with_high_word(y, high_word(y) + (static_cast<uint32_t>(k + 1000) << 20)) * kTwoM1000;
}

}  // namespace gp
