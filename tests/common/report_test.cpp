// The end of a run: the orderly end, the error reports byte for byte, and
// failures that the operating system reports.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <new>
#include <string>

#include <gtest/gtest.h>

#include "common/text_io.hpp"
#include "common/units.hpp"
#include "text_io_fixtures.hpp"

namespace gp {
namespace {

using text_test::report_text;
using text_test::run_captured;
using text_test::RunResult;
using text_test::ScratchDir;

TEST(Report, FailureReports) {
  struct Case { Failure failure; Statement statement; int unit; std::string expected; };
  const std::string runtime = "? KALDREN Runtime Error:\r\n";
  const Case cases[] = {
      {Failure::PastEndOfFile, Statement::Read, 2,
       runtime + "? Attempt to read past end of file\r\n? READ(UNIT=2,...\n"},
      {Failure::IllegalCharacter, Statement::Read, kConsole,
       runtime + "? Illegal character in numeric input\r\n? READ(UNIT=*,...\n"},
      {Failure::AllocationFails, Statement::None, kConsole, runtime + "? Runtime memory allocation fails\r\n"},
      {Failure::BufferAllocation, Statement::Write, 3, runtime + "? Buffer allocation failed\r\n? WRITE(UNIT=3,...\n"},
      {Failure::IntegerOverflow, Statement::Open, 1,
       runtime + "? Integer overflow in numeric input\r\n? OPEN(UNIT=1,...\n"},
      {Failure::PastEndOfFile, Statement::Rewind, 12,
       runtime + "? Attempt to read past end of file\r\n? REWIND(UNIT=12,...\n"},
  };
  for (const Case& c : cases) {
    const RunResult run = run_captured("", [&](Units& io) { fatal_error(io, c.failure, c.statement, c.unit); });
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.errors, c.expected);
  }
}

TEST(Report, HeldOutputReachesItsFileBeforeTheReport) {
  const Layout first = parse_layout("'first'");
  const Layout held = parse_layout("'held'");
  const std::string past_end = report_text("KALDREN Runtime Error:", "Attempt to read past end of file", "READ(UNIT=2,...");
  struct Case {
    const char* what;
    std::function<void(Units&)> hold_then_fail;
    std::string file, errors;
  };
  const Case cases[] = {
      {"held, then a failure",
       [&](Units& io) {
         hold_output(io, [&] { write_record(io, 3, held); });
         read_free(io, 2);
       },
       "first\r\nheld\r\n", past_end},
      {"held, then released",
       [&](Units& io) {
         hold_output(io, [&] { write_record(io, 3, held); });
         hold_output(io, nullptr);
         read_free(io, 2);
       },
       "first\r\n", past_end},
      {"the held output fails itself: reported once, not held again",
       [&](Units& io) {
         hold_output(io, [&] {
           write_record(io, 3, held);
           input_error(io, "while writing");
         });
         read_free(io, 2);
       },
       "first\r\nheld\r\n", "? Input Error:\r\n? while writing\r\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    dir.write("empty", "");
    const RunResult run = run_captured("", [&](Units& io) {
      open_unit(io, 2, "empty");
      open_unit(io, 3, "out");
      write_record(io, 3, first);
      c.hold_then_fail(io);
    }, dir.path());
    EXPECT_EQ(run.status, kExitFailure) << c.what;
    EXPECT_EQ(dir.read("out"), c.file) << c.what;
    EXPECT_EQ(run.errors, c.errors) << c.what;
  }
}

TEST(Report, InputAndSystemErrors) {
  RunResult run = run_captured("", [](Units& io) { input_error(io, "n_snp = -1: a count of 0 or more"); });
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.errors, "? Input Error:\r\n? n_snp = -1: a count of 0 or more\r\n");

  run = run_captured("", [](Units& io) { input_error(io, "bad value", Statement::Read, 3); });
  EXPECT_EQ(run.errors, "? Input Error:\r\n? bad value\r\n? READ(UNIT=3,...\n");

  run = run_captured("", [](Units& io) { system_error(io, ENOSPC, Statement::Write, 2); });
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.errors, report_text("System Error:", std::strerror(ENOSPC), "WRITE(UNIT=2,..."));
}

TEST(Report, EndOfProgram) {
  ScratchDir dir;
  RunResult run = run_captured("", [](Units& io) {
    put_record(io, kConsole, "shown");
    end_program(io);
  });
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.output, "shown\r\n");
  EXPECT_EQ(run.errors, "");

  // A main procedure that returns ends the same way.
  run = text_test::run_captured("", [](Units& io) {
    open_unit(io, 1, "f");
    put_record(io, 1, "kept");
  }, dir.path());
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(dir.read("f"), "kept\r\n");
}

