// Number writers: the characters of one integer or real in a field of the
// layout notation, or in free form. Every real takes its digits from one
// decimal conversion (`decimal_digits`), never from the C library's rounding.
//
// Each writer stores its characters at `out` and returns the end pointer.
#pragma once

#include <cstdint>
#include <string>

namespace gp {

// Room a writer may need beyond its field width (w = 0 fields and free form).
inline constexpr int kMaxIntChars = 11;        // "-2147483648"
inline constexpr int kMaxFixedChars = 60;      // F0.d of the largest float, d <= 16
inline constexpr int kMaxFreeItemChars = 24;   // "  -1.234567E+38" and the like
inline constexpr int kMaxDecimals = 16;        // largest d that F0.d accepts

// The first eight significant decimal digits of |value|, truncated, with
// value = 0.D1D2...D8 x 10^exponent (D1 != 0; zero has all digits 0 and
// exponent 0).
struct DecimalDigits {
  char digit[8];  // values 0..9
  int exponent;
};
DecimalDigits decimal_digits(double value);
inline DecimalDigits decimal_digits(float value) { return decimal_digits(static_cast<double>(value)); }

// Rounds to n significant digits, half up on the truncated digits: n <= 7
// looks at digit n + 1 and clears the digits after n; n >= 8 decides on D8
// itself (D8 becomes 0, D7 may carry). A carry out of D1 gives 1000... and
// raises the exponent. n <= 0 (a fixed-point field whose last decimal lies
// above D1): zero, or 0.1 x 10^(exponent + 1) when n = 0 and D1 >= 5.
void round_digits(DecimalDigits& digits, int n);

// Iw (w > 0) and I0 (w = 0): right-justified, minus for negatives, w
// asterisks when the digits do not fit. Writes w (I0: at most kMaxIntChars)
// characters.
char* write_int(char* out, int32_t value, int width);

// Fw.d (w > 0) and F0.d (w = 0, d <= kMaxDecimals). Writes w (F0.d: at most
// kMaxFixedChars) characters; a value that prints as zero has no sign, "NaN"
// and "INF" are right-justified with a minus when the sign bit is set.
char* write_fixed(char* out, float value, int width, int decimals);

// Ew.d, w > 0: exactly w characters. A float is widened first (exactly), so
// it takes the same digits either way. An exponent of three digits (only
// doubles reach one) takes the place of the letter: "0.10-100".
char* write_exp(char* out, double value, int width, int decimals);
inline char* write_exp(char* out, float value, int width, int decimals) {
  return write_exp(out, static_cast<double>(value), width, decimals);
}

// Free-form items, with the blanks that separate them from what precedes:
// "  7", " -7", "  0.500000", "  5.000000E-02", "  NaN". Reals take the
// fixed form with six significant digits for 0.1 <= |x| < 1000000 and zero,
// the exponent form with seven otherwise. At most kMaxFreeItemChars.
char* write_free_int(char* out, int32_t value);
char* write_free_real(char* out, float value);

// A real as a report names it: "%.8g", enough digits to tell floats apart.
std::string real_text(float value);

}  // namespace gp
