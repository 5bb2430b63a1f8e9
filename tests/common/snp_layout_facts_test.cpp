// The SNP file layouts have two owners, one per language: this module in
// C++ and workflow/scripts/outputs.py in Python. The facts each side holds
// (widths, values per line, columns, limits) must be the same, so a change
// on one side fails here until the other follows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <string>

#include "common/snp_files.hpp"
#include "support/python_facts.hpp"

namespace gp {
namespace {

TEST(SnpLayoutFacts, PythonHoldsTheSameAsCpp) {
  if (::access(test::kFactsPython, X_OK) != 0) GTEST_SKIP() << test::kFactsPython << " is not installed";
  const std::map<std::string, int64_t> cpp = {
      {"setup_values_per_line", kSetupValuesPerLine},
      {"count_width", kCountWidth},
      {"counts_written", kCountsWritten},
      {"variance_width", kVarianceWidth},
      {"frequency_width", kFrequencyWidth},
      {"effect_width", kEffectWidth},
      {"setup_decimals", kSetupDecimals},
      {"record_number_width", kRecordNumberWidth},
      {"record_real_width", kRecordRealWidth},
      {"record_decimals", kRecordDecimals},
      {"record_field_chars", static_cast<int64_t>(kRecordFieldChars)},
      {"first_digit_column", static_cast<int64_t>(kFirstDigitColumn)},
      {"max_records", kMaxRecords},
      {"max_nrec", kMaxNrec},
      {"max_snps", kMaxSnps},
      {"record_chars_1", static_cast<int64_t>(record_chars(1))},
      {"record_chars_10000", static_cast<int64_t>(record_chars(10000))},
      {"section_lines_0", section_lines(0)},
      {"section_lines_25", section_lines(25)},
  };
  EXPECT_EQ(test::python_facts("snp"), cpp);
}

}  // namespace
}  // namespace gp
