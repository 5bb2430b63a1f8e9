// Whole runs in-process: what the seed, the clock and the parameter file's
// free-form rules change and what they leave alone.
#include <gtest/gtest.h>

#include "harness.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;

struct Files {
  test::RunResult run;
  std::string setup;
  std::string data;
};

Files run_with(const std::string& par, int clock) {
  const test::ScratchDir dir_scratch("tarvox_test");
  const fs::path dir = dir_scratch.path();
  test::write_file(dir / "par_tarvox", par);
  Files files{test::run_in_process(dir, clock), test::read_file(dir / "SNP_setup"), test::read_file(dir / "SNP_data")};
  return files;
}

TEST(WholeRun, SeedChangesNothingButTheClockDoes) {
  const Files a = run_with(test::par_text({"30", "5", "0", "4", "0.05 0.5", "8", "2", "0.5", "3", "1"}), 250);
  const Files b = run_with(test::par_text({"30", "5", "0", "4", "0.05 0.5", "8", "2", "0.5", "3", "-98765"}), 250);
  const Files c = run_with(test::par_text({"30", "5", "0", "4", "0.05 0.5", "8", "2", "0.5", "3", "1"}), 251);
  ASSERT_EQ(a.run.status, 0) << a.run.errors;
  EXPECT_EQ(a.setup, b.setup);
  EXPECT_EQ(a.data, b.data);
  EXPECT_NE(a.data, c.data);
}

// The echo follows the values as read: a slash leaves freq_max at 0.5, a
// negative nprog prints as a number of progenies, extra text after a value
// and a label that looks like a number change nothing.
TEST(WholeRun, EchoOfFreeFormValues) {
  struct Case {
    std::array<std::string, 10> values;
    const char* echo_line;
  };
  const Case cases[] = {
      {{"3", "1", "0", "1", "0.2 /", "2", "1", "0.5", "0", "1"}, " Minor SNP frequencies range:   0.200000  0.500000\r\n"},
      {{"3", "1", "-2", "1", "0.2 0.3", "2", "1", "0.5", "0", "1"}, "  -2  progenies per sire\r\n"},
      {{"3", "1", "0", "1", "0.2 0.3", "2", "1", "0.5", "0", "250  this is a comment"}, " Random seed=  250\r\n"},
      {{"3", "1", "0", "1", "0.2,0.3", "2", "1", "0.5", "-1.5E+2", "1"}, " Mean= -150.000\r\n"},
  };
  for (const Case& c : cases) {
    const Files f = run_with(test::par_text(c.values), 0);
    EXPECT_NE(f.run.output.find(c.echo_line), std::string::npos) << c.echo_line << f.run.output << f.run.errors;
  }
  std::string numeric_labels = test::par_text({"3", "1", "0", "1", "0.2 0.3", "2", "1", "0.5", "0", "1"});
  numeric_labels.replace(0, numeric_labels.find('\n'), "12345");
  const Files f = run_with(numeric_labels, 0);
  EXPECT_EQ(f.run.status, 0) << f.run.errors;
  EXPECT_NE(f.run.output.find("   3  SNP\r\n"), std::string::npos);
}

// Beyond 10000 SNPs a record keeps all its allele digits on its one line.
TEST(WholeRun, MoreThanTenThousandSnps) {
  const Files f = run_with(test::par_text({"12000", "50", "0", "2", "0.05 0.5", "10", "1", "0.5", "0", "1"}), 9);
  ASSERT_EQ(f.run.status, 0) << f.run.errors;
  size_t start = 0, lines = 0;
  for (size_t end; (end = f.data.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
    EXPECT_EQ(end - start, 24u + 24000u);
    EXPECT_EQ(f.data.find_first_not_of("12", start + 24), end);
  }
  EXPECT_EQ(lines, 4u);
}

}  // namespace
}  // namespace gp
