// Parameter sets that the model cannot simulate, and values that could not
// be read back from the files: each run ends with the exact report, and no
// output file is opened before the check that fails.
#include <gtest/gtest.h>

#include "harness.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;

struct Rejection {
  std::array<std::string, 10> values;
  const char* message;
  const char* statement;  // the report's last line, or "" for none
};

const std::string kHeader = "? Input Error:\r\n";

const Rejection kBeforeAnyFile[] = {
    {{"-1", "0", "0", "5", "0.1 0.5", "2", "1", "0.5", "0", "1"},
     "Parameter n_snp = -1 cannot be simulated: the number of SNPs must not be negative", ""},
    {{"3", "5", "0", "5", "0.1 0.5", "10", "1", "0.5", "0", "1"},
     "Parameter n_qtl = 5 cannot be simulated: with snp_range above 1 at most n_snp = 3 SNPs can have an effect", ""},
    {{"0", "0", "0", "5", "0.1 0.5", "1", "1", "0.5", "0", "1"},
     "Parameter n_snp = 0 cannot be simulated: with snp_range 1 or less SNP 1 carries the effect, so n_snp must be at least 1",
     ""},
    {{"4", "1", "-1", "5", "0.1 0.5", "2", "1", "0.5", "0", "1"},
     "Parameter nprog = -1 cannot be simulated: 0 (own records) or a positive number of progenies", ""},
    {{"4", "1", "0", "500000", "0.1 0.5", "2", "1", "0.5", "0", "1"},
     "Parameter nrec = 500000 cannot be simulated: 2 x nrec records are numbered in 6 columns, so nrec must be at most 499999",
     ""},
    {{"4", "1", "0", "2147483647", "0.1 0.5", "2", "1", "0.5", "0", "1"},
     "Parameter nrec = 2147483647 cannot be simulated: 2 x nrec records are numbered in 6 columns, so nrec must be at most "
     "499999",
     ""},
    {{"4", "1", "0", "5", "-0.1 0.5", "2", "1", "0.5", "0", "1"},
     "Parameter freq_min = -0.1 cannot be simulated: a frequency between 0 and 1 is required", ""},
    {{"4", "1", "0", "5", "0.1 1.5", "2", "1", "0.5", "0", "1"},
     "Parameter freq_max = 1.5 cannot be simulated: a frequency between 0 and 1 is required", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "2", "-1", "0.5", "0", "1"},
     "Parameter var_a = -1 cannot be simulated: a variance must not be negative", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "2", "1", "0", "0", "1"},
     "Parameter h2 = 0 cannot be simulated: a heritability above 0 and at most 1 is required", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "2", "1", "1.5", "0", "1"},
     "Parameter h2 = 1.5 cannot be simulated: a heritability above 0 and at most 1 is required", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "2", "1e39", "0.5", "0", "1"},
     "Parameter var_a = inf cannot be simulated: a finite single-precision value (magnitude below 3.4E+38) is required", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "2", "1", "0.5", "-1e39", "1"},
     "Parameter mean = -inf cannot be simulated: a finite single-precision value (magnitude below 3.4E+38) is required", ""},
    {{"4", "1", "0", "5", "0.1 0.5", "1e39", "1", "0.5", "0", "1"},
     "Parameter snp_range = inf cannot be simulated: a finite single-precision value (magnitude below 3.4E+38) is required",
     ""},
    {{"4", "0", "0", "5", "0.1 0.5", "2", "1", "0.5", "0", "1"},
     "sim_var = 0: no SNP with a non-zero effect has a frequency strictly between 0 and 1 (n_qtl = 0), so the effects "
     "cannot be scaled to var_a",
     ""},
    {{"4", "2", "0", "5", "0 0", "1", "1", "0.5", "0", "1"},
     "sim_var = 0: no SNP with a non-zero effect has a frequency strictly between 0 and 1 (n_qtl = 2), so the effects "
     "cannot be scaled to var_a",
     ""},
    {{"4", "2", "0", "5", "0.1 0.5", "1e30", "1", "0.5", "0", "1"},
     "sim_var = inf exceeds single precision (snp_range = 1e+30 is too large), so the effects cannot be scaled to "
     "var_a",
     ""},
    {{"4", "2", "0", "5", "0.1 0.5", "2", "1e30", "1e-10", "0", "1"},
     "var_e = ((1 - h2) x var_a) / h2 = inf exceeds single precision (h2 = 1e-10, var_a = 1e+30)", ""},
};

