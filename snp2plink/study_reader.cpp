#include "snp2plink/study_reader.hpp"

#include <algorithm>
#include <exception>

#include "common/refusal.hpp"
#include "common/snp_files.hpp"
#include "snp2plink/pack_kernel.hpp"

namespace gp::plink {
namespace {

// Records packed before their bytes go to the SNPs' rows: 256 records are
// 64 bytes of every row, so a row is written a cache line's worth at a time.
constexpr int64_t kBlockRecords = 4 * kBlockGroups;

// One record's y and s_bv, and its codes into `codes` at `shift`.
void read_record(RecordReader& records, int32_t n_snp, uint8_t* codes, unsigned shift, float& y, float& s_bv) {
  const DataRecord record = records.next_strict(n_snp);
  y = record.y;
  s_bv = record.s_bv;
  if (!pack_genotypes(record.digits().data(), static_cast<size_t>(n_snp), codes, shift)) {
    require_allele_digits(record);
  }
}

// Uninitialised memory for `bytes` bytes, in whole huge pages where the
// system gives them: each block of records is written across the whole
// packed matrix, and with 4 KiB pages the page faults and the misses of the
// address translation cost more than the packing (a wide study's block, 3 MB
// at 50 000 SNPs, was 800 page faults on its own). Throws bad_alloc.
LargePageArray<uint8_t> huge_page_memory(size_t bytes) {
  if (bytes == 0) return {};
  return LargePageArray<uint8_t>(static_cast<uint8_t*>(large_page_memory(bytes)));
}

}  // namespace

StudySetup read_study_setup(const std::string& path, const std::string& name) {
  SnpFile file(path, name);
  SetupReader reader(file);
  const SetupCounts counts = reader.counts();
  if (int64_t{counts.nrec} > kMaxNrec) {
    throw Refusal{.problem = Problem::TooManyRecords, .place = line_place(kSetupFile, kCountLine), .value = counts.nrec};
  }
  reader.skip_variances();
  reader.skip_frequencies(counts.n_snp);
  StudySetup setup{.n_snp = counts.n_snp, .nrec = counts.nrec, .snp_val = {}};
  try {
    setup.snp_val.resize(static_cast<size_t>(setup.n_snp));
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = setup.n_snp, .value = 2 * int64_t{setup.nrec}};
  }
  reader.effects(setup.snp_val);
  return setup;
}

StudyGenotypes read_study_data(const std::string& path, const std::string& name, const StudySetup& setup) {
  const size_t n_snp = static_cast<size_t>(setup.n_snp);
  StudyGenotypes data;
  data.records = 2 * int64_t{setup.nrec};
  data.bytes_per_snp = static_cast<size_t>(data.records + 3) / 4;
  LargePageArray<uint8_t> block;
  try {
    // Left uninitialised: every byte is stored below, and pages of a study
    // that turns out short are never touched.
    data.packed = huge_page_memory(n_snp * data.bytes_per_snp);
    data.y.resize(static_cast<size_t>(data.records));
    data.s_bv.resize(static_cast<size_t>(data.records));
    block = huge_page_memory(kBlockRecords / 4 * n_snp);
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = setup.n_snp, .value = data.records};
  }

  SnpFile file(path, name);
  RecordReader records(file, data.records);
  for (int64_t first = 0; first < data.records; first += kBlockRecords) {
    const int64_t count = std::min(kBlockRecords, data.records - first);
    for (int64_t r = 0; r < count; ++r) {
      const size_t i = static_cast<size_t>(first + r);
      read_record(records, setup.n_snp, block.get() + static_cast<size_t>(r / 4) * n_snp,
                  static_cast<unsigned>(2 * (r % 4)), data.y[i], data.s_bv[i]);
    }
    // Byte k of the block's part of every row holds records 4k .. 4k + 3.
    const PackedBlock packed{.bytes = block.get(), .n_snp = n_snp, .groups = static_cast<size_t>(count + 3) / 4};
    block_to_rows(packed, data.packed.get() + static_cast<size_t>(first / 4), data.bytes_per_snp);
  }
  return data;
}

}  // namespace gp::plink
