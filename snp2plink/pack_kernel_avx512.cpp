// The AVX-512 kernels of the export (F and BW): 64 SNPs a step.
//
// Why pack_genotypes_avx512 is exact: every digit minus '1' is 0 or 1 for
// '1' and '2' and has a higher bit set for any other byte (the byte
// subtraction wraps below '1'), so the OR of all of them is at most 1 exactly
// when every digit is valid, as in the portable rule; the tail's missing
// digits are loaded as '1'. The two differences of SNP j's digits are added
// into a 16-bit lane (at most 2 for valid digits: the number of 2s), packed
// back to bytes in SNP order, and a 16-entry table gives the code of that
// number already shifted (2s: 0, 1: 0b10, 0: 0b11), which is bed_code.
// The codes replace out's bytes at shift 0 and are ORed in at the others,
// as in the portable kernel; invalid digits make the result false and out
// unspecified, as the contract allows.
//
// Why block_to_rows_avx512 is exact: it only moves bytes. Three rounds of
// interleaving (bytes, 16-bit pairs, 32-bit quads) of 8 block rows leave, in
// each 128-bit lane L of result s, SNP 16L + 2s in the low 8 bytes and SNP
// 16L + 2s + 1 in the high 8, the first block row first: each 8 bytes belong
// at that SNP's row. A whole block does this for its 8 sets of 8 rows into a
// 4 KiB stage, SNP by SNP, and stores each SNP's 64 bytes with one store (a
// row's bytes are then written once, in cache-line sized pieces, instead of
// 8 bytes at a time). A shorter block stores the 8 bytes at the row; its rows
// after the last whole 8, and the SNPs after the last whole 64, are moved one
// byte at a time as in the portable loop.
#include <immintrin.h>

#include "snp2plink/pack_kernel.hpp"

namespace gp::plink {
namespace {

#define GP_AVX512_KERNEL __attribute__((target("avx512f,avx512bw")))

// The lowest n (0..64) bits set.
inline uint64_t low_bits(size_t n) { return n >= 64 ? ~uint64_t{0} : (uint64_t{1} << n) - 1; }

// The codes of 64 SNPs from their 128 digits (d0: SNPs 0..31, d1: 32..63),
// shifted by the table; `seen` collects the digits minus '1'.
GP_AVX512_KERNEL inline __m512i codes_of(__m512i d0, __m512i d1, __m512i table, __m512i& seen) {
  const __m512i one = _mm512_set1_epi8('1');
  const __m512i t0 = _mm512_sub_epi8(d0, one);
  const __m512i t1 = _mm512_sub_epi8(d1, one);
  seen = _mm512_ternarylogic_epi64(seen, t0, t1, 0xFE);  // seen | t0 | t1
  // a + b of each SNP in its 16-bit lane; the pack interleaves the 128-bit
  // lanes of its two inputs, the permutation puts SNPs back in order.
  const __m512i ones = _mm512_set1_epi8(1);
  const __m512i sums = _mm512_packus_epi16(_mm512_maddubs_epi16(t0, ones), _mm512_maddubs_epi16(t1, ones));
  const __m512i order = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);
  return _mm512_shuffle_epi8(table, _mm512_maskz_permutexvar_epi64(0xFF, order, sums));
}

// 128-bit lane L of v. Here and below the masked forms with every element
// kept: GCC 12 warns on the undefined filler of the plain ones.
template <int L>
GP_AVX512_KERNEL inline __m128i lane_of(__m512i v) {
  return _mm512_maskz_extracti32x4_epi32(0xF, v, L);
}

// Stores the two 8-byte halves of a 128-bit lane at the rows of two SNPs.
GP_AVX512_KERNEL inline void store_halves(__m128i lane, uint8_t* first, uint8_t* second) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(first), lane);
  _mm_storeh_pi(reinterpret_cast<__m64*>(second), _mm_castsi128_ps(lane));
}

