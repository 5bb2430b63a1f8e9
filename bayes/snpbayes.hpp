// snpbayes: Bayesian estimators of SNP effects (BayesCpi, BayesR, Bayesian
// ridge regression) on a study folder's training records, with the genomic
// breeding values of both sets (snpbayes --help).
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace gp::bayes {

// Exit statuses: written, or the version shown; input refused or a file not
// written; usage or --help. An interrupted run returns 128 + the signal.
inline constexpr int kWritten = 0;
inline constexpr int kRefused = 1;
inline constexpr int kUsage = 2;
inline constexpr int kSignalled = 128;

// One run with the command-line arguments after the program name. Files are
// taken and written in `directory` (empty: the current directory); `out`
// gets the progress and the statistics, `err` the refusal or the usage.
int run_snpbayes(std::span<const std::string_view> args, const std::string& directory, std::ostream& out,
                 std::ostream& err);

}  // namespace gp::bayes