// Every record completed before the failure is in its file and on the
// console before the report.
TEST(Report, UnitsAreFlushedFirst) {
  ScratchDir dir;
  dir.write("old", "old content\n");
  const RunResult run = run_captured("", [](Units& io) {
    open_unit(io, 1, "f");
    open_unit(io, 2, "old");
    put_record(io, 1, "record 1");
    put_record(io, kConsole, "echo");
    fatal_error(io, Failure::IllegalCharacter, Statement::Read, 3);
  }, dir.path());
  EXPECT_EQ(run.output, "echo\r\n");
  EXPECT_EQ(dir.read("f"), "record 1\r\n");
  EXPECT_EQ(dir.read("old"), "old content\n");
}

TEST(Report, BufferAllocation) {
  const RunResult run = run_captured("", [](Units&) { throw std::bad_alloc(); });
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.errors, "? KALDREN Runtime Error:\r\n? Buffer allocation failed\r\n");
}

TEST(SystemErrors, NameOfADirectory) {
  ScratchDir dir;
  ::mkdir(dir.at("SNP_results").c_str(), 0777);
  const RunResult run = run_captured("", [](Units& io) { open_unit(io, 3, "SNP_results"); }, dir.path());
  EXPECT_EQ(run.status, kExitFailure);
  EXPECT_EQ(run.errors, report_text("System Error:", std::strerror(EISDIR), "OPEN(UNIT=3,..."));
}

// A device that is always full: the failure shows on the write that fills
// the block, or on the flush at the end of the program.
TEST(SystemErrors, DiskFull) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  struct Case { size_t record; std::string line; };
  const Case cases[] = {{10, ""}, {9000, "WRITE(UNIT=2,..."}, {30000, "WRITE(UNIT=2,..."}};
  for (const Case& c : cases) {
    const RunResult run = run_captured("", [&](Units& io) {
      open_unit(io, 2, "full");
      put_record(io, 2, std::string(c.record, '1'));
      put_record(io, kConsole, "done");
    }, "/dev");
    EXPECT_EQ(run.status, kExitFailure) << c.record;
    EXPECT_EQ(run.errors, report_text("System Error:", std::strerror(ENOSPC), c.line)) << c.record;
    EXPECT_EQ(run.output, c.line.empty() ? "done\r\n" : "") << c.record;
  }
}

// A failing unit does not stop the report of the failure that came first.
TEST(SystemErrors, IgnoredWhileReporting) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  const RunResult run = run_captured("", [](Units& io) {
    open_unit(io, 2, "full");
    put_record(io, 2, "pending");
    fatal_error(io, Failure::PastEndOfFile, Statement::Read, 1);
  }, "/dev");
  EXPECT_EQ(run.errors, report_text("KALDREN Runtime Error:", "Attempt to read past end of file", "READ(UNIT=1,..."));
}

// A file-size limit makes writes fail with EFBIG (the limit signal is
// ignored); run in a child so the limit stays there. The file ends after its
// last complete record, also when a longer file of an earlier run was there.
class FileTooLarge : public ::testing::TestWithParam<size_t> {};
INSTANTIATE_TEST_SUITE_P(EarlierFile, FileTooLarge, ::testing::Values(0u, 50000u));

TEST_P(FileTooLarge, KeepsOnlyCompleteRecords) {
  ScratchDir dir;
  if (GetParam() > 0) dir.write("big", std::string(GetParam(), 'x'));
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_fds[0]);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{20000, 20000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    const RunResult run = run_captured("", [](Units& io) {
      open_unit(io, 1, "big");
      for (int i = 0; i < 10; ++i) put_record(io, 1, std::string(5000, '2'));
    }, dir.path());
    const std::string message = std::to_string(run.status) + "|" + run.errors;
    (void)!::write(pipe_fds[1], message.data(), message.size());
    ::_exit(0);
  }
  ::close(pipe_fds[1]);
  std::string message;
  char buffer[512];
  ssize_t got;
  while ((got = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) message.append(buffer, static_cast<size_t>(got));
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(message, "255|" + report_text("System Error:", std::strerror(EFBIG), "WRITE(UNIT=1,..."));
  // Three whole records fit below the limit; the piece of the fourth is cut.
  const std::string record = std::string(5000, '2') + "\r\n";
  EXPECT_EQ(dir.read("big"), record + record + record);
}

}  // namespace
}  // namespace gp
