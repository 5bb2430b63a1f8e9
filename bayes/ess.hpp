// The effective sample size of a chain: how many independent draws would
// estimate its mean as precisely as the chain does.
#pragma once

#include <span>

namespace gp::bayes {

// n / tau, with the integrated autocorrelation time tau = -1 + 2 sum_i G_i
// estimated by Geyer's (1992) initial monotone sequence: G_i = r(2i) +
// r(2i+1) from the autocorrelations r(k) (autocovariances with divisor n),
// summed while positive and each held at most at the one before. NaN for
// fewer than 4 values or a constant chain.
double effective_sample_size(std::span<const double> chain);

}  // namespace gp::bayes
