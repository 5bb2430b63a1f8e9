// The AVX-512 kernel of lhs_product: eight doubles per register, each term
// +value or -value added under the masks of a tile's planes, with no
// conversion of codes and no multiplication.
//
// Why it is exact: a code of -1 or +1 makes the per-record term exactly
// -value or +value, so adding the value with its sign bit flipped (or not)
// is the per-record addition itself. A zero code makes the term 0 * value,
// a signed zero when the value is finite. Every sum starts at +0.0 and can
// never become -0.0 (in round to nearest x + y is -0.0 only when both are),
// and adding a signed zero to a sum that is not -0.0 leaves it unchanged:
// so the zero terms are left out, by the non-zero mask. That needs finite
// values: 0 * infinity or 0 * NaN is NaN, and the sign of -NaN is not that
// of (-1) * NaN. So each pass first checks its values (v for the row sums,
// the row sums for the column sums) and hands a pass whose values are not
// all finite to the AVX2 pass, which multiplies. Each sum keeps the
// per-record order: s(i) over ascending columns, w(j) over ascending
// records.
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

#define GP_AVX512_KERNEL __attribute__((target("avx2,fma,avx512f,avx512bw,avx512dq,avx512vl,gfni")))

constexpr int64_t kTile = DesignMatrix::kTile;
// Pass 1 keeps 8 record groups of row sums in registers while a chunk of
// panels goes by; pass 2 keeps the column sums of 8 panels. Eight chains of
// additions in flight cover the adders' latency.
constexpr int kRowGroupsInFlight = 16;
constexpr int64_t kPanelChunk = 16;
constexpr int kPanelsInFlight = 16;

bool all_finite(const double* values, int64_t count) {
  for (int64_t k = 0; k < count; ++k) {
    if (!std::isfinite(values[k])) return false;
  }
  return true;
}

// term = value where the negative mask is clear, -value where it is set.
GP_AVX512_KERNEL inline __m512d add_under_masks(__m512d sum, const uint8_t* nonzero, const uint8_t* negative,
                                                __m512d plus, __m512d minus) {
  const __m512d term = _mm512_mask_blend_pd(_cvtu32_mask8(*negative), plus, minus);
  return _mm512_mask_add_pd(sum, _cvtu32_mask8(*nonzero), sum, term);
}

// -value. The empty statement hides from the compiler that the result is
// the operand with its sign flipped, which it would otherwise fold into the
// blend above as a masked exclusive or needing a copy of the operand first.
GP_AVX512_KERNEL inline __m512d negated(__m512d value) {
  __m512d minus = _mm512_xor_pd(value, _mm512_set1_pd(-0.0));
  __asm__("" : "+v"(minus));
  return minus;
}

// Transposes the 8 x 8 bits of every 64-bit word: bit 8 r + c to 8 c + r.
// The affine instruction gives result byte i, bit j = parity(matrix byte
// 7 - j AND x byte i); with x byte i = 1 << i and the matrix the word with
// its bytes reversed, that is bit i of byte j.
GP_AVX512_KERNEL inline __m512i transpose_bits(__m512i words) {
  const __m512i reverse_bytes = _mm512_set4_epi64(0x08090A0B0C0D0E0F, 0x0001020304050607, 0x08090A0B0C0D0E0F,
                                                  0x0001020304050607);
  const __m512i unit_bytes = _mm512_set1_epi64(static_cast<int64_t>(0x8040201008040201));
  return _mm512_gf2p8affine_epi64_epi8(unit_bytes, _mm512_shuffle_epi8(words, reverse_bytes), 0);
}

// The same for two words.
GP_AVX512_KERNEL inline __m128i transpose_bits(__m128i words) {
  const __m128i reverse_bytes = _mm_set_epi64x(0x08090A0B0C0D0E0F, 0x0001020304050607);
  const __m128i unit_bytes = _mm_set1_epi64x(static_cast<int64_t>(0x8040201008040201));
  return _mm_gf2p8affine_epi64_epi8(unit_bytes, _mm_shuffle_epi8(words, reverse_bytes), 0);
}

