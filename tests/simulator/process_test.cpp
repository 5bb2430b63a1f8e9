// The real tarvox binary in a scratch directory: standard output, standard
// error, exit status and the files left behind, byte for byte.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

struct ProcessResult {
  int status;
  std::string out;
  std::string err;
};

ProcessResult run_tarvox_binary(const fs::path& dir) {
  const std::string command = "cd '" + dir.string() + "' && '" TARVOX_PATH "' </dev/null >stdout.txt 2>stderr.txt";
  const int raw = std::system(command.c_str());
  ProcessResult result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_file(dir / "stdout.txt"),
                       read_file(dir / "stderr.txt")};
  fs::remove(dir / "stdout.txt");
  fs::remove(dir / "stderr.txt");
  return result;
}

const std::string kBanner = "Program TARVOX 1.2(Halvenor, QRT)\r\n";
const std::string kEcho1 = " using parameters in file:par_tarvox" + std::string(40, ' ') + "\r\n";
const std::string kValid = test::par_text({"1000", "20", "0", "5", "0.05 0.5", "100", "2", "0.5", "10.5", "77"});
const std::string kValidEcho = kEcho1 +
                               "   1000  SNP\r\n"
                               "   20  of SNP have nozero effects\r\n"
                               " animals with own record\r\n"
                               "   5  records\r\n"
                               " Minor SNP frequencies range:   5.000000E-02  0.500000\r\n"
                               " SNP range of values:  100.000\r\n"
                               " Additive variance=  2.00000\r\n"
                               " h2=  0.500000\r\n"
                               " Mean=  10.5000\r\n"
                               " Random seed=  77\r\n";

TEST(TarvoxProcess, ValidRunPrintsBannerEchoAndReport) {
  const test::ScratchDir dir_scratch("tarvox_test");
  const fs::path dir = dir_scratch.path();
  write_file(dir / "par_tarvox", kValid);
  const ProcessResult run = run_tarvox_binary(dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, kBanner + kValidEcho +
                         "Simulated 5 records with 1000 SNP effects\r\n"
                         "Simulated parameters are in file SNP_setup\r\n"
                         "Simulated records are in file SNP_data\r\n");
  const std::string data = read_file(dir / "SNP_data");
  EXPECT_EQ(data.size(), 10u * (24 + 2000 + 2));
  EXPECT_EQ(data.substr(0, 7), "     1 ");
  EXPECT_EQ(read_file(dir / "SNP_setup").substr(0, 73),
            " n_snp  n_qtl nrec nprog nrec\r\n"
            "    1000      20       5       0       5\r\n");
}

// Failures while the parameters are read: the echo up to the failing value,
// the report, exit status 255, and SNP_setup and SNP_data untouched.
TEST(TarvoxProcess, ParameterFileFailures) {
  const std::string past_end = "? KALDREN Runtime Error:\r\n? Attempt to read past end of file\r\n? READ(UNIT=3,...\n";
  const std::string illegal = "? KALDREN Runtime Error:\r\n? Illegal character in numeric input\r\n? READ(UNIT=3,...\n";
  struct Case {
    const char* what;
    const char* par;  // null: no par_tarvox at all
    std::string out;
    std::string err;
  };
  std::string unterminated = kValid.substr(0, kValid.size() - 1);
  std::string label_as_value = kValid;
  label_as_value.replace(label_as_value.find("\n20\n"), 4, "\n\n");
  const Case cases[] = {
      {"missing file", nullptr, kBanner + kEcho1, past_end},
      {"short file", "SNP\n12\nQTL\n3\nprogeny\n", kBanner + kEcho1 + "   12  SNP\r\n   3  of SNP have nozero effects\r\n",
       past_end},
      {"decimal point in an integer", "SNP\n2.5\n", kBanner + kEcho1, illegal},
      {"label read as a value after an empty value line", label_as_value.c_str(),
       kBanner + kEcho1 + "   1000  SNP\r\n", illegal},
      {"unterminated last line", unterminated.c_str(),
       kBanner + kValidEcho.substr(0, kValidEcho.size() - std::string(" Random seed=  77\r\n").size()), past_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    if (c.par != nullptr) write_file(dir / "par_tarvox", c.par);
    write_file(dir / "SNP_setup", "old setup\r\n");
    write_file(dir / "SNP_data", "old data\r\n");
    const ProcessResult run = run_tarvox_binary(dir);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(read_file(dir / "par_tarvox"), c.par != nullptr ? std::string(c.par) : "");
    EXPECT_EQ(read_file(dir / "SNP_setup"), "old setup\r\n");
    EXPECT_EQ(read_file(dir / "SNP_data"), "old data\r\n");
  }
}

TEST(TarvoxProcess, RejectedParametersLeaveOldFilesUntouched) {
  const test::ScratchDir dir_scratch("tarvox_test");
  const fs::path dir = dir_scratch.path();
  write_file(dir / "par_tarvox", test::par_text({"3", "5", "0", "5", "0.1 0.5", "10", "1", "0.5", "0", "1"}));
  write_file(dir / "SNP_setup", "old setup\r\n");
  write_file(dir / "SNP_data", "old data\r\n");
  const ProcessResult run = run_tarvox_binary(dir);
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err,
            "? Input Error:\r\n? Parameter n_qtl = 5 cannot be simulated: with snp_range above 1 at most n_snp = 3 SNPs "
            "can have an effect\r\n");
  EXPECT_EQ(read_file(dir / "SNP_setup"), "old setup\r\n");
  EXPECT_EQ(read_file(dir / "SNP_data"), "old data\r\n");
}

// A run without records leaves SNP_data empty, not an earlier study's.
TEST(TarvoxProcess, NoRecordsEmptiesAnOlderDataFile) {
  for (const char* nrec : {"0", "-3"}) {
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    write_file(dir / "par_tarvox", test::par_text({"3", "2", "4", nrec, "0.1 0.5", "10", "1", "0.5", "0", "1"}));
    write_file(dir / "SNP_data", "     1    12.34    3.50 122211\r\n");
    const ProcessResult run = run_tarvox_binary(dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir / "SNP_data"), "");
    EXPECT_NE(run.out.find("Simulated " + std::string(nrec) + " records with 3 SNP effects\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace gp
