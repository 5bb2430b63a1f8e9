// snpbayes' two panel passes over every panel of a design matrix, at 10 000
// records x 10 000 SNPs and 100 000 x 10 000: through the kernel the
// processor picks and through each kernel, beside one product of kolber's
// solver on the same matrix (two plain passes over it), the anchor.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "bayes/panel_kernels.hpp"
#include "common/isa.hpp"
#include "design_matrices.hpp"
#include "estimator/lhs_product.hpp"

namespace gp::bayes {
namespace {

const DesignMatrix& matrix(int64_t records) {
  if (records == 10000) {
    static const DesignMatrix l = bench::design_matrix(10000, 10001);
    return l;
  }
  static const DesignMatrix xl = bench::design_matrix(100000, 10001);
  return xl;
}

// The same matrices as the sampler reads them.
const PanelMatrix& panel_matrix(int64_t records) {
  if (records == 10000) {
    static const PanelMatrix l(bench::design_matrix(10000, 10001));
    return l;
  }
  static const PanelMatrix xl(bench::design_matrix(100000, 10001));
  return xl;
}

const PanelKernel* kernel_named(int isa) {
  const PanelKernel* kernels[] = {&kPortablePanelKernel, &kAvx2PanelKernel, &kAvx512PanelKernel};
  if (isa > static_cast<int>(processor_isa())) return nullptr;
  return kernels[isa];
}

// The residuals the passes read: a fixed pattern over the records, zero in
// the last group's padding.
std::vector<double> residuals(const PanelMatrix& x) {
  std::vector<double> e(static_cast<size_t>(x.row_groups() * 8), 0.0);
  for (int64_t i = 0; i < x.rows(); ++i) e[static_cast<size_t>(i)] = 0.01 * static_cast<double>(i % 97) - 0.5;
  return e;
}

// A panel's changes of effect, `changed` of its eight columns non-zero.
std::array<double, 8> changes(int64_t changed) {
  std::array<double, 8> d = {1e-9, -2e-9, 3e-9, 2e-9, 1e-9, -1e-9, 2e-9, -3e-9};
  for (int64_t c = changed; c < 8; ++c) d[static_cast<size_t>((c + 3) % 8)] = 0.0;
  return d;
}

// Arguments: records, then the kernel (0 portable, 1 avx2, 2 avx512).
void BM_PanelCross(benchmark::State& state) {
  const PanelMatrix& x = panel_matrix(state.range(0));
  const PanelKernel* kernel = kernel_named(static_cast<int>(state.range(1)));
  if (kernel == nullptr) return state.SkipWithError("not on this processor");
  const std::vector<double> e = residuals(x);
  double q[8];
  for (auto _ : state) {
    for (int64_t p = 0; p < x.col_groups(); ++p) kernel->cross(x, p, e.data(), q);
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(state.iterations() * x.rows() * x.cols());
}

// Arguments: records, the kernel, then how many of the panel's columns
// change (8: every one, as brr's sweeps have it; 1: one, as most panels of
// bayescpi's and bayesr's sweeps that change at all).
void BM_PanelUpdate(benchmark::State& state) {
  const PanelMatrix& x = panel_matrix(state.range(0));
  const PanelKernel* kernel = kernel_named(static_cast<int>(state.range(1)));
  if (kernel == nullptr) return state.SkipWithError("not on this processor");
  std::vector<double> e(static_cast<size_t>(x.row_groups() * 8), 0.0);
  const std::array<double, 8> d = changes(state.range(2));
  for (auto _ : state) {
    for (int64_t p = 0; p < x.col_groups(); ++p) kernel->update(x, p, d.data(), e.data());
    benchmark::DoNotOptimize(e.data());
  }
  state.SetItemsProcessed(state.iterations() * x.rows() * x.cols());
}

// The two passes as a sweep runs them: each panel's cross, then its update
// (the panel's tiles are then in the cache). Arguments as BM_PanelUpdate's.
void BM_PanelSweep(benchmark::State& state) {
  const PanelMatrix& x = panel_matrix(state.range(0));
  const PanelKernel* kernel = kernel_named(static_cast<int>(state.range(1)));
  if (kernel == nullptr) return state.SkipWithError("not on this processor");
  std::vector<double> e = residuals(x);
  const std::array<double, 8> d = changes(state.range(2));
  double q[8];
  for (auto _ : state) {
    for (int64_t p = 0; p < x.col_groups(); ++p) {
      kernel->cross(x, p, e.data(), q);
      kernel->update(x, p, d.data(), e.data());
    }
    benchmark::DoNotOptimize(q);
  }
  state.SetItemsProcessed(state.iterations() * x.rows() * x.cols());
}

void BM_KolberProductAnchor(benchmark::State& state) {
  const DesignMatrix& x = matrix(state.range(0));
  std::vector<double> v(static_cast<size_t>(x.cols), 0.001), row_sums(static_cast<size_t>(row_sums_size(x))), w(v.size());
  for (auto _ : state) {
    lhs_product(x, 2.5f, v, row_sums, w);
    benchmark::DoNotOptimize(w.data());
  }
  state.SetItemsProcessed(state.iterations() * x.rows * x.cols);
}

void kernels(benchmark::internal::Benchmark* b) {
  for (int64_t records : {10000, 100000}) {
    for (int64_t isa : {1, 2}) b->Args({records, isa});
  }
  b->Args({10000, 0});
  b->Unit(benchmark::kMillisecond);
}

void update_kernels(benchmark::internal::Benchmark* b) {
  for (int64_t changed : {8, 1}) {
    for (int64_t records : {10000, 100000}) {
      for (int64_t isa : {1, 2}) b->Args({records, isa, changed});
    }
    b->Args({10000, 0, changed});
  }
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_PanelCross)->Apply(kernels);
BENCHMARK(BM_PanelUpdate)->Apply(update_kernels);
BENCHMARK(BM_PanelSweep)->Apply(update_kernels);
BENCHMARK(BM_KolberProductAnchor)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gp::bayes