// Block rows 0..7 of 64 SNPs from `in` (block rows n bytes apart): each
// SNP's 8 bytes, block row 0 first, stored at at + snp * stride.
GP_AVX512_KERNEL inline void eight_rows(const uint8_t* in, size_t n, uint8_t* at, size_t stride) {
  __m512i r[8], p[8], q[8];
  for (size_t k = 0; k < 8; ++k) r[k] = _mm512_loadu_si512(in + k * n);
  for (size_t k = 0; k < 8; k += 2) {
    p[k] = _mm512_unpacklo_epi8(r[k], r[k + 1]);      // SNPs 0..7 of each lane
    p[k + 1] = _mm512_unpackhi_epi8(r[k], r[k + 1]);  // SNPs 8..15
  }
  for (size_t h = 0; h < 2; ++h) {  // block rows 0..3, then 4..7
    const __m512i* pp = p + 4 * h;
    q[4 * h + 0] = _mm512_unpacklo_epi16(pp[0], pp[2]);  // SNPs 0..3
    q[4 * h + 1] = _mm512_unpackhi_epi16(pp[0], pp[2]);  // 4..7
    q[4 * h + 2] = _mm512_unpacklo_epi16(pp[1], pp[3]);  // 8..11
    q[4 * h + 3] = _mm512_unpackhi_epi16(pp[1], pp[3]);  // 12..15
  }
  for (size_t m = 0; m < 4; ++m) {
    const __m512i s[2] = {_mm512_maskz_unpacklo_epi32(0xFFFF, q[m], q[m + 4]),
                          _mm512_maskz_unpackhi_epi32(0xFFFF, q[m], q[m + 4])};
    for (size_t t = 0; t < 2; ++t) {
      const size_t snp = 4 * m + 2 * t;  // of lane 0; lane L adds 16
      store_halves(lane_of<0>(s[t]), at + snp * stride, at + (snp + 1) * stride);
      store_halves(lane_of<1>(s[t]), at + (snp + 16) * stride, at + (snp + 17) * stride);
      store_halves(lane_of<2>(s[t]), at + (snp + 32) * stride, at + (snp + 33) * stride);
      store_halves(lane_of<3>(s[t]), at + (snp + 48) * stride, at + (snp + 49) * stride);
    }
  }
}

}  // namespace

GP_AVX512_KERNEL bool pack_genotypes_avx512(const char* digits, size_t n_snp, uint8_t* out, unsigned shift) {
  // Code by number of 2s, shifted: 0 -> 0b11, 1 -> 0b10, 2 -> 0b00; the
  // other entries are reached only by invalid digits.
  const int entries = static_cast<int>((3u << shift) | (2u << shift) << 8);
  const __m512i table = _mm512_set4_epi32(0, 0, 0, entries);
  __m512i seen = _mm512_setzero_si512();
  size_t j = 0;
  for (; j + 64 <= n_snp; j += 64) {
    const __m512i d0 = _mm512_loadu_si512(digits + 2 * j);
    const __m512i d1 = _mm512_loadu_si512(digits + 2 * j + 64);
    const __m512i codes = codes_of(d0, d1, table, seen);
    _mm512_storeu_si512(out + j, shift == 0 ? codes : _mm512_or_si512(_mm512_loadu_si512(out + j), codes));
  }
  if (j < n_snp) {
    const size_t rest = n_snp - j;
    const __m512i one = _mm512_set1_epi8('1');
    const __m512i d0 = _mm512_mask_loadu_epi8(one, low_bits(2 * rest), digits + 2 * j);
    const __m512i d1 = _mm512_mask_loadu_epi8(one, low_bits(2 * rest > 64 ? 2 * rest - 64 : 0), digits + 2 * j + 64);
    const __m512i codes = codes_of(d0, d1, table, seen);
    const __mmask64 m = low_bits(rest);
    const __m512i earlier = shift == 0 ? _mm512_setzero_si512() : _mm512_maskz_loadu_epi8(m, out + j);
    _mm512_mask_storeu_epi8(out + j, m, _mm512_or_si512(earlier, codes));
  }
  return _mm512_test_epi8_mask(seen, _mm512_set1_epi8(static_cast<char>(0xFE))) == 0;
}

GP_AVX512_KERNEL void block_to_rows_avx512(const PackedBlock& block, uint8_t* rows, size_t row_stride) {
  static_assert(kBlockGroups == 64, "a whole block is one 64-byte store per row");
  const size_t n = block.n_snp;
  const size_t eights = block.groups / 8 * 8;  // block rows moved 8 at a time
  size_t j = 0;
  for (; j + 64 <= n; j += 64) {
    uint8_t* at = rows + j * row_stride;
    if (block.groups == kBlockGroups) {
      // Each SNP's 64 bytes gathered first, then stored in one go.
      alignas(64) uint8_t staged[64 * kBlockGroups];
      for (size_t g = 0; g < kBlockGroups; g += 8) eight_rows(block.bytes + g * n + j, n, staged + g, kBlockGroups);
      for (size_t snp = 0; snp < 64; ++snp) {
        _mm512_storeu_si512(at + snp * row_stride, _mm512_load_si512(staged + snp * kBlockGroups));
      }
      continue;
    }
    for (size_t g = 0; g < eights; g += 8) eight_rows(block.bytes + g * n + j, n, at + g, row_stride);
    for (size_t snp = 0; snp < 64; ++snp) {
      for (size_t k = eights; k < block.groups; ++k) at[snp * row_stride + k] = block.bytes[k * n + j + snp];
    }
  }
  for (; j < n; ++j) {
    for (size_t k = 0; k < block.groups; ++k) rows[j * row_stride + k] = block.bytes[k * n + j];
  }
}

}  // namespace gp::plink
