// The SNP file layouts have two owners, one per language: this module in
// C++ and workflow/scripts/outputs.py in Python. The facts each side holds
// (widths, values per line, columns, limits) must be the same, so a change
// on one side fails here until the other follows.
#include <gtest/gtest.h>

#include <stdio.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>

#include "common/snp_files.hpp"

namespace gp {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

// "name value" lines of `python3 outputs.py facts`.
std::map<std::string, int64_t> python_facts() {
  const std::string command = std::string(kPython) + " " + SOURCE_DIR + "/workflow/scripts/outputs.py facts";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string text;
  char buffer[512];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  EXPECT_EQ(::pclose(pipe), 0) << command;
  std::map<std::string, int64_t> facts;
  std::istringstream lines(text);
  std::string name;
  for (int64_t value = 0; lines >> name >> value;) facts[name] = value;
  return facts;
}

TEST(SnpLayoutFacts, PythonHoldsTheSameAsCpp) {
  if (::access(kPython, X_OK) != 0) GTEST_SKIP() << kPython << " is not installed";
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
  EXPECT_EQ(python_facts(), cpp);
}

}  // namespace
}  // namespace gp
