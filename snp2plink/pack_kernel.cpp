// The portable kernels are plain integer arithmetic on bytes, written so the
// compiler can vectorise them: the codes are exact whatever the vector
// width, and a test compares them with bed_code on every digit pair.
#include "snp2plink/pack_kernel.hpp"

#include "common/isa.hpp"

namespace gp::plink {

uint8_t bed_code(char first, char second) {
  const int twos = (first == '2') + (second == '2');
  return twos == 2 ? 0b00 : twos == 1 ? 0b10 : 0b11;
}

bool pack_genotypes_portable(const char* digits, size_t n_snp, uint8_t* out, unsigned shift) {
  const unsigned char* chars = reinterpret_cast<const unsigned char*>(digits);
  // a, b: 0 for '1', 1 for '2'; any other character leaves a bit above the
  // lowest one set (the subtraction wraps below '1').
  unsigned char outside = 0;
  for (size_t j = 0; j < n_snp; ++j) {
    const unsigned char a = static_cast<unsigned char>(chars[2 * j] - '1');
    const unsigned char b = static_cast<unsigned char>(chars[2 * j + 1] - '1');
    outside |= static_cast<unsigned char>((a | b) & 0xFE);
    // Both 2: 0b00; one 2: 0b10; none: 0b11.
    const unsigned char code = static_cast<unsigned char>(3 ^ (((a & b) << 1) | (a | b)));
    out[j] = static_cast<uint8_t>((shift == 0 ? 0 : out[j]) | (code << shift));
  }
  return outside == 0;
}

void block_to_rows_portable(const PackedBlock& block, uint8_t* rows, size_t row_stride) {
  for (size_t j = 0; j < block.n_snp; ++j, rows += row_stride) {
    for (size_t k = 0; k < block.groups; ++k) rows[k] = block.bytes[k * block.n_snp + j];
  }
}

bool pack_genotypes(const char* digits, size_t n_snp, uint8_t* out, unsigned shift) {
  static constexpr Kernels<decltype(&pack_genotypes)> kKernels{.portable = pack_genotypes_portable,
                                                               .avx512 = pack_genotypes_avx512};
  return pick_kernel(kKernels)(digits, n_snp, out, shift);
}

void block_to_rows(const PackedBlock& block, uint8_t* rows, size_t row_stride) {
  static constexpr Kernels<decltype(&block_to_rows)> kKernels{.portable = block_to_rows_portable,
                                                              .avx512 = block_to_rows_avx512};
  pick_kernel(kKernels)(block, rows, row_stride);
}

}  // namespace gp::plink
