// The real tarvox binary under faults of the system around it (a full file
// system, names taken by directories, files it may not write) and at the
// limits of its input: each ends in the report or in an orderly run, and no
// complete record before a failure is lost.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstring>

#include "common/child_process.hpp"
#include "harness.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::write_file;

const std::string kBanner = "Program TARVOX 1.2(Halvenor, QRT)\r\n";

std::string system_report(int error, const std::string& statement) {
  return "? System Error:\r\n? " + std::string(std::strerror(error)) + "\r\n? " + statement + "\n";
}

std::string par(const std::string& n_snp, const std::string& nrec) {
  return test::par_text({n_snp, "2", "0", nrec, "0.05 0.5", "4", "1", "0.5", "10", "3"});
}

// A file-size limit stops SNP_data in the middle (a full block) or at its
// last flush: the report names the write and no report of success comes
// first; SNP_setup is whole, and SNP_data holds records 1, 2, ... in order,
// each complete, and ends right after the last of them.
TEST(TarvoxFaults, FileSystemFullWhileWritingSnpData) {
  for (const char* nrec : {"500", "50"}) {
    SCOPED_TRACE(nrec);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    write_file(dir / "par_tarvox", par("100", nrec));
    child::Limits limits;
    limits.file_size = 20000;
    const child::Run run = child::run(TARVOX_PATH, dir, "", limits);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, system_report(EFBIG, "WRITE(UNIT=2,..."));
    EXPECT_EQ(run.out.find("Simulated "), std::string::npos) << "no report of success";
    std::string rest;
    const std::vector<std::string> setup = child::complete_lines(read_file(dir / "SNP_setup"), &rest);
    EXPECT_EQ(setup.size(), 2u + 2 + 1 + 10 + 1 + 10);
    EXPECT_EQ(rest, "");
    const std::string data = read_file(dir / "SNP_data");
    const std::vector<std::string> records = child::complete_lines(data, &rest);
    ASSERT_EQ(records.size(), 20000u / 226);
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].size(), 224u) << i;
      EXPECT_EQ(std::stoi(records[i].substr(0, 6)), static_cast<int>(i + 1));
    }
    EXPECT_EQ(rest, "");
  }
}

// Names the simulator opens taken by directories: the open is refused,
// everything opened before is complete.
TEST(TarvoxFaults, NameOfADirectory) {
  struct Case {
    const char* name;
    const char* statement;
    bool setup_written;
  };
  const Case cases[] = {
      {"par_tarvox", "OPEN(UNIT=3,...", false},
      {"SNP_setup", "OPEN(UNIT=1,...", false},
      {"SNP_data", "OPEN(UNIT=2,...", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    if (std::string(c.name) != "par_tarvox") write_file(dir / "par_tarvox", par("12", "5"));
    fs::create_directory(dir / c.name);
    const child::Run run = child::run(TARVOX_PATH, dir, "");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, system_report(EISDIR, c.statement));
    if (c.setup_written) {
      std::string rest;
      EXPECT_EQ(child::complete_lines(read_file(dir / "SNP_setup"), &rest).size(), 2u + 2 + 1 + 2 + 1 + 2);
      EXPECT_EQ(rest, "");
    }
  }
}

// Files the user may not write: a protected par_tarvox is still read; a
// protected SNP_setup or SNP_data is refused at its first write and keeps
// its content. Run as an unprivileged user when the tests run as root, for
// whom permissions do not stop a write.
TEST(TarvoxFaults, FilesThatMayNotBeWritten) {
  struct Case {
    const char* name;
    int status;
    const char* statement;
  };
  const Case cases[] = {
      {"par_tarvox", 0, ""},
      {"SNP_setup", 255, "WRITE(UNIT=1,..."},
      {"SNP_data", 255, "WRITE(UNIT=2,..."},
  };
  child::Limits limits;
  if (::geteuid() == 0) {
    // Permissions do not stop root: the run is made as an unprivileged user.
    limits.user = 65534;
    if (!child::user_may_run(limits.user, TARVOX_PATH)) GTEST_SKIP() << "the build folder is closed to other users";
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    ::chmod(dir.c_str(), 0777);
    write_file(dir / "par_tarvox", par("12", "5"));
    const fs::path protected_file = dir / c.name;
    if (std::string(c.name) != "par_tarvox") write_file(protected_file, "kept\r\n");
    ::chmod(protected_file.c_str(), 0444);
    const child::Run run = child::run(TARVOX_PATH, dir, "", limits);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(run.err, "");
      EXPECT_EQ(read_file(dir / "SNP_data").size(), 10u * (24 + 24 + 2));
    } else {
      EXPECT_EQ(run.err, system_report(EACCES, c.statement));
      EXPECT_EQ(read_file(protected_file), "kept\r\n");
    }
  }
}

