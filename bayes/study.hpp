// A study folder's SNP_setup and SNP_data as snpbayes uses them, read through
// the shared readers: the counts and simulated effects, the training records
// (1 .. nrec) packed into the design matrix, and the independent records
// (nrec + 1 .. 2 nrec) a group at a time, after the sampling. Every problem
// is thrown as a Refusal naming the file and the line or record. Records are
// read strictly, as snp2plink reads them: the record number must be the
// record's place, and the allele digits exactly 2 x n_snp, each 1 or 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/design_matrix.hpp"

namespace gp::bayes {

// A rows x cols design matrix of zero codes; throws std::bad_alloc.
DesignMatrix zero_codes(int64_t rows, int64_t cols);

struct TrainingSet {
  DesignMatrix x;  // nrec x (n_snp + 1): column 0 all +1, column j SNP j's codes
  std::vector<float> y, s_bv;
};

class Study {
 public:
  // Records of an independent group: four record groups of the matrix.
  static constexpr int64_t kGroupRecords = 4 * DesignMatrix::kTile;

  // Reads SNP_setup and opens SNP_data in `directory` (empty: the current one).
  explicit Study(const std::string& directory);

  int32_t n_snp() const { return setup_.counts.n_snp; }
  int32_t nrec() const { return setup_.counts.nrec; }
  const std::vector<float>& snp_val() const { return setup_.snp_val; }

  // Records 1 .. nrec; refuses (OutOfMemory) a matrix that cannot be had.
  TrainingSet read_training();

  // The next up to kGroupRecords independent records into rows 0.. of
  // `group` (kGroupRecords x (n_snp + 1)), y and s_bv; their number, 0 after
  // the last.
  int64_t read_independent(DesignMatrix& group, float* y, float* s_bv);

 private:
  void read_record(float& y, float& s_bv);

  SnpSetup setup_;
  SnpFile data_;
  RecordReader records_;
  std::vector<int8_t> row_;  // the record read last: +1, then its codes
};

}  // namespace gp::bayes
