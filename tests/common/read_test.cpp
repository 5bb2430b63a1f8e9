// Input statements: fields under a layout, free-form values, the decimal
// conversion and the one-pass reading of allele digits.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/digit_run.hpp"
#include "common/text_io.hpp"
#include "common/units.hpp"
#include "text_io_fixtures.hpp"

namespace gp {
namespace {

using text_test::report_text;
using text_test::RunResult;
using text_test::run_captured;

const std::string kIllegal = report_text("KALDREN Runtime Error:", "Illegal character in numeric input", "READ(UNIT=*,...");
const std::string kOverflow = report_text("KALDREN Runtime Error:", "Integer overflow in numeric input", "READ(UNIT=*,...");
const std::string kPastEnd = report_text("KALDREN Runtime Error:", "Attempt to read past end of file", "READ(UNIT=*,...");

// Reads `record` with `layout` into one real and checks the bits.
void expect_real_field(const std::string& record, const std::string& layout, float expected) {
  const Layout parsed = parse_layout(layout);
  float value = -99.0f;
  const RunResult run = run_captured(record + "\n", [&](Units& io) { read_record(io, kConsole, parsed, {value}); });
  EXPECT_EQ(run.errors, "") << "\"" << record << "\" under " << layout;
  EXPECT_EQ(std::bit_cast<uint32_t>(value), std::bit_cast<uint32_t>(expected))
      << "\"" << record << "\" under " << layout << ": got " << value << ", want " << expected;
}
#define EXPECT_REAL_FIELD(record, layout, expected) \
  do {                                              \
    SCOPED_TRACE(record);                           \
    expect_real_field(record, layout, expected);    \
  } while (0)

void expect_int_field(const std::string& record, const std::string& layout, int32_t expected) {
  const Layout parsed = parse_layout(layout);
  int32_t value = -99;
  const RunResult run = run_captured(record + "\n", [&](Units& io) { read_record(io, kConsole, parsed, {value}); });
  EXPECT_EQ(run.errors, "") << "\"" << record << "\" under " << layout;
  EXPECT_EQ(value, expected) << "\"" << record << "\" under " << layout;
}
#define EXPECT_INT_FIELD(record, layout, expected) \
  do {                                             \
    SCOPED_TRACE(record);                          \
    expect_int_field(record, layout, expected);    \
  } while (0)

// Reads `record` into one item of the given kind and expects the report.
void expect_field_report(const std::string& record, const std::string& layout, bool integer,
                         const std::string& report) {
  const Layout parsed = parse_layout(layout);
  int32_t int_value = 0;
  float real_value = 0.0f;
  const RunResult run = run_captured(record + "\n", [&](Units& io) {
    if (integer) {
      read_record(io, kConsole, parsed, {int_value});
    } else {
      read_record(io, kConsole, parsed, {real_value});
    }
  });
  EXPECT_EQ(run.status, kExitFailure) << "\"" << record << "\" under " << layout;
  EXPECT_EQ(run.errors, report) << "\"" << record << "\" under " << layout;
}

TEST(LayoutInput, RealFields) {
  EXPECT_REAL_FIELD("     123", "F8.2", 1.23f);
  EXPECT_REAL_FIELD("  12", "F8.2", 0.12f);
  EXPECT_REAL_FIELD("  1.5E2 ", "F8.2", 150.0f);
  EXPECT_REAL_FIELD("1.5+3", "F5.0", 1500.0f);
  EXPECT_REAL_FIELD("1.5-3", "F5.1", 0.0015f);
  EXPECT_REAL_FIELD("15E1", "F4.1", 15.0f);      // implied decimals apply before the exponent
  EXPECT_REAL_FIELD("1.0d3", "F5.0", 1000.0f);
  EXPECT_REAL_FIELD("2.5e-1", "E6.1", 0.25f);
  EXPECT_REAL_FIELD("-1.5D+1", "F7.0", -15.0f);
  EXPECT_REAL_FIELD(" 1 2 . 5 ", "F9.3", 12.5f);  // blanks anywhere are ignored
  EXPECT_REAL_FIELD("-0.5", "F4.1", -0.5f);
  EXPECT_REAL_FIELD("+.25", "F4.1", 0.25f);
  EXPECT_REAL_FIELD("    12.34", "F9.2", 12.34f);
  EXPECT_REAL_FIELD("1234567", "F3.1", 12.3f);   // the field takes only its w columns
  EXPECT_REAL_FIELD("", "F8.2", 0.0f);           // a short record reads as blanks
  EXPECT_REAL_FIELD("        ", "F8.2", 0.0f);
  EXPECT_REAL_FIELD("   .", "F4.1", 0.0f);
  EXPECT_REAL_FIELD("0.1", "F3.1", 0.1f);
  EXPECT_REAL_FIELD("16777217", "F8.0", 0x1p24f);          // tie: to even
  EXPECT_REAL_FIELD("16777219", "F8.0", 0x1.000004p24f);   // tie: to even, upwards
  EXPECT_REAL_FIELD("3.4028235E38", "F12.0", std::numeric_limits<float>::max());
  EXPECT_REAL_FIELD("1E39", "F4.0", std::numeric_limits<float>::infinity());
  EXPECT_REAL_FIELD("1E400", "F5.0", std::numeric_limits<float>::infinity());
  EXPECT_REAL_FIELD("-1E400", "F6.0", -std::numeric_limits<float>::infinity());
  EXPECT_REAL_FIELD("1E-50", "F5.0", 0.0f);
  EXPECT_REAL_FIELD("5E-99999999", "F11.0", 0.0f);
  EXPECT_REAL_FIELD("1.401298464E-45", "F15.0", 0x1p-149f);
  // More than 19 significant digits: the rest only scale the value.
  EXPECT_REAL_FIELD("1234567890123456789012345", "F25.0", 1.2345679e24f);
  EXPECT_REAL_FIELD("0.0000000000000000000001234", "F27.0", 1.234e-22f);
  EXPECT_REAL_FIELD("12", "I2", 12.0f);  // an integer field into a real item
}

TEST(LayoutInput, IntegerFields) {
  EXPECT_INT_FIELD("  -42", "I5", -42);
  EXPECT_INT_FIELD("      ", "I6", 0);
  EXPECT_INT_FIELD("", "I6", 0);
  EXPECT_INT_FIELD("+7", "I2", 7);
  EXPECT_INT_FIELD("1 2", "I3", 12);
  EXPECT_INT_FIELD("-", "I1", 0);
  EXPECT_INT_FIELD("  0012", "I6", 12);
  EXPECT_INT_FIELD("2147483647", "I10", INT32_MAX);
  EXPECT_INT_FIELD("-2147483648", "I11", INT32_MIN);
  EXPECT_INT_FIELD("00000000000000000000042", "I23", 42);
  EXPECT_INT_FIELD("12345", "I3", 123);
}

TEST(LayoutInput, FieldsThatEndTheRun) {
  struct Case { const char* record; const char* layout; bool integer; const std::string& report; };
  const Case cases[] = {
      {"12a", "I3", true, kIllegal},          {"12a", "F3.0", false, kIllegal},
      {"1.5", "I3", true, kIllegal},          {"1..5", "F4.1", false, kIllegal},
      {"1.5E", "F4.1", false, kIllegal},      {"1.5e+", "F5.1", false, kIllegal},
      {"E5", "F2.0", false, kIllegal},        {"1.5-", "F4.1", false, kIllegal},
      {"***", "F3.1", false, kIllegal},       {"1E5.", "F4.0", false, kIllegal},
      {"1-2", "I3", true, kIllegal},          {"--1", "I3", true, kIllegal},
      {"2147483648", "I10", true, kOverflow}, {"-2147483649", "I11", true, kOverflow},
      {"99999999999999999999", "I20", true, kOverflow},
  };
  for (const Case& c : cases) expect_field_report(c.record, c.layout, c.integer, c.report);
}

TEST(LayoutInput, PositionsAndRecords) {
  // Integer items read, and the record that the next statement gets.
  struct Case { const char* input; const char* layout; std::vector<int32_t> expected; const char* next; };
  const Case cases[] = {
      {"12 34\nnext\n", "I2,1X,I2", {12, 34}, "next"},
      {"xxx56\nnext\n", "T4,I2", {56}, "next"},
      {"123456\nnext\n", "T5,I2,T1,I2", {56, 12}, "next"},
      {"ab12\nnext\n", "'ab',I2", {12}, "next"},
      {"1\n2\nnext\n", "I1,/,I1", {1, 2}, "next"},
      {"1\n\n\n2\nnext\n", "I1,3/,I1", {1, 2}, "next"},
      {"12\nnext\n", "I2,/,I1", {12}, "next"},   // items done: the break is not taken
      // the layout runs out: the next record, with the layout from its start
      {" 1 2\n 3 4\nnext\n", "2I2", {1, 2, 3, 4}, "next"},
      {" 1 2 x\n 3 4\nnext\n", "2I2", {1, 2, 3, 4}, "next"},
      {" 1 2\nnext\n", "2I2", {1, 2}, "next"},
      // restarting at a repeated group that ends the layout
      {"1234\n56\nnext\n", "I2,2(I1)", {12, 3, 4, 5}, "next"},
      // the items run out: the rest of the layout and of the record is skipped
      {" 1 2 3\nnext\n", "3I2", {1}, "next"},
      {" 1 2 x\nnext\n", "3I2", {1, 2}, "next"},
      // no items: exactly one record
      {"label 1\nnext\n", "3I2", {}, "next"},
      {"label 1\nnext\n", "//", {}, "next"},
      // a layout without value fields ends with its one record
      {"label 1\nnext\n", "'ab'", {7}, "next"},
  };
  for (const Case& c : cases) {
    const Layout layout = parse_layout(c.layout);
    std::vector<int32_t> values(c.expected.size(), 7);
    std::string next;
    const RunResult run = run_captured(c.input, [&](Units& io) {
      read_record(io, kConsole, layout, {std::span<int32_t>(values)});
      next = std::string(next_record(io, kConsole));
    });
    EXPECT_EQ(run.errors, "") << c.layout << " on \"" << c.input << "\"";
    EXPECT_EQ(values, c.expected) << c.layout << " on \"" << c.input << "\"";
    EXPECT_EQ(next, c.next) << c.layout << " on \"" << c.input << "\"";
  }
}

TEST(LayoutInput, MixedItemsOnADataRecord) {
  const Layout layout = parse_layout("I6,1X,2F8.2,1X,20000I1");
  int32_t rec_id = 0;
  float y = 0.0f;
  float s_bv = 0.0f;
  std::vector<int32_t> geno(6, 9);
  const RunResult run = run_captured("     1    12.34    3.50 122211\n", [&](Units& io) {
    read_record(io, kConsole, layout, {rec_id, y, s_bv, geno});
  });
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(rec_id, 1);
  EXPECT_EQ(y, 12.34f);
  EXPECT_EQ(s_bv, 3.5f);
  EXPECT_EQ(geno, (std::vector<int32_t>{1, 2, 2, 2, 1, 1}));
}

TEST(LayoutInput, PastTheEnd) {
  const Layout layout = parse_layout("I2");
  int32_t a = 0;
  int32_t b = 0;
  struct Case { const char* input; int statements; };
  const Case cases[] = {{"", 1}, {"12", 1}, {"12\n34", 2}, {"12\r\n", 2}};
  for (const Case& c : cases) {
    const RunResult run = run_captured(c.input, [&](Units& io) {
      read_record(io, kConsole, layout, {a});
      if (c.statements == 2) read_record(io, kConsole, layout, {b});
    });
    EXPECT_EQ(run.errors, kPastEnd) << "\"" << c.input << "\"";
  }
}

// Free-form reading of `input` into `count` items of one kind, each holding
// 9 before; unchanged items stay 9.
template <class T>
std::vector<T> read_free_values(const std::string& input, size_t count, std::string* next = nullptr,
                                std::string* errors = nullptr) {
  std::vector<T> values(count, T(9));
  const RunResult run = run_captured(input, [&](Units& io) {
    read_free(io, kConsole, {values});
    if (next != nullptr) *next = std::string(next_record(io, kConsole));
  });
  if (errors != nullptr) *errors = run.errors;
  else EXPECT_EQ(run.errors, "") << "\"" << input << "\"";
  return values;
}

TEST(FreeInput, Reals) {
  struct Case { const char* input; std::vector<float> expected; };
  const Case cases[] = {
      {"3*0.5, ,2" "\n", {0.5f, 0.5f, 0.5f, 9.0f, 2.0f}},
      {"1.5+3 -2.5e-1 7" "\n", {1500.0f, -0.25f, 7.0f}},
      {"  1.0E6,.5 , -3D0" "\n", {1.0e6f, 0.5f, -3.0f}},
      {"123" "\n", {123.0f}},  // no implied decimals
      {"0.1 /" "\n", {0.1f, 9.0f}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_free_values<float>(c.input, c.expected.size()), c.expected) << "\"" << c.input << "\"";
  }
}

TEST(FreeInput, Integers) {
  struct Case { const char* input; std::vector<int32_t> expected; const char* next; };
  const Case cases[] = {
      {"1 2 /\nnext\n", {1, 2, 9}, "next"},
      {"250  this is a comment\nnext\n", {250}, "next"},
      {"1,,3\nnext\n", {1, 9, 3}, "next"},
      {",2\nnext\n", {9, 2}, "next"},
      {"1,2,\nnext\n", {1, 2}, "next"},
      {"2* 5\nnext\n", {9, 9, 5}, "next"},
      {"2*,5\nnext\n", {9, 9, 5}, "next"},
      {"5*1\nnext\n", {1, 1, 1}, "next"},
      {"1\n2\n3\nnext\n", {1, 2, 3}, "next"},
      {"1\n\n2\nnext\n", {1, 2}, "next"},
      {"1,\n,3\nnext\n", {1, 9, 3}, "next"},
      {"1\n,3\nnext\n", {1, 3}, "next"},
      {" \t4\t5\nnext\n", {4, 5}, "next"},
      {"-7 +8\nnext\n", {-7, 8}, "next"},
      {"1 2 3\nnext\n", {1}, "next"},
      {"/ 5\nnext\n", {9, 9}, "next"},
      {"4/5\nnext\n", {4, 9}, "next"},
      {"2147483647 -2147483648\nnext\n", {INT32_MAX, INT32_MIN}, "next"},
  };
  for (const Case& c : cases) {
    std::string next;
    EXPECT_EQ(read_free_values<int32_t>(c.input, c.expected.size(), &next), c.expected) << "\"" << c.input << "\"";
    EXPECT_EQ(next, c.next) << "\"" << c.input << "\"";
  }
}

TEST(FreeInput, ValuesThatEndTheRun) {
  struct Case { const char* input; bool integer; const std::string& report; };
  const Case cases[] = {
      {"2.5\n", true, kIllegal},        {"0*5\n", true, kIllegal},  {"x\n", true, kIllegal},
      {"-\n", true, kIllegal},          {"*5\n", true, kIllegal},   {"2*3*4\n", true, kIllegal},
      {"1e5\n", true, kIllegal},        {".\n", false, kIllegal},   {"1.5x\n", false, kIllegal},
      {"a*5\n", false, kIllegal},       {"9999999999\n", true, kOverflow},
      {"99999999999*5\n", true, kOverflow},
      {"\n", true, kPastEnd},           {"1\n", true, kPastEnd},
  };
  for (const Case& c : cases) {
    std::string errors;
    if (c.integer) {
      read_free_values<int32_t>(c.input, 2, nullptr, &errors);
    } else {
      read_free_values<float>(c.input, 2, nullptr, &errors);
    }
    EXPECT_EQ(errors, c.report) << "\"" << c.input << "\"";
  }
}

TEST(FreeInput, MixedItems) {
  int32_t n = 0;
  float a = 0.0f;
  std::vector<float> pair(2, 9.0f);
  const RunResult run = run_captured("12 0.25 2*1.5\n", [&](Units& io) { read_free(io, kConsole, {n, a, pair}); });
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(n, 12);
  EXPECT_EQ(a, 0.25f);
  EXPECT_EQ(pair, (std::vector<float>{1.5f, 1.5f}));
}

// The allele digits are read in one pass; the same record read field by
// field (each I1 in a group of its own) must give the same values, the same
// partial store before a bad character, and the same report.
TEST(DigitRun, SameAsFieldByField) {
  const Layout fast = parse_layout("I6,1X,2F8.2,1X,200I1");
  // (the trailing T1 keeps the restart point at the start, as in the other)
  const Layout plain = parse_layout("I6,1X,2F8.2,1X,200(I1),T1");
  std::mt19937 random(20240611);
  const std::string alphabet = "0123456789012121212 +-";
  const std::string bad = "a.*E/x\x7f";
  for (int trial = 0; trial < 3000; ++trial) {
    std::string input;
    for (int line = 0; line < 2; ++line) {
      std::string record = "     1   12.34    3.50 ";
      const size_t digits = random() % 230;
      for (size_t k = 0; k < digits; ++k) record += alphabet[random() % alphabet.size()];
      if (random() % 8 == 0 && digits > 0) record[23 + random() % digits] = bad[random() % bad.size()];
      input += record + "\n";
    }
    const size_t count = random() % 3 == 0 ? 250 : 1 + random() % 200;
    auto read_with = [&](const Layout& layout, std::vector<int32_t>& geno) {
      int32_t id = 0;
      float y = 0.0f;
      float s_bv = 0.0f;
      return run_captured(input, [&](Units& io) { read_record(io, kConsole, layout, {id, y, s_bv, geno}); });
    };
    std::vector<int32_t> fast_geno(count, -5);
    std::vector<int32_t> plain_geno(count, -5);
    const RunResult fast_run = read_with(fast, fast_geno);
    const RunResult plain_run = read_with(plain, plain_geno);
    ASSERT_EQ(fast_geno, plain_geno) << "input \"" << input << "\", " << count << " digits";
    ASSERT_EQ(fast_run.errors, plain_run.errors) << "input \"" << input << "\"";
    ASSERT_EQ(fast_run.status, plain_run.status);
  }
}

TEST(DigitRun, Characters) {
  struct Case { const char* record; size_t column; size_t count; bool ok; std::vector<int32_t> expected; };
  const Case cases[] = {
      {"1290", 0, 4, true, {1, 2, 9, 0}},  {"x 1+-", 1, 4, true, {0, 1, 0, 0}},
      {"12", 1, 3, true, {2, 0, 0}},       {"12", 5, 2, true, {0, 0}},
      {"1a2", 0, 3, false, {1, -5, -5}},   {"\t9", 0, 2, true, {0, 9}},
  };
  for (const Case& c : cases) {
    std::vector<int32_t> out(c.count, -5);
    EXPECT_EQ(read_digit_run(c.record, c.column, out), c.ok) << "\"" << c.record << "\"";
    EXPECT_EQ(out, c.expected) << "\"" << c.record << "\" from column " << c.column;
  }
}

}  // namespace
}  // namespace gp
