// snpbayes: BayesCpi, BayesR and Bayesian ridge regression on a study
// folder's SNP files (snpbayes --help).
#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

#include "bayes/snpbayes.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const int status = gp::bayes::run_snpbayes(args, {}, std::cout, std::cerr);
  if (status > gp::bayes::kSignalled) {
    // Ended by the signal itself, so the caller sees how the run ended.
    std::cout.flush();
    std::signal(status - gp::bayes::kSignalled, SIG_DFL);
    std::raise(status - gp::bayes::kSignalled);
  }
  return status;
}
