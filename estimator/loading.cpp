#include "estimator/loading.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/record_reader.hpp"

namespace gp {

namespace {

void reject_negative(Units& io, const char* name, int32_t value) {
  if (value >= 0) return;
  input_error(io,
              std::string("SNP_setup gives ") + name + " = " + std::to_string(value) +
                  "; counts must be 0 or more",
              Statement::Read, kSetupUnit);
}

}  // namespace

void read_setup(Units& io, EstimatorState& state) {
  static const Layout kReadLine = parse_layout("' Read ',I0,' records with ',I0,' SNP effects'");

  open_unit(io, kSetupUnit, kSetupFile);
  read_free(io, kSetupUnit);
  // The count line carries nrec twice; the fifth value is the one kept.
  read_record(io, kSetupUnit, count_layout(),
              {state.n_snp, state.n_qtl, state.nrec, state.nprog, state.nrec});
  reject_negative(io, "n_snp", state.n_snp);
  reject_negative(io, "nrec", state.nrec);
  write_record(io, kConsole, kReadLine, {state.nrec, state.n_snp});

  state.geno = allocate_array<int32_t>(io, 2 * int64_t{state.n_snp});
  state.snp_freq = allocate_array<float>(io, state.n_snp);
  state.snp_val = allocate_array<float>(io, state.n_snp);

  read_free(io, kSetupUnit);
  read_record(io, kSetupUnit, variance_skip_layout());
  read_free(io, kSetupUnit);
  read_record(io, kSetupUnit, frequency_layout(), {state.snp_freq});
  read_free(io, kSetupUnit);
  read_record(io, kSetupUnit, effect_layout(), {state.snp_val});
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

void read_checked_record(Units& io, const Layout& layout, int64_t record_number, float& y, float& s_bv,
                         std::span<int32_t> geno) {
  int32_t rec_id = 0;
  read_data_record(io, layout, rec_id, y, s_bv, geno);
  check_allele_codes(io, record_number, geno);
}

void read_training_records(Units& io, EstimatorState& state) {
  // Records are packed into a few record groups of their own first: packed
  // straight into x, each record would touch every panel, one memory page
  // apart on wide data.
  constexpr int64_t kStagedRecords = 4 * DesignMatrix::kTile;
  const Layout layout = data_layout(state.n_snp);
  open_unit(io, kDataUnit, kDataFile);
  std::vector<int8_t> row = allocate_array<int8_t>(io, state.neq);
  DesignMatrix staged = allocate_matrix(io, std::min<int64_t>(kStagedRecords, state.nrec), state.neq);
  row[0] = 1;
  for (int64_t first = 0; first < state.nrec; first += kStagedRecords) {
    const int64_t count = std::min(kStagedRecords, state.nrec - first);
    // The last records of the file may not fill the staged groups.
    if (count < staged.rows) std::fill(staged.planes.begin(), staged.planes.end(), 0);
    for (int64_t r = 0; r < count; ++r) {
      const int64_t i = first + r;
      read_coded_record(io, layout, i + 1, state.y[i], state.s_bv[i], std::span<int8_t>(row).subspan(1), state.geno);
      add_row_to_xpy(state.xpy, state.y[i], row);
      staged.store_row(r, row.data());
    }
    state.x.store_groups(first / DesignMatrix::kTile, staged);
  }
}

}  // namespace gp
