// The AVX-512 panel kernels: eight doubles per register, the codes' two
// planes read straight into mask registers.
//
// Why they are exact: where the code is -1 the term is 0 - value, which
// added to a sum rounds as the subtraction of the value does (0 - v is -v for
// every v but zero and NaN; a zero term leaves a sum that is not -0.0 as it
// is, and no sum starting at +0.0 is ever -0.0; 0 - NaN is that NaN, which
// the addition passes on as the subtraction would). Where the code is +1 the
// term is the value itself, and lanes whose code is zero are left as they
// are by the non-zero mask, as the definition leaves out their terms. Each
// sum keeps its order: cross holds S_r in register r (lanes = the panel's
// columns) and adds one record group after the other; update holds s for
// eight records (lanes = records) and adds the columns in ascending order.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>

#include "bayes/panel_kernels.hpp"

namespace gp::bayes {

namespace {

// The features of GP_TARGET_AVX512 and GFNI, for the transposition.
#define GP_AVX512_KERNEL __attribute__((target("avx2,fma,bmi,bmi2,avx512f,avx512bw,avx512cd,avx512dq,avx512vl,gfni")))

constexpr int64_t kTile = DesignMatrix::kTile;
// update keeps this many tiles' sums in flight: a sum is a chain of eight
// dependent additions.
constexpr int64_t kTilesInFlight = 8;

// Transposes the 8 x 8 bits of each of the four 64-bit words: bit 8 r + c to
// 8 c + r. The affine instruction gives result byte i, bit j = parity(matrix
// byte 7 - j AND x byte i); with x byte i = 1 << i and the matrix the word
// with its bytes reversed, that is bit i of byte j.
GP_AVX512_KERNEL inline __m256i transpose_bits(__m256i words) {
  const __m256i reverse_bytes = _mm256_set_epi64x(0x08090A0B0C0D0E0F, 0x0001020304050607, 0x08090A0B0C0D0E0F,
                                                  0x0001020304050607);
  const __m256i unit_bytes = _mm256_set1_epi64x(static_cast<int64_t>(0x8040201008040201));
  return _mm256_gf2p8affine_epi64_epi8(unit_bytes, _mm256_shuffle_epi8(words, reverse_bytes), 0);
}

// The mask register of byte `index` of a plane held in memory, loaded
// straight into it: the compiler would go through a general register, which
// takes the port the vector additions need.
GP_AVX512_KERNEL inline __mmask8 byte_mask(const uint64_t* plane, int index) {
  __mmask8 mask;
  __asm__("kmovb %1, %0" : "=k"(mask) : "m"(reinterpret_cast<const uint8_t*>(plane)[index]));
  return mask;
}

// Adds record r's terms to its sum (lanes = the columns of the panel).
template <int R>
GP_AVX512_KERNEL inline __m512d add_record(__m512d sum, const uint64_t* tile, const double* e) {
  const __m512d value = _mm512_set1_pd(e[R]);
  const __m512d term = _mm512_mask_sub_pd(value, byte_mask(tile + 1, R), _mm512_setzero_pd(), value);
  return _mm512_mask_add_pd(sum, byte_mask(tile, R), sum, term);
}

GP_AVX512_KERNEL void cross_avx512(const DesignMatrix& x, int64_t panel, const double* e, double* q) {
  // One sum per record of a group, S_0 .. S_7, in registers of their own.
  __m512d s0 = _mm512_setzero_pd(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0, s7 = s0;
  const uint64_t* tile = x.tile(0, panel);
  for (int64_t g = 0; g < x.row_groups(); ++g, tile += 2, e += kTile) {
    // Byte r of a plane holds record r's marks over the columns.
    s0 = add_record<0>(s0, tile, e);
    s1 = add_record<1>(s1, tile, e);
    s2 = add_record<2>(s2, tile, e);
    s3 = add_record<3>(s3, tile, e);
    s4 = add_record<4>(s4, tile, e);
    s5 = add_record<5>(s5, tile, e);
    s6 = add_record<6>(s6, tile, e);
    s7 = add_record<7>(s7, tile, e);
  }
  const __m512d total = _mm512_add_pd(_mm512_add_pd(_mm512_add_pd(s0, s1), _mm512_add_pd(s2, s3)),
                                      _mm512_add_pd(_mm512_add_pd(s4, s5), _mm512_add_pd(s6, s7)));
  _mm512_storeu_pd(q, total);
}

// e less s for the records of `Count` consecutive tiles; d and negated (0 - d)
// hold the columns' changes.
template <int64_t Count>
GP_AVX512_KERNEL inline void update_tiles(const uint64_t* tiles, const __m512d* d, const __m512d* negated, double* e) {
  alignas(32) uint64_t transposed[Count][2];
  for (int64_t a = 0; a + 2 <= Count; a += 2) {
    const __m256i pair = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(tiles + 2 * a));
    _mm256_store_si256(reinterpret_cast<__m256i*>(transposed[a]), transpose_bits(pair));
  }
  if constexpr (Count % 2 == 1) {
    const __m256i one = _mm256_zextsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(tiles + 2 * (Count - 1))));
    alignas(32) uint64_t words[4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(words), transpose_bits(one));
    transposed[Count - 1][0] = words[0];
    transposed[Count - 1][1] = words[1];
  }
  __m512d s[Count];
  for (auto& v : s) v = _mm512_setzero_pd();
  // Byte c of a transposed plane holds column c's marks over the records.
#pragma GCC unroll 8
  for (int c = 0; c < kTile; ++c) {
#pragma GCC unroll 8
    for (int64_t a = 0; a < Count; ++a) {
      const __m512d term = _mm512_mask_mov_pd(d[c], byte_mask(&transposed[a][1], c), negated[c]);
      s[a] = _mm512_mask_add_pd(s[a], byte_mask(&transposed[a][0], c), s[a], term);
    }
  }
#pragma GCC unroll 8
  for (int64_t a = 0; a < Count; ++a) {
    _mm512_storeu_pd(e + a * kTile, _mm512_sub_pd(_mm512_loadu_pd(e + a * kTile), s[a]));
  }
}

GP_AVX512_KERNEL void update_avx512(const DesignMatrix& x, int64_t panel, const double* d, double* e) {
  __m512d values[kTile], negated[kTile];
  for (int c = 0; c < kTile; ++c) {
    values[c] = _mm512_set1_pd(d[c]);
    negated[c] = _mm512_sub_pd(_mm512_setzero_pd(), values[c]);
  }
  const uint64_t* tiles = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  for (; g + kTilesInFlight <= groups; g += kTilesInFlight) {
    update_tiles<kTilesInFlight>(tiles + 2 * g, values, negated, e + g * kTile);
  }
  for (; g < groups; ++g) update_tiles<1>(tiles + 2 * g, values, negated, e + g * kTile);
}

}  // namespace

const PanelKernel kAvx512PanelKernel{"avx512", cross_avx512, update_avx512};

}  // namespace gp::bayes
