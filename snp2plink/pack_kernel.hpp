// The hot loop of the export: one record's allele digits into two-bit
// genotype codes of the binary fileset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gp::plink {

// The code of one SNP from its two allele digits: 0b00 for "22" (two of
// allele 1 of the .bim, the digit 2), 0b10 for "12" or "21", 0b11 for "11".
// 0b01 (missing) is never produced.
uint8_t genotype_code(char first, char second);

// ORs the code of each SNP j < n_snp, from digits[2j] and digits[2j+1], into
// out[j] at bit `shift` (0, 2, 4 or 6). False when any of the 2 x n_snp
// digits is not '1' or '2'; out is then unspecified.
bool pack_genotypes(const char* digits, size_t n_snp, uint8_t* out, unsigned shift);

// Position (0-based) of the first character that is not '1' or '2';
// digits.size() when there is none.
size_t first_bad_digit(std::string_view digits);

}  // namespace gp::plink
