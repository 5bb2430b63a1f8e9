// One product (X'X + var_ratio K) v of the estimator's solver, at 10 000
// records x 10 000 equations, 50 000 x 2 000, 2 000 x 50 000 and 100 000 x
// 10 000: the dispatching entry point, and each kernel beside it.
#include <benchmark/benchmark.h>

#include <vector>

#include "common/isa.hpp"
#include "estimator/genomic_values.hpp"
#include "estimator/lhs_product.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

struct Product {
  DesignMatrix x;
  std::vector<double> v, row_sums, w;
};

// Column 0 is the mean (all ones); the others hold codes -1, 0, +1.
Product product_of(int64_t records, int64_t equations) {
  Product p;
  p.x = test::zero_matrix(records, equations);
  std::vector<int8_t> row(static_cast<size_t>(equations), 1);
  uint32_t state = 12345u;
  for (int64_t i = 0; i < records; ++i) {
    for (int64_t j = 1; j < equations; ++j) {
      state = state * 69069u + 1u;
      row[static_cast<size_t>(j)] = static_cast<int8_t>(static_cast<int>(state >> 30) % 3 - 1);
    }
    p.x.store_row(i, row.data());
  }
  p.v.resize(static_cast<size_t>(equations));
  for (int64_t j = 0; j < equations; ++j) p.v[static_cast<size_t>(j)] = 1.0 / static_cast<double>(j + 1);
  p.row_sums.resize(static_cast<size_t>(row_sums_size(p.x)));
  p.w.resize(static_cast<size_t>(equations));
  return p;
}

template <auto Kernel>
void BM_Kernel(benchmark::State& state) {
  if (Kernel == lhs_product_avx2 && processor_isa() < Isa::Avx2) {
    state.SkipWithError("no AVX2 on this processor");
    return;
  }
  Product p = product_of(state.range(0), state.range(1));
  for (auto _ : state) {
    Kernel(p.x, 2.5f, p.v, p.row_sums, p.w);
    benchmark::DoNotOptimize(p.w.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Args({1000, 1001})->Args({10000, 10001})->Args({50000, 2001})->Args({2000, 50001})->Args({100000, 10001});
  b->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Kernel<lhs_product>)->Name("BM_LhsProduct")->Apply(sizes);
BENCHMARK(BM_Kernel<lhs_product_avx2>)->Name("BM_LhsProductAvx2")->Apply(sizes);
BENCHMARK(BM_Kernel<lhs_product_portable>)->Name("BM_LhsProductPortable")->Args({10000, 10001})->Unit(benchmark::kMillisecond);

// The genomic values of every record of the product's matrix, in single
// precision, as the results stage computes them.
template <auto Kernel>
void BM_Values(benchmark::State& state) {
  Product p = product_of(state.range(0), state.range(1));
  std::vector<float> sol(p.v.begin(), p.v.end());
  std::vector<float> g(p.row_sums.size());
  for (auto _ : state) {
    Kernel(p.x, sol, g);
    benchmark::DoNotOptimize(g.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(1));
}

BENCHMARK(BM_Values<genomic_values>)->Name("BM_GenomicValues")->Args({10000, 10001})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Values<genomic_values_avx2>)->Name("BM_GenomicValuesAvx2")->Args({10000, 10001})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Values<genomic_values_portable>)->Name("BM_GenomicValuesPortable")->Args({10000, 10001})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gp
