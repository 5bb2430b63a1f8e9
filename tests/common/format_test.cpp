// The characters of single fields and free-form items.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "common/layout.hpp"
#include "common/record.hpp"

namespace gp {
namespace {

std::string one_record(const char* layout_text, OutItem item) {
  const Layout layout = parse_layout(layout_text);
  RecordBuffer buffer;
  std::vector<std::string> records;
  auto keep = [&](std::string_view r) { records.emplace_back(r); };
  build_layout_records(buffer, layout, {item}, RecordSink(keep));
  return records.size() == 1 ? records[0] : "<" + std::to_string(records.size()) + " records>";
}

std::string free_item(OutItem item) {
  RecordBuffer buffer;
  std::string record;
  auto keep = [&](std::string_view r) { record = r; };
  build_free_record(buffer, {item}, RecordSink(keep));
  return record.substr(1);  // the blank that begins every free-form record
}

std::string shown(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.17g (%a)", v, v);
  return text;
}

#define EXPECT_FIELD(expected, layout, value) \
  EXPECT_EQ(expected, one_record(layout, value)) << "layout " << layout << ", value " << shown(value)
#define EXPECT_INT_FIELD(expected, layout, value) \
  EXPECT_EQ(expected, one_record(layout, int32_t{value})) << "layout " << layout << ", value " << (value)
#define EXPECT_FREE(expected, value) EXPECT_EQ(expected, free_item(value)) << "free form, value " << shown(value)

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kMax = std::numeric_limits<float>::max();
const float kTiny = 0x1p-149f;

std::string digits_of(float v) {
  const DecimalDigits d = decimal_digits(v);
  std::string s;
  for (char c : d.digit) s += static_cast<char>('0' + c);
  return s + "e" + std::to_string(d.exponent);
}

TEST(DecimalDigits, EightTruncatedDigitsAndTheExponent) {
  EXPECT_EQ("00000000e0", digits_of(0.0f));
  EXPECT_EQ("10000000e1", digits_of(1.0f));
  EXPECT_EQ("12500000e0", digits_of(0.125f));
  EXPECT_EQ("26749999e1", digits_of(2.675f));     // 2.67499995...
  EXPECT_EQ("99999997e-5", digits_of(1e-5f));     // 9.99999974...e-6
  EXPECT_EQ("10000000e11", digits_of(1e10f));
  EXPECT_EQ("34028234e39", digits_of(kMax));
  EXPECT_EQ("14012984e-44", digits_of(kTiny));
  EXPECT_EQ("12345678e8", digits_of(12345678.0f));
  EXPECT_EQ("12345000e2", digits_of(-12.345f));   // sign ignored
}

TEST(RoundDigits, HalfUpOnTheTruncatedDigits) {
  struct Case { float value; int n; const char* expected; };
  const Case cases[] = {
      {0.125f, 2, "13000000e0"},      {2.675f, 3, "26700000e1"},
      {99999999.0f, 7, "10000000e9"},  // 1e8 exactly: D8 = 0
      {0.99999994f, 6, "10000000e1"},  // carry out of D1
      {0.99999994f, 7, "99999990e0"},
      {12345678.0f, 8, "12345680e8"},  {12345674.0f, 8, "12345674e8"},
      {12345678.0f, 10, "12345680e8"}, {0.006f, 0, "10000000e-1"},
      {0.004f, 0, "00000000e0"},      {0.9f, -1, "00000000e0"},
  };
  for (const Case& c : cases) {
    DecimalDigits d = decimal_digits(c.value);
    round_digits(d, c.n);
    std::string s;
    for (char k : d.digit) s += static_cast<char>('0' + k);
    EXPECT_EQ(c.expected, s + "e" + std::to_string(d.exponent)) << shown(c.value) << " to " << c.n;
  }
}

TEST(FixedField, DecimalsSignsAndOverflow) {
  EXPECT_FIELD("    0.50", "F8.2", 0.5f);
  EXPECT_FIELD("   -0.50", "F8.2", -0.5f);
  EXPECT_FIELD("    0.13", "F8.2", 0.125f);
  EXPECT_FIELD("    0.00", "F8.2", -0.001f);
  EXPECT_FIELD("12345.67", "F8.2", 12345.67f);
  EXPECT_FIELD("********", "F8.2", 123456.7f);
  EXPECT_FIELD("-1234.57", "F8.2", -1234.567f);
  EXPECT_FIELD("********", "F8.2", -12345.67f);
  EXPECT_FIELD("0.987", "F5.3", 0.987f);
  EXPECT_FIELD("-.500", "F5.3", -0.5f);
  EXPECT_FIELD("0.500", "F5.3", 0.5f);
  EXPECT_FIELD("*****", "F5.3", -1.0f);
  EXPECT_FIELD("    12345680.00", "F15.2", 12345678.0f);
  EXPECT_FIELD("    12345674.00", "F15.2", 12345674.0f);
  EXPECT_FIELD("*************", "F13.2", 1e10f);
  EXPECT_FIELD(" 10000000000.0", "F14.1", 1e10f);
  EXPECT_FIELD("  3.50", "F6.2", 3.5f);
  EXPECT_FIELD(" 99.99", "F6.2", 99.99f);
  EXPECT_FIELD("100.00", "F6.2", 99.995f);  // 99.9950027...
}

TEST(FixedField, RoundingTiesAndTheEighthDigit) {
  EXPECT_FIELD("0.13", "F4.2", 0x1p-3f);      // 0.125 exactly
  EXPECT_FIELD("0.38", "F4.2", 0x1.8p-2f);    // 0.375
  EXPECT_FIELD("2.67", "F4.2", 2.675f);       // stored below the tie
  EXPECT_FIELD(".1563", "F0.4", 0x1.4p-3f);   // 0.15625
  EXPECT_FIELD(".156", "F0.3", 0x1.4p-3f);
  EXPECT_FIELD("   0.1234568", "F12.7", 0.123456791f);   // n = 7 looks at D8 = 9
  EXPECT_FIELD("  0.12345680", "F12.8", 0.123456791f);   // n = 8 rounds D8 itself
  EXPECT_FIELD(" 0.123456800", "F12.9", 0.123456791f);   // digits after D8 are 0
  EXPECT_FIELD("    0.01", "F8.2", 0.0051f);  // n = 0, D1 = 5: one unit
  EXPECT_FIELD("    0.00", "F8.2", 0.005f);   // 0.00499999989
  EXPECT_FIELD("    0.00", "F8.2", 0.0049f);
  EXPECT_FIELD("    0.00", "F8.2", 0.0009f);  // n < 0
}

TEST(FixedField, NoWidthAndNoDecimals) {
  EXPECT_FIELD(".50", "F0.2", 0.5f);
  EXPECT_FIELD("12.35", "F0.2", 12.345f);
  EXPECT_FIELD(".00", "F0.2", 0.0f);
  EXPECT_FIELD("-.50", "F0.2", -0.5f);
  EXPECT_FIELD(".0", "F0.1", 0.04f);
  EXPECT_FIELD(".1", "F0.1", 0.06f);
  EXPECT_FIELD("-3.", "F0.0", -3.0f);
  EXPECT_FIELD("340282340000000000000000000000000000000.", "F0.0", kMax);
  EXPECT_FIELD("3.", "F2.0", 3.0f);
  EXPECT_FIELD("0.", "F2.0", 0.3f);
  EXPECT_FIELD(" 0.", "F3.0", -0.4f);
  EXPECT_FIELD(" 1.", "F3.0", 0.5f);
  EXPECT_FIELD("-2.", "F3.0", -2.0f);
  EXPECT_FIELD(".", "F1.0", 0.3f);
}

TEST(FixedField, NegativeZeroNaNAndInfinity) {
  EXPECT_FIELD("    0.00", "F8.2", -0.0f);
  EXPECT_FIELD(".0", "F0.1", -0.0f);
  EXPECT_FIELD("     NaN", "F8.2", kNaN);
  EXPECT_FIELD("    -NaN", "F8.2", -kNaN);
  EXPECT_FIELD("     INF", "F8.2", kInf);
  EXPECT_FIELD("    -INF", "F8.2", -kInf);
  EXPECT_FIELD("NaN", "F3.1", kNaN);
  EXPECT_FIELD("**", "F2.1", kNaN);
  EXPECT_FIELD("***", "F3.1", -kInf);
  EXPECT_FIELD("-INF", "F0.2", -kInf);
  EXPECT_FIELD("     INF", "E8.2", kInf);
}

TEST(ExponentField, SignificantDigitsAndExponent) {
  EXPECT_FIELD("0.10E+01", "E8.2", 1.0f);
  EXPECT_FIELD("-.10E+01", "E8.2", -1.0f);
  EXPECT_FIELD("0.12E-02", "E8.2", 0.00123f);
  EXPECT_FIELD("0.00E+00", "E8.2", 0.0f);
  EXPECT_FIELD("0.00E+00", "E8.2", -0.0f);
  EXPECT_FIELD("0.15E-06", "E8.2", 1.5e-7f);
  // A double (the solver's criterion) keeps its own digits: rounded to float
  // first, 0.12499999999999999 would become 0.125 and print "0.13E+00".
  EXPECT_FIELD("0.12E+00", "E8.2", 0.12499999999999999);
  EXPECT_FIELD("0.10E-49", "E8.2", 1e-50);
  EXPECT_FIELD("0.10-119", "E8.2", 1e-120);
  EXPECT_FIELD("-.25+101", "E8.2", -2.5e100);
  EXPECT_FIELD("    -NaN", "E8.2", -std::numeric_limits<double>::quiet_NaN());
  EXPECT_FIELD("*******", "E7.2", -1.0f);
  EXPECT_FIELD(".10E+01", "E7.2", 1.0f);
  EXPECT_FIELD(" 0.100E+01", "E10.3", 0.9996f);
  EXPECT_FIELD("  0.3403E+39", "E12.4", kMax);
  EXPECT_FIELD(" 0.140E-44", "E10.3", kTiny);
  EXPECT_FIELD("0.13E+00", "E8.2", 0x1p-3f);
}

TEST(IntField, WidthSignAndOverflow) {
  EXPECT_INT_FIELD("-12345", "I6", -12345);
  EXPECT_INT_FIELD("******", "I6", 1234567);
  EXPECT_INT_FIELD("     0", "I6", 0);
  EXPECT_INT_FIELD("***", "I3", -100);
  EXPECT_INT_FIELD("-3", "I0", -3);
  EXPECT_INT_FIELD("0", "I0", 0);
  EXPECT_INT_FIELD("-2147483648", "I0", std::numeric_limits<int32_t>::min());
  EXPECT_INT_FIELD(" 2147483647", "I11", std::numeric_limits<int32_t>::max());
  EXPECT_INT_FIELD("*", "I1", 10);
  EXPECT_INT_FIELD("*", "I1", -1);
}

TEST(FreeForm, IntegersAndReals) {
  EXPECT_EQ("  0", free_item(0));
  EXPECT_EQ("  7", free_item(7));
  EXPECT_EQ(" -7", free_item(-7));
  EXPECT_EQ(" -2147483648", free_item(std::numeric_limits<int32_t>::min()));
  EXPECT_FREE("  1.00000", 1.0f);
  EXPECT_FREE(" -2.50000", -2.5f);
  EXPECT_FREE("  0.500000", 0.5f);
  EXPECT_FREE("  12.5000", 12.5f);
  EXPECT_FREE("  123457.", 123456.7f);
  EXPECT_FREE("  10.0000", 9.999999f);
  EXPECT_FREE("  999999.", 999999.0f);
  EXPECT_FREE("  1.000000E+06", 999999.6f);  // six digits carry to 1000000
  EXPECT_FREE("  1.000000E+06", 1.0e6f);
  EXPECT_FREE("  5.000000E-02", 0.05f);
  EXPECT_FREE("  0.100000", 0.1f);
  EXPECT_FREE("  9.999999E-02", 0.099999994f);
  EXPECT_FREE(" -1.500000E-10", -1.5e-10f);
  EXPECT_FREE("  3.402823E+38", kMax);
  EXPECT_FREE("  0.000000", 0.0f);
  EXPECT_FREE("  0.000000", -0.0f);
  EXPECT_FREE("  NaN", kNaN);
  EXPECT_FREE(" -NaN", -kNaN);
  EXPECT_FREE("  INF", kInf);
  EXPECT_FREE(" -INF", -kInf);
}

}  // namespace
}  // namespace gp
