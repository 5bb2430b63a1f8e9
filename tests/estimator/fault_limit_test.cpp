// The real kolber binary under faults of the system around it (a full file
// system, a directory or a protected file in place of SNP_results, too
// little memory) and at the limits of its input: the report or an orderly
// run, and nothing lost that was complete or that came before the run.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>

#include "common/child_process.hpp"
#include "estimator/kolber_support.hpp"

namespace gp::testing {
namespace {

constexpr const char* kEarlier = "earlier results\r\n";

std::string system_report(int error, const std::string& statement) {
  return report("System Error:", std::strerror(error), statement);
}

// Three SNPs, `records` records with allele digits and phenotypes that vary.
std::string data_file(int records) {
  static const char* const kAlleles[] = {"112122", "221211", "121212", "222111", "111222", "212121", "122112"};
  std::string text;
  for (int i = 1; i <= records; ++i) {
    text += record_text(i, 10.0f + static_cast<float>(i % 5), 0.5f * static_cast<float>(i % 3), kAlleles[i % 7]);
  }
  return text;
}

void write_study(const ScratchDir& dir, int nrec, int records) {
  dir.write("SNP_setup", setup_text(3, nrec, {0.5f, -0.25f, 1.0f}));
  dir.write("SNP_data", data_file(records));
}

// SNP_results of the same study written without any limit.
std::string full_results(int nrec) {
  ScratchDir dir;
  write_study(dir, nrec, 2 * nrec);
  const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n");
  EXPECT_EQ(run.status, 0) << run.err;
  return dir.read("SNP_results");
}

// A file-size limit stops SNP_results in its first block or at its last
// flush: the report names the write, the console never reaches "Finished
// in", and the file holds the complete records of a full run that fit below
// the limit, and nothing after them.
TEST(KolberFaults, FileSystemFullWhileWritingResults) {
  const std::string full = full_results(200);
  ASSERT_GT(full.size(), 10500u);
  for (rlim_t limit : {5000, 10000}) {
    SCOPED_TRACE(limit);
    ScratchDir dir;
    write_study(dir, 200, 400);
    child::Limits limits;
    limits.file_size = limit;
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n", limits);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, system_report(EFBIG, "WRITE(UNIT=3,..."));
    EXPECT_EQ(run.out.find("Finished in"), std::string::npos);
    const std::string results = dir.read("SNP_results");
    EXPECT_EQ(results, full.substr(0, full.rfind("\r\n", limit - 2) + 2));
    std::string rest;
    EXPECT_GT(child::complete_lines(results, &rest).size(), 100u);
    EXPECT_EQ(rest, "");
  }
}

TEST(KolberFaults, ResultsNameIsADirectory) {
  ScratchDir dir;
  write_study(dir, 4, 8);
  ::mkdir((dir.path() + "/SNP_results").c_str(), 0777);
  const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.err, system_report(EISDIR, "OPEN(UNIT=3,..."));
  EXPECT_NE(run.out.find("convergence of "), std::string::npos);
}

// Protected files, as an unprivileged user when the tests run as root (for
// whom permissions stop no write): read-only SNP_setup and SNP_data are
// read; a read-only SNP_results is refused at its first write and kept.
TEST(KolberFaults, FilesThatMayNotBeWritten) {
  struct Case {
    const char* name;
    int status;
  };
  const Case cases[] = {{"SNP_setup", 0}, {"SNP_data", 0}, {"SNP_results", 255}};
  child::Limits limits;
  if (::geteuid() == 0) {
    // Permissions do not stop root: the run is made as an unprivileged user.
    limits.user = 65534;
    if (!child::user_may_run(limits.user, KOLBER_PATH)) GTEST_SKIP() << "the build folder is closed to other users";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    ::chmod(dir.path().c_str(), 0777);
    write_study(dir, 4, 8);
    dir.write("SNP_results", kEarlier);
    for (const char* name : {"SNP_setup", "SNP_data", "SNP_results"}) {
      ::chmod((dir.path() + "/" + name).c_str(), name == c.name ? 0444 : 0666);
    }
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n", limits);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_EQ(run.err, system_report(EACCES, "WRITE(UNIT=3,..."));
      EXPECT_EQ(dir.read("SNP_results"), kEarlier);
    }
  }
}

// Memory that cannot be had: under an address-space limit the design matrix
// (or, for the largest count the layout carries, the phenotypes) cannot be
// allocated; the run ends in the report and the earlier results stay.
TEST(KolberFaults, AllocationFailsUnderAMemoryLimit) {
  if (child::kAddressSanitizer) GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
  struct Case {
    int n_snp;
    int nrec;
  };
  const Case cases[] = {{200, 8000000}, {1000, 99999999}};  // a 400 MB design matrix, then a 25 GB one
  for (const Case& c : cases) {
    SCOPED_TRACE(c.nrec);
    ScratchDir dir;
    dir.write("SNP_setup", setup_text(c.n_snp, c.nrec, std::vector<float>(static_cast<size_t>(c.n_snp), 1.0f)));
    dir.write("SNP_data", record_text(1, 1.0f, 0.0f, "12"));
    dir.write("SNP_results", kEarlier);
    child::Limits limits;
    limits.address_space = rlim_t{256} << 20;
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n", limits);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, report("KALDREN Runtime Error:", "Runtime memory allocation fails", ""));
    EXPECT_EQ(dir.read("SNP_results"), kEarlier);
  }
}

// How many records SNP_data holds: more than 2 x nrec (the rest is never
// read), exactly 2 x nrec, only nrec (training reads, the results stage
// meets the end of the file with the training values written), a last
// record without its line end, and a record cut short or carrying more than
// its layout.
TEST(KolberLimits, RecordsInSnpData) {
  const std::string full = full_results(6);
  const std::string past_end = report("KALDREN Runtime Error:", "Attempt to read past end of file", "READ(UNIT=2,...");
  std::string short_record = data_file(12);
  const size_t cut = short_record.find("\r\n", short_record.find("     9 "));
  short_record.erase(cut - 2, 2);
  std::string long_record = data_file(12);
  long_record.replace(long_record.find("\r\n     4 "), 2, "1 and a comment\r\n");
  std::string unterminated = data_file(12);
  unterminated.resize(unterminated.size() - 2);
  struct Case {
    const char* what;
    std::string data;
    int status;
    std::string errors;
    size_t results_lines;  // 0: the same SNP_results as 2 x nrec records give
  };
  const Case cases[] = {
      {"more than 2 x nrec", data_file(20), 0, "", 0},
      {"exactly 2 x nrec", data_file(12), 0, "", 0},
      {"a record with more characters", long_record, 0, "", 0},
      {"exactly nrec", data_file(6), 255, past_end, 1 + 1 + 3 + 3 + 6},
      {"the last record without its line end", unterminated, 255, past_end, 1 + 1 + 3 + 3 + 6 + 5},
      {"a record cut short", short_record, 255,
       report("Input Error:",
              "Allele code 0 for SNP 3 in record 9 of SNP_data; allele codes are 1 or 2 (a blank or a missing digit "
              "reads as 0)",
              "READ(UNIT=2,..."),
       1 + 1 + 3 + 3 + 6 + 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("SNP_setup", setup_text(3, 6, {0.5f, -0.25f, 1.0f}));
    dir.write("SNP_data", c.data);
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n");
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.errors);
    const std::string results = dir.read("SNP_results");
    if (c.results_lines == 0) {
      EXPECT_EQ(results, full);
    } else {
      std::string rest;
      EXPECT_EQ(child::complete_lines(results, &rest).size(), c.results_lines);
      EXPECT_EQ(rest, "");
      EXPECT_EQ(results, full.substr(0, results.size()));
    }
  }
}

// Whole studies at the SNP counts where the record layout changes: none,
// one, the most one standard record carries, and one more (the grown
// record). The estimator reads back every digit the simulator wrote.
TEST(KolberLimits, SimulatedStudiesAtTheSnpCountEdges) {
  for (int n_snp : {0, 1, 10000, 10001}) {
    SCOPED_TRACE(n_snp);
    ScratchDir dir;
    const std::string n = std::to_string(n_snp);
    dir.write("par_tarvox", "SNP\n" + n + "\nQTL\n" + (n_snp > 0 ? "1" : "0") +
                                "\nprogenies\n0\nrecords\n3\nfrequencies\n0.1 0.5\nrange\n" +
                                (n_snp > 0 ? "1" : "2") + "\nvar_a\n1\nh2\n0.5\nmean\n5\nseed\n1\n");
    const child::Run simulation = child::run(TARVOX_PATH, dir.path(), "");
    ASSERT_EQ(simulation.status, 0) << simulation.err;
    const std::string data = dir.read("SNP_data");
    EXPECT_EQ(data.size(), 6u * (23 + 2 * static_cast<size_t>(n_snp) + (n_snp > 0 ? 1 : 0) + 2));
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(" Read 3 records with " + n + " SNP effects\r\n"), std::string::npos);
    std::string rest;
    EXPECT_EQ(child::complete_lines(dir.read("SNP_results"), &rest).size(),
              1 + 1 + static_cast<size_t>(std::max(n_snp, 1)) + 3 + 6);
  }
}

// SNP_setup written with tabs for the blanks, tab stops every eight columns:
// read right with TABSIZE absent or 8, read as other counts otherwise; LF
// line ends read like CR LF.
TEST(KolberLimits, TabsAndLineEndsInSnpSetup) {
  std::string tabbed = setup_text(3, 6, {0.5f, -0.25f, 1.0f});
  tabbed.replace(tabbed.find("       3       3       6       0       6"), 40, "3\t3\t6\t0\t6");
  std::string lf_only;
  for (char ch : setup_text(3, 6, {0.5f, -0.25f, 1.0f})) {
    if (ch != '\r') lf_only += ch;
  }
  struct Case {
    const char* what;
    const std::string& setup;
    const char* tab_size;
    const char* read_line;
  };
  const Case cases[] = {
      {"tabs, TABSIZE absent", tabbed, nullptr, " Read 6 records with 3 SNP effects"},
      {"tabs, TABSIZE 8", tabbed, "8", " Read 6 records with 3 SNP effects"},
      {"tabs, TABSIZE 4", tabbed, "4", " Read 0 records with 33 SNP effects"},
      {"tabs, TABSIZE 0", tabbed, "0", " Read 0 records with 3360 SNP effects"},
      {"LF line ends", lf_only, nullptr, " Read 6 records with 3 SNP effects"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    dir.write("SNP_setup", c.setup);
    dir.write("SNP_data", data_file(12));
    child::Limits limits;
    limits.tab_size = c.tab_size;
    const child::Run run = child::run(KOLBER_PATH, dir.path(), "1\n", limits);
    EXPECT_NE(run.out.find(std::string(c.read_line) + "\r\n"), std::string::npos) << run.out;
    const bool right = std::string(c.read_line) == " Read 6 records with 3 SNP effects";
    EXPECT_EQ(run.status, right ? 0 : 255) << run.err;
  }
}

}  // namespace
}  // namespace gp::testing
