// One product (X'X + var_ratio K) v of the estimator's solver, at 10 000
// records x 10 000 equations and at 50 000 records x 2 000 equations: the
// dispatching entry point, and the portable kernel beside it.
#include <benchmark/benchmark.h>

#include <vector>

#include "estimator/lhs_product.hpp"

namespace gp {
namespace {

struct Product {
  DesignMatrix x;
  std::vector<double> v, row_sums, w;
};

// Column 0 is the mean (all ones); the others hold codes -1, 0, +1.
Product product_of(int64_t records, int64_t equations) {
  Product p;
  p.x.rows = records;
  p.x.cols = equations;
  p.x.codes.resize(static_cast<size_t>(records * equations));
  uint32_t state = 12345u;
  for (int64_t i = 0; i < records * equations; ++i) {
    state = state * 69069u + 1u;
    p.x.codes[static_cast<size_t>(i)] = i < records ? int8_t{1} : static_cast<int8_t>(static_cast<int>(state >> 30) % 3 - 1);
  }
  p.v.resize(static_cast<size_t>(equations));
  for (int64_t j = 0; j < equations; ++j) p.v[static_cast<size_t>(j)] = 1.0 / static_cast<double>(j + 1);
  p.row_sums.resize(static_cast<size_t>(records));
  p.w.resize(static_cast<size_t>(equations));
  return p;
}

void BM_LhsProduct(benchmark::State& state) {
  Product p = product_of(state.range(0), state.range(1));
  for (auto _ : state) {
    lhs_product(p.x, 2.5f, p.v, p.row_sums, p.w);
    benchmark::DoNotOptimize(p.w.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(p.x.codes.size()));
}
BENCHMARK(BM_LhsProduct)->Args({10000, 10000})->Args({50000, 2000})->Unit(benchmark::kMillisecond);

void BM_LhsProductPortable(benchmark::State& state) {
  Product p = product_of(state.range(0), state.range(1));
  for (auto _ : state) {
    lhs_product_portable(p.x, 2.5f, p.v, p.row_sums, p.w);
    benchmark::DoNotOptimize(p.w.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(p.x.codes.size()));
}
BENCHMARK(BM_LhsProductPortable)->Args({10000, 10000})->Args({50000, 2000})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace gp
