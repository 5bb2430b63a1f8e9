// The export's two kernels at 10 000 SNPs (L's width), each kernel this
// processor has: one record's 20 000 digits packed into a block row, and a
// block of 256 records moved to the rows of a 20 000-record study.
#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/isa.hpp"
#include "snp2plink/pack_kernel.hpp"

namespace gp::plink {
namespace {

constexpr size_t kSnps = 10000;
constexpr size_t kRowBytes = 20000 / 4;

using Pack = bool (*)(const char*, size_t, uint8_t*, unsigned);
using ToRows = void (*)(const PackedBlock&, uint8_t*, size_t);

void pack_record(benchmark::State& state, Pack pack) {
  std::string digits(2 * kSnps, '1');
  for (size_t k = 0; k < digits.size(); ++k) digits[k] = (k * 7 + k / 3) % 3 == 0 ? '2' : '1';
  std::vector<uint8_t> row(kSnps);
  unsigned shift = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pack(digits.data(), kSnps, row.data(), shift));
    benchmark::ClobberMemory();
    shift = (shift + 2) % 8;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(digits.size()));
}

// The rows are those of a whole study (50 MB) in huge pages as the export
// asks for them, so the stores go where the export's go; each pass moves the
// block to the next 64 bytes of every row.
void block_to_study_rows(benchmark::State& state, ToRows to_rows) {
  std::vector<uint8_t> block(kBlockGroups * kSnps);
  for (size_t k = 0; k < block.size(); ++k) block[k] = static_cast<uint8_t>(k * 13);
  constexpr size_t kHuge = size_t{2} << 20;
  const size_t bytes = (kSnps * kRowBytes + kHuge - 1) / kHuge * kHuge;
  std::unique_ptr<uint8_t, decltype(&std::free)> rows(static_cast<uint8_t*>(std::aligned_alloc(kHuge, bytes)), &std::free);
  madvise(rows.get(), bytes, MADV_HUGEPAGE);
  std::memset(rows.get(), 0, bytes);
  size_t first = 0;
  for (auto _ : state) {
    to_rows({.bytes = block.data(), .n_snp = kSnps, .groups = kBlockGroups}, rows.get() + first, kRowBytes);
    benchmark::ClobberMemory();
    first = first + 2 * kBlockGroups <= kRowBytes ? first + kBlockGroups : 0;
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}

BENCHMARK_CAPTURE(pack_record, portable, pack_genotypes_portable);
BENCHMARK_CAPTURE(block_to_study_rows, portable, block_to_rows_portable);

// Registered only where the processor runs them.
const bool kRegistered = [] {
  if (processor_isa() == Isa::Avx512) {
    benchmark::RegisterBenchmark("pack_record/avx512", pack_record, pack_genotypes_avx512);
    benchmark::RegisterBenchmark("block_to_study_rows/avx512", block_to_study_rows, block_to_rows_avx512);
  }
  return true;
}();

}  // namespace
}  // namespace gp::plink
