// One SNP_data record of 10 000 SNPs (20 024 characters) written and read
// back through the text-record layer: the simulator's batched lines, one
// layout statement per record (the plain writer of the tests), the shared
// record reader, and the estimator's loading of a record.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/design_matrix.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/record_reader.hpp"
#include "support/design_reference.hpp"
#include "support/record_reference.hpp"
#include "support/scratch.hpp"

namespace gp {
namespace {

constexpr int32_t kSnps = 10000;

std::vector<int32_t> allele_codes() {
  std::vector<int32_t> geno(2 * kSnps);
  for (size_t i = 0; i < geno.size(); ++i) geno[i] = (i * 7 + i / 3) % 3 == 0 ? 2 : 1;
  return geno;
}

// Output goes to /dev/null so only the layer's own work is timed.
void BM_WriteDataLine(benchmark::State& state) {
  Units io;
  open_unit(io, kDataUnit, "/dev/null");
  DataLines lines = make_data_lines(io, kSnps);
  const std::vector<int32_t> geno = allele_codes();
  int32_t rec_id = 0;
  for (auto _ : state) {
    char* digits = allele_digits(lines);
    for (size_t i = 0; i < geno.size(); ++i) digits[i] = static_cast<char>('0' + geno[i]);
    write_data_line(io, lines, rec_id++ % 999999 + 1, 12.34f, -3.5f);
  }
  flush_data_lines(io, lines);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record_chars(kSnps) + 2));
}
BENCHMARK(BM_WriteDataLine);

void BM_WriteDataRecordStatement(benchmark::State& state) {
  Units io;
  open_unit(io, kDataUnit, "/dev/null");
  const Layout layout = data_layout(kSnps);
  const std::vector<int32_t> geno = allele_codes();
  int32_t rec_id = 0;
  for (auto _ : state) test::write_data_record(io, layout, rec_id++ % 999999 + 1, 12.34f, -3.5f, geno);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record_chars(kSnps) + 2));
}
BENCHMARK(BM_WriteDataRecordStatement);

constexpr int32_t kRecords = 64;

// A SNP_data of kRecords records, read over and over through the shared
// record reader, rewinding at its end.
class RecordLoop {
 public:
  RecordLoop() {
    const Layout layout = data_layout(kSnps);
    const std::vector<int32_t> geno = allele_codes();
    Units writer(nullptr, dir_.path());
    open_unit(writer, kDataUnit, kDataFile);
    for (int32_t r = 1; r <= kRecords; ++r) test::write_data_record(writer, layout, r, 12.34f, -3.5f, geno);
    run_program(writer, [&] { end_program(writer); });
    open_unit(io_, kDataUnit, kDataFile);
  }

  Units& io() { return io_; }
  // The reader, at the first record again after the last.
  RecordReader& reader() {
    if (read_++ % kRecords == 0) {
      rewind_unit(io_, kDataUnit);
      reader_.emplace(lines_, kRecords);
    }
    return *reader_;
  }

 private:
  test::ScratchDir dir_{"record_bench"};
  Units io_{nullptr, dir_.path()};
  UnitLines lines_{io_, kDataUnit};
  std::optional<RecordReader> reader_;
  int64_t read_ = 0;
};

void BM_ReadDataRecord(benchmark::State& state) {
  RecordLoop loop;
  for (auto _ : state) {
    const DataRecord record = loop.reader().next();
    benchmark::DoNotOptimize(record.digits().data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record_chars(kSnps) + 2));
}
BENCHMARK(BM_ReadDataRecord);

// The estimator's loading of one record: its codes read, packed into a
// staged record group and added to X'y.
void BM_LoadCodedRecord(benchmark::State& state) {
  RecordLoop loop;
  std::vector<int32_t> geno(2 * kSnps);
  std::vector<int8_t> row(kSnps + 1, 1);
  std::vector<float> xpy(kSnps + 1);
  DesignMatrix staged = test::zero_matrix(32, kSnps + 1);
  float y = 0.0f, s_bv = 0.0f;
  int32_t read = 0;
  for (auto _ : state) {
    read_coded_record(loop.io(), loop.reader(), y, s_bv, std::span<int8_t>(row).subspan(1), geno);
    staged.store_row(read++ % 32, row.data());
    add_row_to_xpy(xpy, y, row);
    benchmark::DoNotOptimize(staged.planes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(record_chars(kSnps) + 2));
}
BENCHMARK(BM_LoadCodedRecord);

}  // namespace
}  // namespace gp
