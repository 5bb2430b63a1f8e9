// The two passes of the blocked Gibbs sweep over one panel of the design
// matrix (its 8 columns), and the kernels that run them. Every kernel gives
// the same bits as the portable one for every input; each file says why.
//
//   cross:   q(c) for the panel's columns c = 0..7, the column times e:
//              S_r(c) = from +0.0, over the records i = r, r + 8, r + 16, ...
//                       in ascending order, S + e(i) where x(i,c) = +1 and
//                       S - e(i) where x(i,c) = -1 (r = 0..7);
//              q(c)   = ((S_0 + S_1) + (S_2 + S_3)) + ((S_4 + S_5) + (S_6 + S_7)).
//            Eight interleaved sums give a kernel eight independent chains
//            of additions; the order is fixed, so every kernel adds alike.
//   update:  e(i) = e(i) - s(i) for every record, with
//              s(i) = from +0.0, over c = 0..7 ascending, s + d(c) where
//                     x(i,c) = +1 and s - d(c) where x(i,c) = -1.
//
// e has 8 x row_groups() values; those past the last record have zero codes,
// so cross never reads them and update leaves them as they are. Columns past
// the last give q(c) = +0.0 and ignore d(c). A sum that starts at +0.0 never
// becomes -0.0 (in round to nearest x + y is -0.0 only when both are), so
// leaving out the zero codes is the same as adding their signed zeros.
#pragma once

#include <cstdint>
#include <string_view>

#include "bayes/panel_matrix.hpp"

namespace gp::bayes {

struct PanelKernel {
  std::string_view name;  // "portable", "avx2", "avx512"
  void (*cross)(const PanelMatrix& x, int64_t panel, const double* e, double* q);
  void (*update)(const PanelMatrix& x, int64_t panel, const double* d, double* e);
};

// The kernel for the widest instruction set usable now (common/isa.hpp).
const PanelKernel& panel_kernel();

// Each kernel, for tests and benchmarks that run them side by side; a
// kernel may run only where panel_kernel() would pick it.
extern const PanelKernel kPortablePanelKernel;
extern const PanelKernel kAvx2PanelKernel;
extern const PanelKernel kAvx512PanelKernel;

}  // namespace gp::bayes
