// The hot loops of the export: one record's allele digits into two-bit
// genotype codes of the binary fileset, and a block of packed records turned
// into the SNPs' rows. Each has a portable kernel and an AVX-512 one (which
// needs Isa::Avx512), picked as isa.hpp says; all give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gp::plink {

// The .bed code of one SNP from its two allele digits: 0b00 for "22" (two of
// allele 1 of the .bim, the digit 2), 0b10 for "12" or "21", 0b11 for "11".
// 0b01 (missing) is never produced.
uint8_t bed_code(char first, char second);

// Puts the code of each SNP j < n_snp, from digits[2j] and digits[2j+1],
// into out[j] at bit `shift` (0, 2, 4 or 6): at shift 0 it replaces the
// byte, at the others it is ORed in. False when any of the 2 x n_snp digits
// is not '1' or '2'; out is then unspecified.
bool pack_genotypes(const char* digits, size_t n_snp, uint8_t* out, unsigned shift);
bool pack_genotypes_portable(const char* digits, size_t n_snp, uint8_t* out, unsigned shift);
bool pack_genotypes_avx512(const char* digits, size_t n_snp, uint8_t* out, unsigned shift);

// A block of `groups` (at most kBlockGroups) packed bytes per SNP: byte j of
// block row k (block[k * n_snp + j]) holds SNP j's records 4k .. 4k + 3.
inline constexpr size_t kBlockGroups = 64;
struct PackedBlock {
  const uint8_t* bytes;
  size_t n_snp;
  size_t groups;
};

// Copies block row k's byte of SNP j to rows[j * row_stride + k] for every
// j < n_snp and k < groups; nothing else of rows is written.
void block_to_rows(const PackedBlock& block, uint8_t* rows, size_t row_stride);
void block_to_rows_portable(const PackedBlock& block, uint8_t* rows, size_t row_stride);
void block_to_rows_avx512(const PackedBlock& block, uint8_t* rows, size_t row_stride);

}  // namespace gp::plink
