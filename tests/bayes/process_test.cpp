// The snpbayes binary as a process: Ctrl-C in the middle of a run ends it by
// that signal and leaves no file, and a file system that will not let the
// files grow leaves the earlier ones.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support.hpp"

namespace gp::bayes::testing {
namespace {

const Simulation kStudy{.n_snp = 200, .n_qtl = 10, .nrec = 300, .snp_range = 10, .h2 = 0.5};

struct Ended {
  int status;  // exit status, or -1 - signal number when killed
  std::string err;
};

// snpbayes with `args` in `folder`, its files limited to `file_size` bytes
// (SIGXFSZ ignored, so a write beyond fails); with `interrupt`, SIGINT is
// sent once it has printed its first line.
Ended run_binary(const Scratch& folder, std::vector<std::string> args, rlim_t file_size, bool interrupt) {
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return {-1000, "no pipe"};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{file_size, file_size};
    if (::chdir(folder.path().c_str()) != 0 || ::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(120);
    std::vector<char*> argv = {const_cast<char*>(SNPBAYES_PATH)};
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(SNPBAYES_PATH, argv.data());
    ::_exit(121);
  }
  ::close(out[1]);
  ::close(err[1]);
  char c = 0;
  while (::read(out[0], &c, 1) == 1) {
    if (c == '\n' && interrupt) {
      ::usleep(100000);
      ::kill(pid, SIGINT);
      interrupt = false;
    }
  }
  std::string message;
  while (::read(err[0], &c, 1) == 1) message += c;
  ::close(out[0]);
  ::close(err[0]);
  int raw = 0;
  ::waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1 - WTERMSIG(raw), message};
}

TEST(SnpbayesProcess, CtrlCEndsTheRunBySigintAndLeavesNoFile) {
  Scratch folder;
  simulate(folder, kStudy, 40);
  const Ended ended = run_binary(folder, {"--method", "bayescpi", "--iterations", "1000000000"}, RLIM_INFINITY, true);
  EXPECT_EQ(ended.status, -1 - SIGINT) << ended.err;
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"SNP_data", "SNP_setup", "par_tarvox"}));
}

TEST(SnpbayesProcess, AFileThatCannotGrowLeavesTheEarlierFiles) {
  Scratch folder;
  simulate(folder, kStudy, 41);
  folder.write("brr.gbv", "earlier\n");
  // SNP_data is read whole before any file is written; PREFIX.effects fits
  // in the limit, PREFIX.gbv does not.
  const Ended ended = run_binary(folder, {"--method", "brr", "--iterations", "20", "--quiet"}, 14000, false);
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.err, "snpbayes: brr.gbv: cannot write (File too large)\n");
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"SNP_data", "SNP_setup", "brr.gbv", "par_tarvox"}));
  EXPECT_EQ(folder.read("brr.gbv"), "earlier\n");
}

}  // namespace
}  // namespace gp::bayes::testing
