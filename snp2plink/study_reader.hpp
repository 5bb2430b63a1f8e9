// Reading a study folder's SNP_setup and SNP_data for the export: the
// counts and effects, and every genotype packed two bits each, SNP-major.
// Every problem is thrown as a Refusal naming the file and the line or record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/large_pages.hpp"
#include "common/layout.hpp"

namespace gp::plink {

// Where the fields of a SNP_data record lie (0-based columns), as the shared
// record layout places them.
struct RecordColumns {
  size_t number_width;  // the record number, from column 0
  size_t y_column, s_bv_column, real_width;
  int decimals;         // implied decimals of y and s_bv
  size_t first_digit;   // the first allele digit
};
RecordColumns record_columns(const Layout& data_layout);

struct StudySetup {
  int32_t n_snp = 0;
  int32_t nrec = 0;
  std::vector<float> snp_val;
};

// SNP_setup at `path` (`name` in messages): the counts of line 2, the
// fifth value giving nrec, and the n_snp effects; the frequencies are
// skipped line by line.
StudySetup read_study_setup(const std::string& path, const std::string& name);

// The records as the binary fileset holds them.
struct StudyGenotypes {
  int64_t records = 0;       // 2 x nrec
  size_t bytes_per_snp = 0;  // (records + 3) / 4
  LargePageArray<uint8_t> packed;  // n_snp x bytes_per_snp: SNP 1's bytes first
  std::vector<float> y, s_bv;
};

// Records 1 .. 2 x nrec of SNP_data at `path`; lines after them are not read.
StudyGenotypes read_study_data(const std::string& path, const std::string& name, const StudySetup& setup);

}  // namespace gp::plink