// s of record groups g0 .. g0 + Groups - 1 over panels p0 .. p1 - 1: the
// groups' tiles of one panel lie side by side, 16 bytes each, and are
// transposed into one byte per column, bit r for record r.
template <int Groups>
GP_AVX512_KERNEL void row_sums_block(const DesignMatrix& x, const double* v, int64_t g0, int64_t p0, int64_t p1,
                                     double* s) {
  static_assert(Groups % 4 == 0 || Groups == 1);
  __m512d sum[Groups];
#pragma GCC unroll 16
  for (int a = 0; a < Groups; ++a) sum[a] = _mm512_loadu_pd(s + (g0 + a) * kTile);
  alignas(64) uint8_t transposed[Groups][2][kTile];
  for (int64_t panel = p0; panel < p1; ++panel) {
    const uint64_t* tiles = x.tile(g0, panel);
    if constexpr (Groups == 1) {
      const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tiles));
      _mm_store_si128(reinterpret_cast<__m128i*>(transposed), transpose_bits(pair));
    } else {
#pragma GCC unroll 2
      for (int a = 0; a < Groups; a += 4) {
        _mm512_store_si512(transposed[a], transpose_bits(_mm512_loadu_si512(tiles + 2 * a)));
      }
    }
    const int64_t first = panel * kTile;
    const int64_t count = std::min(kTile, x.cols - first);
    for (int64_t c = 0; c < count; ++c) {
      const __m512d plus = _mm512_set1_pd(v[first + c]);
      const __m512d minus = negated(plus);
#pragma GCC unroll 16
      for (int a = 0; a < Groups; ++a) {
        sum[a] = add_under_masks(sum[a], &transposed[a][0][c], &transposed[a][1][c], plus, minus);
      }
    }
  }
#pragma GCC unroll 16
  for (int a = 0; a < Groups; ++a) _mm512_storeu_pd(s + (g0 + a) * kTile, sum[a]);
}

// w of panels p0 .. p0 + Panels - 1 over all records: byte r of a tile's
// planes is record r, bit c column c, the masks as they lie. Records past
// the end have no marks, so they add nothing.
template <int Panels>
GP_AVX512_KERNEL void column_sums_block(const DesignMatrix& x, const double* s, int64_t p0, double* w) {
  __m512d sum[Panels];
#pragma GCC unroll 16
  for (int b = 0; b < Panels; ++b) sum[b] = _mm512_setzero_pd();
  const int64_t panel_words = 2 * x.row_groups();
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    const uint8_t* planes = reinterpret_cast<const uint8_t*>(x.tile(g, p0));
#pragma GCC unroll 16
    for (int r = 0; r < kTile; ++r) {
      const __m512d plus = _mm512_set1_pd(s[g * kTile + r]);
      const __m512d minus = negated(plus);
#pragma GCC unroll 16
      for (int b = 0; b < Panels; ++b) {
        const uint8_t* tile = planes + 8 * b * panel_words;
        sum[b] = add_under_masks(sum[b], tile + r, tile + 8 + r, plus, minus);
      }
    }
  }
  const int64_t first = p0 * kTile;
#pragma GCC unroll 16
  for (int b = 0; b < Panels; ++b) {
    const int64_t valid = std::clamp<int64_t>(x.cols - first - b * kTile, 0, kTile);
    _mm512_mask_storeu_pd(w + first + b * kTile, static_cast<__mmask8>((1u << valid) - 1), sum[b]);
  }
}

GP_AVX512_KERNEL void row_sums_avx512(const DesignMatrix& x, const double* v, double* s) {
  const int64_t groups = x.row_groups();
  std::fill(s, s + groups * kTile, 0.0);
  for (int64_t p0 = 0; p0 < x.col_groups(); p0 += kPanelChunk) {
    const int64_t p1 = std::min(x.col_groups(), p0 + kPanelChunk);
    int64_t g = 0;
    for (; g + kRowGroupsInFlight <= groups; g += kRowGroupsInFlight) {
      row_sums_block<kRowGroupsInFlight>(x, v, g, p0, p1, s);
    }
    for (; g < groups; ++g) row_sums_block<1>(x, v, g, p0, p1, s);
  }
}

GP_AVX512_KERNEL void column_sums_avx512(const DesignMatrix& x, const double* s, double* w) {
  int64_t p = 0;
  for (; p + kPanelsInFlight <= x.col_groups(); p += kPanelsInFlight) column_sums_block<kPanelsInFlight>(x, s, p, w);
  for (; p < x.col_groups(); ++p) column_sums_block<1>(x, s, p, w);
}

}  // namespace

bool lhs_product_avx512_available() {
  return lhs_product_avx2_available() && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("gfni");
}

void lhs_product_avx512(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                        std::span<double> row_sums, std::span<double> w) {
  double* s = row_sums.data();
  if (all_finite(v.data(), x.cols)) {
    row_sums_avx512(x, v.data(), s);
  } else {
    row_sums_avx2(x, v.data(), s);
  }
  if (all_finite(s, x.rows)) {
    column_sums_avx512(x, s, w.data());
  } else {
    column_sums_avx2(x, s, w.data());
  }
  add_ratio(var_ratio, v.data(), w.data(), x.cols);
}

}  // namespace gp
