// The estimator state: everything one run of kolber owns, from the prompt's
// answer to the solutions. The main procedure holds one EstimatorState; the
// loading, normal-equation, solver and results stages work on it directly.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "estimator/design_matrix.hpp"

namespace gp {

// Processor-time clock: user-mode seconds of this process. Replaceable so a
// run inside a test prints fixed times.
using CpuClock = float (*)();

struct EstimatorState {
  float var_ratio = 0.0f;
  float start_time = 0.0f;
  int32_t n_snp = 0;
  int32_t n_qtl = 0;  // read, never used
  int32_t nrec = 0;
  int32_t nprog = 0;  // read, never used
  int32_t neq = 0;    // n_snp + 1: the mean and one effect per SNP

  std::vector<float> y;     // nrec phenotypes of the training records
  std::vector<float> s_bv;  // nrec simulated breeding values of the training records
  DesignMatrix x;           // nrec x neq
  std::vector<float> xpy;   // X'y
  std::vector<float> diag;  // diagonal of X'X
  std::vector<float> sol;   // sol[0] the mean, sol[j] the effect of SNP j
  std::vector<int32_t> geno;  // 2 x n_snp allele codes of the record read last
  std::vector<float> snp_val;   // simulated effects from SNP_setup
  std::vector<float> snp_freq;  // frequencies from SNP_setup, never used
};

}  // namespace gp
