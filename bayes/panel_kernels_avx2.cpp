// The AVX2 panel kernels: four doubles per register, each term formed with
// bit masks from a table indexed by four elements' marks.
//
// Why they are exact: a term is the value, or 0 - value where the code is -1,
// and is cleared to +0.0 where the code is zero. s + (0 - v) rounds as s - v
// does: 0 - v is exactly -v for every v but zero and NaN, a zero term (+0.0
// or -0.0) leaves a sum that is not -0.0 as it is (and no sum starting at
// +0.0 is ever -0.0), and 0 - NaN is that NaN, which the addition passes on
// as the subtraction would. So each addition gives the bits of the
// definition's, infinities and NaN included. Each sum keeps its order: cross
// holds S_r for four of the panel's columns in register r, one half of the
// columns after the other; update holds s for four records and adds the
// columns in ascending order.
#include <immintrin.h>

#include <cstdint>

#include "bayes/panel_kernels.hpp"
#include "common/isa.hpp"

namespace gp::bayes {

namespace {

#define GP_AVX2_KERNEL GP_TARGET_AVX2

constexpr int64_t kTile = PanelMatrix::kTile;
constexpr int64_t kTilesInFlight = 4;

// Entry n for four elements with non-zero marks n & 15 and negative marks
// n >> 4: `keep` is all ones in the lanes of non-zero codes, `flip` has the
// sign bit set in the lanes of negative ones.
struct MaskTable {
  alignas(32) uint64_t keep[256][4];
  alignas(32) uint64_t flip[256][4];
};

const MaskTable& mask_table() {
  static const MaskTable table = [] {
    MaskTable t{};
    for (int n = 0; n < 256; ++n) {
      for (int lane = 0; lane < 4; ++lane) {
        const bool nonzero = (n >> lane & 1) != 0;
        const bool negative = nonzero && (n >> (lane + 4) & 1) != 0;
        t.keep[n][lane] = nonzero ? ~uint64_t{0} : 0;
        t.flip[n][lane] = negative ? uint64_t{1} << 63 : 0;
      }
    }
    return t;
  }();
  return table;
}

// The table entry of four elements from bits `shift` .. `shift` + 3 of the
// two planes.
inline unsigned entry(uint64_t nonzero, uint64_t negative, int shift) {
  return static_cast<unsigned>((nonzero >> shift & 15) | (negative >> shift & 15) << 4);
}

// The terms of four elements for `value` and `negated` = 0 - value.
GP_AVX2_KERNEL inline __m256d term(const MaskTable& table, unsigned n, __m256d value, __m256d negated) {
  const __m256d flip = _mm256_load_pd(reinterpret_cast<const double*>(table.flip[n]));
  const __m256d keep = _mm256_load_pd(reinterpret_cast<const double*>(table.keep[n]));
  return _mm256_and_pd(_mm256_blendv_pd(value, negated, flip), keep);
}

GP_AVX2_KERNEL void cross_avx2(const PanelMatrix& x, int64_t panel, const double* e, double* q) {
  const MaskTable& table = mask_table();
  for (int half = 0; half < 2; ++half) {
    __m256d sum[kTile];
    for (auto& s : sum) s = _mm256_setzero_pd();
    const uint64_t* tiles = x.tile(0, panel);
    for (int64_t g = 0; g < x.row_groups(); ++g, tiles += 2) {
#pragma GCC unroll 8
      for (int r = 0; r < kTile; ++r) {
        const unsigned n = entry(transpose_tile_bits(tiles[0]), transpose_tile_bits(tiles[1]), 8 * r + 4 * half);
        const __m256d value = _mm256_broadcast_sd(e + g * kTile + r);
        sum[r] = _mm256_add_pd(sum[r], term(table, n, value, _mm256_sub_pd(_mm256_setzero_pd(), value)));
      }
    }
    const __m256d total = _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(sum[0], sum[1]), _mm256_add_pd(sum[2], sum[3])),
                                        _mm256_add_pd(_mm256_add_pd(sum[4], sum[5]), _mm256_add_pd(sum[6], sum[7])));
    _mm256_storeu_pd(q + 4 * half, total);
  }
}

template <int64_t Count>
GP_AVX2_KERNEL inline void update_tiles(const uint64_t* tiles, const __m256d* d, const __m256d* negated, double* e) {
  const MaskTable& table = mask_table();
  uint64_t nonzero[Count], negative[Count];
  __m256d s[Count][2];
#pragma GCC unroll 4
  for (int64_t a = 0; a < Count; ++a) {
    nonzero[a] = tiles[2 * a];
    negative[a] = tiles[2 * a + 1];
    s[a][0] = s[a][1] = _mm256_setzero_pd();
  }
#pragma GCC unroll 8
  for (int c = 0; c < kTile; ++c) {
#pragma GCC unroll 4
    for (int64_t a = 0; a < Count; ++a) {
      // Byte c of a transposed plane holds column c's marks of the records.
      s[a][0] = _mm256_add_pd(s[a][0], term(table, entry(nonzero[a], negative[a], 8 * c), d[c], negated[c]));
      s[a][1] = _mm256_add_pd(s[a][1], term(table, entry(nonzero[a], negative[a], 8 * c + 4), d[c], negated[c]));
    }
  }
#pragma GCC unroll 4
  for (int64_t a = 0; a < Count; ++a) {
    double* records = e + a * kTile;
    _mm256_storeu_pd(records, _mm256_sub_pd(_mm256_loadu_pd(records), s[a][0]));
    _mm256_storeu_pd(records + 4, _mm256_sub_pd(_mm256_loadu_pd(records + 4), s[a][1]));
  }
}

GP_AVX2_KERNEL void update_avx2(const PanelMatrix& x, int64_t panel, const double* d, double* e) {
  __m256d values[kTile], negated[kTile];
  for (int c = 0; c < kTile; ++c) {
    values[c] = _mm256_set1_pd(d[c]);
    negated[c] = _mm256_sub_pd(_mm256_setzero_pd(), values[c]);
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

const PanelKernel kAvx2PanelKernel{"avx2", cross_avx2, update_avx2};

}  // namespace gp::bayes
