#include "common/format.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace gp {
namespace {

// 10^k for k = 0 .. 52, each the double nearest to the exact power. A float
// needs at most 10^52 to bring its smallest denormal up to eight digits and
// 10^31 to bring its largest down to them.
constexpr int kMaxPower = 52;
constexpr double kPowersOfTen[kMaxPower + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11, 1e12, 1e13,
    1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22, 1e23, 1e24, 1e25, 1e26, 1e27,
    1e28, 1e29, 1e30, 1e31, 1e32, 1e33, 1e34, 1e35, 1e36, 1e37, 1e38, 1e39, 1e40, 1e41,
    1e42, 1e43, 1e44, 1e45, 1e46, 1e47, 1e48, 1e49, 1e50, 1e51, 1e52,
};

// |v| x 10^(8 - exponent): the eight leading digits before the point. Every
// float needs one power of the table; a double beyond the float range takes
// the rest of the power in further steps.
double scale_to_eight_digits(double v, int exponent) {
  int k = 8 - exponent;
  while (k > kMaxPower) {
    v *= kPowersOfTen[kMaxPower];
    k -= kMaxPower;
  }
  while (k < -kMaxPower) {
    v /= kPowersOfTen[kMaxPower];
    k += kMaxPower;
  }
  return k >= 0 ? v * kPowersOfTen[k] : v / kPowersOfTen[-k];
}

bool all_zero(const DecimalDigits& digits) {
  for (char d : digits.digit) {
    if (d != 0) return false;
  }
  return true;
}

// Digit k (1-based) of the rounded digits; every digit after the 8th is 0.
char digit_char(const DecimalDigits& digits, int k) {
  return k >= 1 && k <= 8 ? static_cast<char>('0' + digits.digit[k - 1]) : '0';
}

char* blanks(char* out, int count) {
  for (int i = 0; i < count; ++i) *out++ = ' ';
  return out;
}

char* asterisks(char* out, int width) {
  for (int i = 0; i < width; ++i) *out++ = '*';
  return out;
}

// The decimal digits of `magnitude`, no sign.
char* unsigned_digits(char* out, uint32_t magnitude) {
  char reversed[10];
  int count = 0;
  do {
    reversed[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) *out++ = reversed[--count];
  return out;
}

uint32_t magnitude_of(int32_t value) {
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

// "NaN" or "INF", with a minus sign when the sign bit is set, right-justified
// in `width` columns (width 0: as few as needed).
char* write_non_finite(char* out, double value, int width) {
  const bool negative = std::signbit(value);
  const int needed = negative ? 4 : 3;
  if (width == 0) width = needed;
  if (width < needed) return asterisks(out, width);
  out = blanks(out, width - needed);
  if (negative) *out++ = '-';
  std::memcpy(out, std::isnan(value) ? "NaN" : "INF", 3);
  return out + 3;
}

// A free-form real in exponent form: "d.ddddddE+xx" from seven digits.
char* free_exponent_form(char* out, const DecimalDigits& digits) {
  *out++ = digit_char(digits, 1);
  *out++ = '.';
  for (int k = 2; k <= 7; ++k) *out++ = digit_char(digits, k);
  const int exponent = digits.exponent - 1;
  *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  const int shown = exponent < 0 ? -exponent : exponent;
  *out++ = static_cast<char>('0' + shown / 10);
  *out++ = static_cast<char>('0' + shown % 10);
  return out;
}

}  // namespace

DecimalDigits decimal_digits(double value) {
  DecimalDigits result{};
  const double v = std::fabs(value);
  if (v == 0.0 || !std::isfinite(v)) return result;

  // The logarithm only guesses the exponent; the scaled value itself decides,
  // so the digits and the exponent always agree.
  int exponent = static_cast<int>(std::floor(std::log10(v))) + 1;
  double scaled = scale_to_eight_digits(v, exponent);
  if (scaled >= 1e8) {
    ++exponent;
    scaled = scale_to_eight_digits(v, exponent);
  } else if (scaled < 1e7) {
    --exponent;
    scaled = scale_to_eight_digits(v, exponent);
  }
  int64_t leading = static_cast<int64_t>(scaled);
  if (leading > 99999999) leading = 99999999;
  if (leading < 10000000) leading = 10000000;

  for (int k = 7; k >= 0; --k) {
    result.digit[k] = static_cast<char>(leading % 10);
    leading /= 10;
  }
  result.exponent = exponent;
  return result;
}

void round_digits(DecimalDigits& digits, int n) {
  // n <= 0 (fixed point only): nothing of the value reaches the last decimal
  // place but, for n = 0, a first digit of 5 or more rounds up to one unit in
  // that place, 0.1 x 10^(exponent + 1).
  if (n <= 0) {
    const bool up = n == 0 && digits.digit[0] >= 5;
    std::memset(digits.digit, 0, sizeof digits.digit);
    if (up) {
      digits.digit[0] = 1;
      digits.exponent += 1;
    } else {
      digits.exponent = 0;
    }
    return;
  }

  int last;  // 0-based index of the digit that receives the carry
  bool up;
  if (n <= 7) {
    up = digits.digit[n] >= 5;
    last = n - 1;
    for (int k = n; k < 8; ++k) digits.digit[k] = 0;
  } else {
    // Only eight digits exist: the eighth rounds itself away into the seventh.
    up = digits.digit[7] >= 5;
    if (up) digits.digit[7] = 0;
    last = 6;
  }
  if (!up) return;
  while (last >= 0 && ++digits.digit[last] == 10) {
    digits.digit[last] = 0;
    --last;
  }
  if (last < 0) {
    digits.digit[0] = 1;
    digits.exponent += 1;
  }
}

char* write_int(char* out, int32_t value, int width) {
  char text[kMaxIntChars];
  char* end = text;
  if (value < 0) *end++ = '-';
  end = unsigned_digits(end, magnitude_of(value));
  const int length = static_cast<int>(end - text);
  if (width == 0) width = length;
  if (length > width) return asterisks(out, width);
  out = blanks(out, width - length);
  std::memcpy(out, text, static_cast<size_t>(length));
  return out + length;
}

char* write_fixed(char* out, float value, int width, int decimals) {
  if (!std::isfinite(value)) return write_non_finite(out, value, width);
  DecimalDigits digits = decimal_digits(value);
  round_digits(digits, decimals + digits.exponent);

  // A value that prints as zero carries no sign.
  const bool zero = all_zero(digits);
  const bool negative = std::signbit(value) && !zero;
  const int exponent = zero ? 0 : digits.exponent;
  const int integer_digits = exponent > 0 ? exponent : 0;
  const int needed = (negative ? 1 : 0) + integer_digits + 1 + decimals;

  bool leading_zero = false;
  if (width == 0) {
    width = needed;
  } else {
    if (needed > width) return asterisks(out, width);
    leading_zero = integer_digits == 0 && needed < width;
  }
  out = blanks(out, width - needed - (leading_zero ? 1 : 0));
  if (negative) *out++ = '-';
  if (leading_zero) *out++ = '0';
  for (int k = 1; k <= integer_digits; ++k) *out++ = digit_char(digits, k);
  *out++ = '.';
  for (int k = 1; k <= decimals; ++k) *out++ = digit_char(digits, exponent + k);
  return out;
}

char* write_exp(char* out, double value, int width, int decimals) {
  if (!std::isfinite(value)) return write_non_finite(out, value, width);
  DecimalDigits digits = decimal_digits(value);
  round_digits(digits, decimals);

  const bool zero = all_zero(digits);
  const bool negative = std::signbit(value) && !zero;
  const int exponent = zero ? 0 : digits.exponent;
  const int needed = (negative ? 1 : 0) + 1 + decimals + 4;
  if (needed > width) return asterisks(out, width);
  const bool leading_zero = needed < width;

  out = blanks(out, width - needed - (leading_zero ? 1 : 0));
  if (negative) *out++ = '-';
  if (leading_zero) *out++ = '0';
  *out++ = '.';
  for (int k = 1; k <= decimals; ++k) *out++ = digit_char(digits, k);
  const int shown = exponent < 0 ? -exponent : exponent;
  if (shown < 100) *out++ = 'E';
  *out++ = exponent < 0 ? '-' : '+';
  if (shown >= 100) *out++ = static_cast<char>('0' + shown / 100);
  *out++ = static_cast<char>('0' + shown / 10 % 10);
  *out++ = static_cast<char>('0' + shown % 10);
  return out;
}

char* write_free_int(char* out, int32_t value) {
  *out++ = ' ';
  *out++ = value < 0 ? '-' : ' ';
  return unsigned_digits(out, magnitude_of(value));
}

char* write_free_real(char* out, float value) {
  *out++ = ' ';
  if (!std::isfinite(value)) {
    *out++ = std::signbit(value) ? '-' : ' ';
    std::memcpy(out, std::isnan(value) ? "NaN" : "INF", 3);
    return out + 3;
  }
  if (value == 0.0f) {
    std::memcpy(out, " 0.000000", 9);
    return out + 9;
  }
  *out++ = value < 0.0f ? '-' : ' ';

  const DecimalDigits exact = decimal_digits(value);
  DecimalDigits seven = exact;
  round_digits(seven, 7);
  if (seven.exponent < 0 || seven.exponent > 6) return free_exponent_form(out, seven);

  // Fixed point with six significant digits. Rounding to six can carry
  // 999999.5 .. 999999.9 up to 1000000, which has no fixed form of six
  // digits; it goes to exponent form with the rounded digits.
  DecimalDigits six = exact;
  round_digits(six, 6);
  if (six.exponent > 6) return free_exponent_form(out, six);
  const int integer_digits = six.exponent;
  if (integer_digits == 0) *out++ = '0';
  for (int k = 1; k <= integer_digits; ++k) *out++ = digit_char(six, k);
  *out++ = '.';
  for (int k = integer_digits + 1; k <= 6; ++k) *out++ = digit_char(six, k);
  return out;
}

std::string real_text(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8g", static_cast<double>(value));
  return text;
}

}  // namespace gp
