// Running a test on every kernel this processor has: each instruction set it
// runs, narrowest first, with the kernels of the process capped at it.
#pragma once

#include <vector>

#include "common/isa.hpp"

namespace gp::test {

inline std::vector<Isa> processor_isas() {
  std::vector<Isa> isas;
  for (Isa isa : {Isa::Portable, Isa::Avx2, Isa::Avx512}) {
    if (isa <= processor_isa()) isas.push_back(isa);
  }
  return isas;
}

// Caps the kernels at `isa` while it lives.
class IsaCap {
 public:
  explicit IsaCap(Isa isa) : before_(isa_cap()) { cap_isa(isa); }
  ~IsaCap() { cap_isa(before_); }
  IsaCap(const IsaCap&) = delete;
  IsaCap& operator=(const IsaCap&) = delete;

 private:
  Isa before_;
};

}  // namespace gp::test
