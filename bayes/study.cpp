#include "bayes/study.hpp"

#include <algorithm>
#include <exception>
#include <span>

#include "common/paths.hpp"
#include "estimator/record_reader.hpp"

namespace gp::bayes {

namespace {

SnpSetup read_study_setup(const std::string& directory) {
  SnpFile file(in_directory(directory, kSetupFile), kSetupFile);
  SnpSetup setup = read_setup(file);
  if (int64_t{setup.counts.nrec} > kMaxNrec) {
    throw Refusal{.problem = Problem::TooManyRecords, .place = line_place(kSetupFile, kCountLine),
                  .value = setup.counts.nrec};
  }
  return setup;
}

}  // namespace

DesignMatrix zero_codes(int64_t rows, int64_t cols) {
  DesignMatrix x;
  x.planes.assign(static_cast<size_t>(DesignMatrix::words_for(rows, cols)), 0);
  x.rows = rows;
  x.cols = cols;
  return x;
}

Study::Study(const std::string& directory)
    : setup_(read_study_setup(directory)),
      data_(in_directory(directory, kDataFile), kDataFile),
      records_(data_, 2 * int64_t{setup_.counts.nrec}) {
  try {
    row_.assign(static_cast<size_t>(n_snp()) + 1, 1);
  } catch (const std::exception&) {
    throw Refusal{.problem = Problem::OutOfMemory, .count = n_snp(), .value = 2 * int64_t{nrec()}};
  }
}

void Study::read_record(float& y, float& s_bv) {
  const DataRecord record = records_.next_strict(n_snp());
  if (!code_plain_digits(record.digits(), std::span<int8_t>(row_).subspan(1))) require_allele_digits(record);
  y = record.y;
  s_bv = record.s_bv;
}

TrainingSet Study::read_training() {
  const int64_t n = nrec();
  const int64_t cols = int64_t{n_snp()} + 1;
  TrainingSet set;
  DesignMatrix staged;
  try {
    set.x = zero_codes(n, cols);
    set.y.resize(static_cast<size_t>(n));
    set.s_bv.resize(static_cast<size_t>(n));
    staged = zero_codes(std::min(kGroupRecords, n), cols);
  } catch (const std::exception&) {  // bad_alloc, or length_error beyond what a vector can hold
    throw Refusal{.problem = Problem::OutOfMemory, .count = n_snp(), .value = 2 * n};
  }
  // Records are packed into a few record groups of their own first, so each
  // panel of the matrix is written a few whole tiles at a time.
  for (int64_t first = 0; first < n; first += kGroupRecords) {
    const int64_t count = std::min(kGroupRecords, n - first);
    if (count < staged.rows) std::fill(staged.planes.begin(), staged.planes.end(), 0);
    for (int64_t r = 0; r < count; ++r) {
      read_record(set.y[static_cast<size_t>(first + r)], set.s_bv[static_cast<size_t>(first + r)]);
      staged.store_row(r, row_.data());
    }
    set.x.store_groups(first / DesignMatrix::kTile, staged);
  }
  return set;
}

int64_t Study::read_independent(DesignMatrix& group, float* y, float* s_bv) {
  const int64_t count = std::min(kGroupRecords, 2 * int64_t{nrec()} - records_.place());
  if (count < group.rows) std::fill(group.planes.begin(), group.planes.end(), 0);
  for (int64_t r = 0; r < count; ++r) {
    read_record(y[r], s_bv[r]);
    group.store_row(r, row_.data());
  }
  return std::max<int64_t>(count, 0);
}

}  // namespace gp::bayes
