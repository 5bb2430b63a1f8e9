// The records of output statements: layouts walked over items, position
// moves and gaps, reuse of a layout, free form, and the allele-digit run.
#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/layout.hpp"
#include "common/record.hpp"

namespace gp {
namespace {

using Records = std::vector<std::string>;

Records layout_records(RecordBuffer& buffer, const Layout& layout, std::initializer_list<OutItem> items) {
  Records records;
  auto keep = [&](std::string_view r) { records.emplace_back(r); };
  build_layout_records(buffer, layout, items, RecordSink(keep));
  return records;
}

Records layout_records(const char* layout_text, std::initializer_list<OutItem> items) {
  RecordBuffer buffer;
  return layout_records(buffer, parse_layout(layout_text), items);
}

Records free_records(std::initializer_list<OutItem> items) {
  RecordBuffer buffer;
  Records records;
  auto keep = [&](std::string_view r) { records.emplace_back(r); };
  build_free_record(buffer, items, RecordSink(keep));
  return records;
}

#define EXPECT_RECORDS(expected, layout, ...) \
  EXPECT_EQ(Records(expected), layout_records(layout, __VA_ARGS__)) << "layout " << layout

using R = Records;

TEST(LayoutOutput, SnpFileLines) {
  const std::vector<int32_t> geno = {1, 2, 2, 2, 1, 1};
  EXPECT_RECORDS(R{"     1    12.34    3.50 122211"}, "I6,1X,2F8.2,1X,20000I1", {1, 12.34f, 3.5f, geno});
  EXPECT_RECORDS(R{"     1    12.34    3.50"}, "I6,1X,2F8.2,1X,20000I1",
                 {1, 12.34f, 3.5f, std::vector<int32_t>{}});
  EXPECT_RECORDS(R{"      12       3     100       0     100"}, "6I8", {12, 3, 100, 0, 100});
  EXPECT_RECORDS(R{"      1.50      2.25      3.75"}, "10F10.2", {1.5f, 2.25f, 3.75f});

  const std::vector<float> twelve(12, 0.5f);
  const std::vector<float> ten(10, 0.5f);
  std::string full;
  for (int i = 0; i < 10; ++i) full += " 0.50";
  EXPECT_RECORDS((R{full, " 0.50 0.50"}), "10F5.2", {twelve});
  EXPECT_RECORDS(R{full}, "10F5.2", {ten});
  EXPECT_RECORDS(R{""}, "10F5.2", {std::vector<float>{}});
}

TEST(LayoutOutput, ItemsRunningOutAndNoItems) {
  EXPECT_RECORDS(R{"a="}, "'a=',I3,' b'", {});
  EXPECT_RECORDS(R{""}, "I3", {});
  EXPECT_RECORDS((R{"", "", "x"}), "//'x'", {});
  EXPECT_RECORDS((R{"", "", "  5"}), "2/,I3", {5});
  EXPECT_RECORDS(R{"  1 x"}, "I3,' x',2X,T20,I3", {1});
  EXPECT_RECORDS((R{"  1", "y"}), "I3,/,'y',I3,'z'", {1});
  EXPECT_RECORDS((R{"  1", "", "  2", ""}), "I3/", {1, 2});
}

TEST(LayoutOutput, PositionMovesAndGaps) {
  EXPECT_RECORDS(R{"ab"}, "'ab',3X", {});
  EXPECT_RECORDS(R{"ab"}, "'ab',T10", {});
  EXPECT_RECORDS(R{"ab   c"}, "'ab',3X,'c'", {});
  EXPECT_RECORDS(R{" 1    2"}, "I2,T6,I2", {1, 2});
  EXPECT_RECORDS(R{"abXdef"}, "'abcdef',T3,'X'", {});
  EXPECT_RECORDS(R{"abcdef"}, "'abcdef',T2,3X", {});
  EXPECT_RECORDS(R{"ab"}, "'ab',4X,''", {});
  EXPECT_RECORDS(R{"     x"}, "T6,'x'", {});
}

TEST(LayoutOutput, ReuseOfTheLayout) {
  EXPECT_RECORDS((R{"  1  2", "  3  4", "  5"}), "2I3", {1, 2, 3, 4, 5});
  EXPECT_RECORDS((R{"h 1 2", " 3 4", " 5"}), "'h',2(I2)", {1, 2, 3, 4, 5});
  EXPECT_RECORDS((R{" 1 2 3", " 4"}), "3I2", {std::vector<int32_t>{1, 2}, 3, std::vector<int32_t>{}, 4});
}

TEST(LayoutOutput, ValueOfTheOtherKindKeepsItsBits) {
  EXPECT_RECORDS(R{"    0.00"}, "F8.2", {1});
  EXPECT_RECORDS(R{" 1065353216"}, "I11", {1.0f});
  EXPECT_RECORDS(R{"0.10E+01"}, "E8.2", {0x3f800000});
}

TEST(LayoutOutput, ProgrammingErrorsAreRejected) {
  EXPECT_THROW(layout_records("'x'", {1}), std::logic_error);
  EXPECT_THROW(layout_records("I2,('a')", {1, 2}), std::logic_error);
  EXPECT_THROW(layout_records("I3", {"text"}), std::logic_error);
}

TEST(FreeOutput, Records) {
  EXPECT_EQ(R{" Random seed=  7"}, free_records({"Random seed=", 7}));
  EXPECT_EQ(R{"   5  0.500000"}, free_records({5, 0.5f}));
  EXPECT_EQ(R{" "}, free_records({}));
  EXPECT_EQ(R{" n_snp  n_qtl nrec nprog nrec"}, free_records({"n_snp  n_qtl nrec nprog nrec"}));
  EXPECT_EQ(R{" var_a,var_e, sim_var "}, free_records({"var_a,var_e, sim_var "}));
  EXPECT_EQ(R{"   1 ab  cd"}, free_records({1, "ab  ", "cd"}));
  EXPECT_EQ(R{"   1.00000 -2.50000  3 x"}, free_records({std::vector<float>{1.0f, -2.5f}, 3, "x"}));
}

TEST(RecordBufferTest, GrowsInStepsAndIsKeptAcrossStatements) {
  RecordBuffer buffer;
  const Layout layout = parse_layout("I6,1X,2F8.2,1X,20000I1");
  const std::vector<int32_t> geno(20000, 1);
  Records records = layout_records(buffer, layout, {7, 1.0f, 2.0f, geno});
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ(20024u, records[0].size());
  EXPECT_EQ(3 * RecordBuffer::kGrowthStep, buffer.capacity());
  records = layout_records(buffer, layout, {8, 1.0f, 2.0f, std::vector<int32_t>{}});
  EXPECT_EQ(R{"     8     1.00    2.00"}, records);
  EXPECT_EQ(3 * RecordBuffer::kGrowthStep, buffer.capacity());
}

// The run of I1 digits is written in one loop when a repeated I1 field meets
// an integer array; a layout of single I1 fields takes the field-by-field
// path. Both must give the same characters, including asterisks, the reuse
// of the layout past its last digit and arrays that end mid-run.
TEST(OutputDigitRun, EqualsFieldByFieldOutput) {
  std::string single = "I6,1X,2F8.2,1X";
  for (int i = 0; i < 300; ++i) single += ",I1";
  const Layout run_layout = parse_layout("I6,1X,2F8.2,1X,300I1");
  const Layout single_layout = parse_layout(single);
  const Layout mixed_run = parse_layout("3I1,1X,7I1,'|',2I1");
  const Layout mixed_single = parse_layout("I1,I1,I1,1X,I1,I1,I1,I1,I1,I1,I1,'|',I1,I1");

  std::mt19937 random(12345);
  RecordBuffer buffer;
  for (int trial = 0; trial < 400; ++trial) {
    const size_t length = random() % 700;
    std::vector<int32_t> values(length);
    for (int32_t& v : values) {
      const uint32_t pick = random() % 20;
      v = pick < 16 ? 1 + static_cast<int32_t>(pick % 2) : static_cast<int32_t>(random() % 25) - 12;
    }
    const std::vector<int32_t> tail = {static_cast<int32_t>(random() % 3)};
    EXPECT_EQ(layout_records(buffer, single_layout, {trial, 1.25f, -3.5f, values, tail}),
              layout_records(buffer, run_layout, {trial, 1.25f, -3.5f, values, tail}))
        << "trial " << trial << ", " << length << " values";
    EXPECT_EQ(layout_records(buffer, mixed_single, {values, tail}),
              layout_records(buffer, mixed_run, {values, tail}))
        << "trial " << trial << ", " << length << " values";
  }
}

}  // namespace
}  // namespace gp
