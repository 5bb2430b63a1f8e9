// The estimator's reading of SNP_data records: y, s_bv and one coded
// genotype per SNP, straight from the record's characters when every allele
// digit is 1 or 2, through the field-by-field digit reading otherwise.
#pragma once

#include <cstdint>
#include <span>

#include "common/snp_files.hpp"
#include "common/text_io.hpp"

namespace gp {

// Coded genotypes of a record whose allele digits are all '1' or '2':
// codes[j] = digit(2j) + digit(2j+1) - 3. False (codes unspecified) when
// `digits` is shorter than 2 * codes.size() or holds any other character.
bool code_plain_digits(std::string_view digits, std::span<int8_t> codes);

// Reads the next SNP_data record of `records` (on unit 2): y, s_bv and
// codes.size() coded genotypes. `geno` (2 x codes.size()) is work space for
// a record that is not plain digits, whose digits are read as the record
// layout's I1 fields read them: a blank or a missing digit reads as 0, which
// check_allele_codes reports.
void read_coded_record(Units& io, RecordReader& records, float& y, float& s_bv, std::span<int8_t> codes,
                       std::span<int32_t> geno);

}  // namespace gp
