// The estimator's reading of SNP_data records: y, s_bv and one coded
// genotype per SNP, straight from the record's characters when every allele
// digit is 1 or 2, through the field-by-field digit reading otherwise.
#pragma once

#include <cstdint>
#include <span>

#include "common/layout.hpp"
#include "common/text_io.hpp"

namespace gp {

// Column (0-based) of the first allele digit: I6, 1X, 2F8.2, 1X come first.
inline constexpr size_t kFirstDigitColumn = 24;

// Coded genotypes of a record whose allele digits are all '1' or '2':
// codes[j] = digit(2j) + digit(2j+1) - 3. False (codes unspecified) when
// `digits` is shorter than 2 * codes.size() or holds any other character.
bool code_plain_digits(std::string_view digits, std::span<int8_t> codes);

// Reads the next SNP_data record (unit 2) with `layout` (from data_layout):
// y, s_bv and codes.size() coded genotypes. `geno` (2 x codes.size()) is
// work space for a record that is not plain digits, which is read and
// checked exactly as read_checked_record does, with the same reports.
void read_coded_record(Units& io, const Layout& layout, int64_t record_number, float& y, float& s_bv,
                       std::span<int8_t> codes, std::span<int32_t> geno);

}  // namespace gp
