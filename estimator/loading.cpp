#include "estimator/loading.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/record_reader.hpp"

namespace gp {

void report_refusal(Units& io, const Refusal& refusal, int unit) {
  if (refusal.problem == Problem::NegativeCount) {
    input_error(io,
                "SNP_setup gives " + refusal.name + " = " + std::to_string(refusal.value) +
                    "; counts must be 0 or more",
                Statement::Read, kSetupUnit);
  }
  // The input statement's own failures: the unit reports an end of file
  // itself, so what is left is a field that does not read.
  const Failure failure = refusal.parse == FieldParse::Overflow ? Failure::IntegerOverflow : Failure::IllegalCharacter;
  fatal_error(io, failure, Statement::Read, unit);
}

void read_setup(Units& io, EstimatorState& state) {
  static const Layout kReadLine = parse_layout("' Read ',I0,' records with ',I0,' SNP effects'");

  open_unit(io, kSetupUnit, kSetupFile);
  UnitLines lines(io, kSetupUnit);
  SetupReader setup(lines);
  try {
    const SetupCounts counts = setup.counts();
    state.n_snp = counts.n_snp;
    state.n_qtl = counts.n_qtl;
    state.nrec = counts.nrec;
    state.nprog = counts.nprog;
  } catch (const Refusal& refusal) {
    report_refusal(io, refusal, kSetupUnit);
  }
  write_record(io, kConsole, kReadLine, {state.nrec, state.n_snp});

  state.geno = allocate_array<int32_t>(io, 2 * int64_t{state.n_snp});
  state.snp_freq = allocate_array<float>(io, state.n_snp);
  state.snp_val = allocate_array<float>(io, state.n_snp);

  // The variances are passed over unconverted.
  try {
    setup.skip_variances();
    setup.frequencies(state.snp_freq);
    setup.effects(state.snp_val);
  } catch (const Refusal& refusal) {
    report_refusal(io, refusal, kSetupUnit);
  }
}

DesignMatrix allocate_matrix(Units& io, int64_t rows, int64_t cols) {
  DesignMatrix x;
  x.planes = allocate_array<uint64_t, DesignMatrix::Planes::allocator_type>(io, DesignMatrix::words_for(rows, cols));
  x.rows = rows;
  x.cols = cols;
  return x;
}

void allocate_equations(Units& io, EstimatorState& state) {
  state.neq = state.n_snp + 1;
  state.y = allocate_array<float>(io, state.nrec);
  state.s_bv = allocate_array<float>(io, state.nrec);
  state.diag = allocate_array<float>(io, state.neq);
  state.sol = allocate_array<float>(io, state.neq);
  state.xpy = allocate_array<float>(io, state.neq);
  state.x = allocate_matrix(io, state.nrec, state.neq);
}

void check_allele_codes(Units& io, int64_t record_number, std::span<const int32_t> geno) {
  for (size_t k = 0; k < geno.size(); ++k) {
    if (geno[k] == 1 || geno[k] == 2) continue;
    input_error(io,
                "Allele code " + std::to_string(geno[k]) + " for SNP " + std::to_string(k / 2 + 1) +
                    " in record " + std::to_string(record_number) +
                    " of SNP_data; allele codes are 1 or 2 (a blank or a missing digit reads as 0)",
                Statement::Read, kDataUnit);
  }
}

void read_training_records(Units& io, EstimatorState& state) {
  // Records are packed into a few record groups of their own first: packed
  // straight into x, each record would touch every panel, one memory page
  // apart on wide data.
  constexpr int64_t kStagedRecords = 4 * DesignMatrix::kTile;
  open_unit(io, kDataUnit, kDataFile);
  UnitLines lines(io, kDataUnit);
  RecordReader records(lines, 2 * int64_t{state.nrec});
  std::vector<int8_t> row = allocate_array<int8_t>(io, state.neq);
  DesignMatrix staged = allocate_matrix(io, std::min<int64_t>(kStagedRecords, state.nrec), state.neq);
  row[0] = 1;
  for (int64_t first = 0; first < state.nrec; first += kStagedRecords) {
    const int64_t count = std::min(kStagedRecords, state.nrec - first);
    // The last records of the file may not fill the staged groups.
    if (count < staged.rows) std::fill(staged.planes.begin(), staged.planes.end(), 0);
    for (int64_t r = 0; r < count; ++r) {
      const int64_t i = first + r;
      read_coded_record(io, records, state.y[i], state.s_bv[i], std::span<int8_t>(row).subspan(1), state.geno);
      add_row_to_xpy(state.xpy, state.y[i], row);
      staged.store_row(r, row.data());
    }
    state.x.store_groups(first / DesignMatrix::kTile, staged);
  }
}

}  // namespace gp