// Parameter files that differ only in line ends, tabs (under several tab
// widths) and a final line without its line feed after the twentieth line:
// all read the same values and write the same files for the same clock.
TEST(TarvoxLimits, LineEndsAndTabsReadTheSameValues) {
  const std::string plain = par("12", "5");
  std::string crlf;
  for (char ch : plain) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
  std::string tabbed = test::par_text({"\t12", "2\t", "\t\t0", "5\tcomment", "0.05\t0.5", "4", "1", "0.5", "10", "3"});
  const std::string extra_line_unterminated = plain + "a comment after the twentieth line";
  struct Case {
    const char* what;
    std::string text;
    const char* tab_size;
  };
  const Case cases[] = {
      {"CR LF", crlf, nullptr},
      {"tabs, width 8", tabbed, nullptr},
      {"tabs, width 0", tabbed, "0"},
      {"tabs, width 1", tabbed, "1"},
      {"tabs, width 3", tabbed, "3"},
      {"twenty-first line without line feed", extra_line_unterminated, nullptr},
  };
  const test::ScratchDir reference_dir_scratch("tarvox_test");
  const fs::path reference_dir = reference_dir_scratch.path();
  write_file(reference_dir / "par_tarvox", plain);
  const test::RunResult reference = test::run_in_process(reference_dir, 321);
  ASSERT_EQ(reference.status, 0) << reference.errors;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    write_file(dir / "par_tarvox", c.text);
    if (c.tab_size != nullptr) ::setenv("TABSIZE", c.tab_size, 1);
    const test::RunResult run = test::run_in_process(dir, 321);
    ::unsetenv("TABSIZE");
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.output, reference.output);
    EXPECT_EQ(read_file(dir / "SNP_setup"), read_file(reference_dir / "SNP_setup"));
    EXPECT_EQ(read_file(dir / "SNP_data"), read_file(reference_dir / "SNP_data"));
  }
}

// The number of records at its limit: 2 x nrec = 999 998 records fit the six
// columns of their number; one more pair would not.
TEST(TarvoxLimits, LargestNumberOfRecords) {
  const test::ScratchDir dir_scratch("tarvox_test");
  const fs::path dir = dir_scratch.path();
  write_file(dir / "par_tarvox", test::par_text({"0", "0", "0", "500000", "0.05 0.5", "4", "1", "0.5", "10", "3"}));
  write_file(dir / "SNP_setup", "old setup\r\n");
  const child::Run rejected = child::run(TARVOX_PATH, dir, "");
  EXPECT_EQ(rejected.status, 255);
  EXPECT_EQ(rejected.err,
            "? Input Error:\r\n? Parameter nrec = 500000 cannot be simulated: 2 x nrec records are numbered in 6 "
            "columns, so nrec must be at most 499999\r\n");
  EXPECT_EQ(read_file(dir / "SNP_setup"), "old setup\r\n");

  write_file(dir / "par_tarvox", test::par_text({"0", "0", "0", "499999", "0.05 0.5", "4", "1", "0.5", "10", "3"}));
  const child::Run accepted = child::run(TARVOX_PATH, dir, "");
  EXPECT_EQ(accepted.status, 0) << accepted.err;
  const std::string data = read_file(dir / "SNP_data");
  EXPECT_EQ(data.size(), 999998u * 25);
  EXPECT_EQ(data.substr(data.size() - 25, 7), "999998 ");
}

}  // namespace
}  // namespace gp