TEST(Rejections, ReportedBeforeAnyOutputFileIsOpened) {
  for (const Rejection& r : kBeforeAnyFile) {
    SCOPED_TRACE(r.message);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    test::write_file(dir / "par_tarvox", test::par_text(r.values));
    const test::RunResult run = test::run_in_process(dir, 17);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.errors, kHeader + "? " + r.message + "\r\n" + r.statement);
    EXPECT_EQ(run.output.rfind(" Random seed=  1\r\n"), run.output.size() - 18) << "the whole file is echoed first";
    EXPECT_FALSE(fs::exists(dir / "SNP_setup"));
    EXPECT_FALSE(fs::exists(dir / "SNP_data"));
  }
}

// n_qtl = 1 with snp_range above 1 and n_snp = 0 with no QTL are runs.
TEST(Rejections, LegitimateBorderlineSetsRun) {
  const std::array<std::string, 10> sets[] = {
      {"4", "1", "0", "2", "0.1 0.5", "50", "1", "0.5", "0", "1"},
      {"0", "0", "0", "2", "0.1 0.5", "2", "1", "0.5", "0", "1"},
      {"0", "-3", "0", "2", "0.1 0.5", "2", "1", "0.5", "0", "1"},
      {"2", "2", "0", "2", "0.3 0.1", "2", "0", "1", "0", "1"},
  };
  for (const auto& values : sets) {
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    test::write_file(dir / "par_tarvox", test::par_text(values));
    const test::RunResult run = test::run_in_process(dir, 3);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(fs::exists(dir / "SNP_setup"));
    EXPECT_TRUE(fs::exists(dir / "SNP_data"));
  }
}

// Values that would print as asterisks: the run stops at the line that
// would hold them, after the complete lines before it. An earlier study's
// SNP_data is replaced by those lines, or kept whole when the run stops
// before opening it.
TEST(Rejections, UnreadableValuesStopTheWriting) {
  constexpr size_t kOldLines = 3000;
  struct Case {
    std::array<std::string, 10> values;
    const char* message;
    const char* statement;
    size_t setup_lines;
    size_t data_lines;
  };
  const Case cases[] = {
      {{"4", "1", "123456789", "2", "0.1 0.5", "2", "1", "0.5", "0", "1"},
       "SNP_setup line 2: nprog = 123456789 does not fit its field I8 and could not be read back",
       "? WRITE(UNIT=1,...\n", 1, kOldLines},
      {{"1", "0", "0", "2", "0.3 0.3", "1", "1e12", "1", "0", "1"},
       "SNP_setup line 8: snp_val(1) = 1543033.5 does not fit its field F8.2 and could not be read back",
       "? WRITE(UNIT=1,...\n", 7, kOldLines},
      {{"1", "0", "0", "5", "0.5 0.5", "1", "0.02", "1", "99999.8", "1"},
       "SNP_data record 4: y = 100000 does not fit its field F8.2 and could not be read back",
       "? WRITE(UNIT=2,...\n", 8, 3},
      {{"4", "1", "0", "2", "0.1 0.5", "2", "1", "0.5", "1e6", "1"},
       "SNP_data record 1: y = 999998.56 does not fit its field F8.2 and could not be read back",
       "? WRITE(UNIT=2,...\n", 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    test::write_file(dir / "par_tarvox", test::par_text(c.values));
    std::string old_data;
    for (size_t i = 0; i < kOldLines; ++i) old_data += "     1    12.34    3.50 122211\r\n";
    test::write_file(dir / "SNP_data", old_data);
    const test::RunResult run = test::run_in_process(dir, 17);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.errors, kHeader + "? " + c.message + "\r\n" + c.statement);
    const std::string setup = test::read_file(dir / "SNP_setup");
    EXPECT_EQ(std::count(setup.begin(), setup.end(), '\n'), static_cast<long>(c.setup_lines));
    const std::string data = test::read_file(dir / "SNP_data");
    EXPECT_EQ(std::count(data.begin(), data.end(), '\n'), static_cast<long>(c.data_lines));
    EXPECT_EQ(data.find('*'), std::string::npos);
  }
}

}  // namespace
}  // namespace gp
