// Reading a study folder's SNP_setup and SNP_data for the export through
// the shared SNP file readers: the counts and effects, and every genotype
// packed two bits each, SNP-major. The export is stricter than the readers:
// a record must hold exactly 2 x n_snp digits, carry its place in the file
// as its number, and have a line end; 2 x nrec must be numbered in SNP_data.
// Every problem is thrown as a Refusal naming the file and the line or record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/large_pages.hpp"

namespace gp::plink {

struct StudySetup {
  int32_t n_snp = 0;
  int32_t nrec = 0;
  std::vector<float> snp_val;
};

// SNP_setup at `path` (`name` in messages): the counts of line 2, the
// fifth value giving nrec, and the n_snp effects; the variances and the
// frequencies are passed over.
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
