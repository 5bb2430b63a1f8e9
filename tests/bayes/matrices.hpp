// Design matrices for the sampler's tests: random codes, packed into a
// DesignMatrix and kept unpacked for the plain reference loops; and every
// panel kernel the processor runs.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "bayes/panel_kernels.hpp"
#include "estimator/design_matrix.hpp"
#include "support/design_reference.hpp"
#include "support/isa_cap.hpp"

namespace gp::bayes::testing {

// Codes of a rows x cols matrix, row-major; column 0 all +1 when `mean`.
struct Codes {
  int64_t rows = 0, cols = 0;
  std::vector<int8_t> code;
  int8_t at(int64_t i, int64_t j) const { return code[static_cast<size_t>(i * cols + j)]; }
};

// Random codes: each -1, 0 or +1 with the given probabilities of a non-zero
// code; a SNP with frequency f has P(+1) = f^2, P(-1) = (1 - f)^2.
inline Codes random_codes(std::mt19937& rng, int64_t rows, int64_t cols, bool mean) {
  Codes x{rows, cols, std::vector<int8_t>(static_cast<size_t>(rows * cols))};
  std::uniform_real_distribution<double> frequency(0.05, 0.95), u(0.0, 1.0);
  for (int64_t j = 0; j < cols; ++j) {
    const double f = frequency(rng);
    for (int64_t i = 0; i < rows; ++i) {
      const double draw = u(rng);
      x.code[static_cast<size_t>(i * cols + j)] = static_cast<int8_t>(draw < f * f ? 1 : draw < f * f + (1 - f) * (1 - f) ? -1 : 0);
      if (mean && j == 0) x.code[static_cast<size_t>(i * cols)] = 1;
    }
  }
  return x;
}

inline DesignMatrix packed(const Codes& codes) {
  DesignMatrix x = test::zero_matrix(codes.rows, codes.cols);
  for (int64_t i = 0; i < codes.rows; ++i) x.store_row(i, codes.code.data() + i * codes.cols);
  return x;
}

inline std::vector<const PanelKernel*> every_kernel() {
  std::vector<const PanelKernel*> all;
  for (Isa isa : test::processor_isas()) {
    const test::IsaCap cap(isa);
    if (all.empty() || all.back() != &panel_kernel()) all.push_back(&panel_kernel());
  }
  return all;
}

}  // namespace gp::bayes::testing
