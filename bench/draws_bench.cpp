// The random-number kernels of one SNP_data record at 10 000 SNPs: 20 000
// base draws one after another, and the allele digits drawn from them: the
// plain comparison with the frequencies, and the thresholds one draw and
// eight lanes at a time.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "common/isa.hpp"
#include "common/rng.hpp"
#include "simulator/allele_draws.hpp"
#include "support/model_reference.hpp"

namespace gp {
namespace {

constexpr size_t kSnps = 10000;

std::vector<float> frequencies() {
  Generator g;
  std::vector<float> freq(kSnps);
  for (float& f : freq) f = uniform(g, 0.05f, 0.5f);
  return freq;
}

void BM_BaseDrawBlock(benchmark::State& state) {
  Generator g;
  std::vector<float> block(2 * kSnps);
  for (auto _ : state) {
    for (float& u : block) u = base_draw(g);
    benchmark::DoNotOptimize(block.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_BaseDrawBlock);

void BM_AlleleDigitsPlain(benchmark::State& state) {
  const std::vector<float> freq = frequencies();
  std::string digits(2 * kSnps, ' ');
  Generator g;
  for (auto _ : state) {
    test::draw_allele_digits_plain(g, freq, digits.data());
    benchmark::DoNotOptimize(digits.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(digits.size()));
}
BENCHMARK(BM_AlleleDigitsPlain);

std::vector<int32_t> thresholds() {
  std::vector<int32_t> t(2 * kSnps);
  allele_thresholds(frequencies(), t);
  return t;
}

void BM_AlleleDigitsPortable(benchmark::State& state) {
  const std::vector<int32_t> t = thresholds();
  std::string digits(2 * kSnps, ' ');
  Generator g;
  for (auto _ : state) {
    draw_allele_digits_portable(g, t, digits.data());
    benchmark::DoNotOptimize(digits.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(digits.size()));
}
BENCHMARK(BM_AlleleDigitsPortable);

void BM_AlleleDigitsLanes(benchmark::State& state) {
  if (processor_isa() < Isa::Avx2) {
    state.SkipWithError("no AVX2 on this processor");
    return;
  }
  const std::vector<int32_t> t = thresholds();
  std::string digits(2 * kSnps, ' ');
  Generator g;
  for (auto _ : state) {
    draw_allele_digits_avx2(g, t, digits.data());
    benchmark::DoNotOptimize(digits.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(digits.size()));
}
BENCHMARK(BM_AlleleDigitsLanes);

}  // namespace
}  // namespace gp
