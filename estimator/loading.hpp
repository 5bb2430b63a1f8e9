// Loading: SNP_setup into the counts and effects, the training records of
// SNP_data into y, the design matrix and X'y.
#pragma once

#include <cstdint>
#include <span>

#include "common/layout.hpp"
#include "common/refusal.hpp"
#include "common/text_io.hpp"
#include "estimator/state.hpp"

namespace gp {

// kolber words no refusal of its own: what the SNP file readers refuse on
// `unit` ends the run as the input statements would have, a field that does
// not read with "Illegal character in numeric input" (or the integer
// overflow), a negative count with an input error naming it.
[[noreturn]] void report_refusal(Units& io, const Refusal& refusal, int unit);

// Opens SNP_setup (unit 1), reads the counts, prints the " Read " line and
// reads snp_freq and snp_val; allocates geno, snp_freq, snp_val. A negative
// count is rejected before anything is allocated.
void read_setup(Units& io, EstimatorState& state);

// A rows x cols matrix of zero codes; a run short of memory ends in the
// allocation report.
DesignMatrix allocate_matrix(Units& io, int64_t rows, int64_t cols);

// Sets neq and allocates y, s_bv, diag, sol, xpy (zeroed) and x, in that order.
void allocate_equations(Units& io, EstimatorState& state);

// Opens SNP_data (unit 2) and reads records 1..nrec: y(i), s_bv(i), row i
// of x, and X'y accumulated record by record; each record's codes are packed
// into x as soon as it is read. The unit is left at record nrec + 1.
void read_training_records(Units& io, EstimatorState& state);

// Stops the run with an input error naming `record_number` (position in
// the file) and the SNP when an allele code of geno is not 1 or 2 (a blank
// or a missing digit reads as 0).
void check_allele_codes(Units& io, int64_t record_number, std::span<const int32_t> geno);

}  // namespace gp
