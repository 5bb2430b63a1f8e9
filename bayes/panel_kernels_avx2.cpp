// The AVX2 panel kernels: four doubles per register, lanes = four records of
// a record group (first records 0-3 of every tile, then 4-7), each term a
// multiply-add of the value by a code from a table indexed by the four
// records' marks of one column.
//
// Why they are exact: a code of -1 or +1 makes the product exact, so the
// multiply-add rounds once, as the plain subtraction or addition of the
// value does (a NaN keeps its sign through the product). A code of 0 gives a
// product of +0.0 or -0.0 when the value is finite, and a sum plus a signed
// zero is the sum (no sum starting at +0.0 is ever -0.0), as leaving the term
// out is. Only an infinite or NaN value times 0 differs (NaN), so:
//   update takes this path when every d(c) is finite;
//   cross checks its result: a non-finite value of e makes every q(c)
//     infinite or NaN on this path (each column has a term, zero or not, of
//     that record, and a sum stays infinite or NaN once it is), so q all
//     finite means every term was exact.
// Otherwise the portable kernel gives the result, as it is rare. Each sum
// keeps its order: cross holds S_r(c) in register c (lane r of one half of
// the records) and adds one record group after the other, then pairs them as
// the definition does; update holds s of four records and adds the columns
// in ascending order.
#include <immintrin.h>

#include <bit>
#include <cmath>
#include <cstdint>

#include "bayes/panel_kernels.hpp"
#include "common/isa.hpp"

namespace gp::bayes {

namespace {

#define GP_AVX2_KERNEL GP_TARGET_AVX2

constexpr int64_t kTile = PanelMatrix::kTile;
constexpr int64_t kTilesInFlight = 8;

// Entry n for four records of a column with non-zero marks n & 15 and
// negative marks n >> 4: lane l is the code of record l, -1.0, 0.0 or +1.0.
struct CodeTable {
  alignas(32) double code[256][4];
  static constexpr int kEntryShift = 5;  // 32 bytes an entry
};

const CodeTable& code_table() {
  static const CodeTable table = [] {
    CodeTable t{};
    for (int n = 0; n < 256; ++n) {
      for (int l = 0; l < 4; ++l) {
        const bool nonzero = (n >> l & 1) != 0, negative = (n >> (l + 4) & 1) != 0;
        t.code[n][l] = !nonzero ? 0.0 : negative ? -1.0 : 1.0;
      }
    }
    return t;
  }();
  return table;
}

// The table indexes of half `half` of a tile's records: byte c holds the
// marks of records 4 half .. 4 half + 3 of column c, non-zero marks in the
// low nibble, negative marks in the high one.
inline uint64_t index_bytes(const uint64_t* tile, int half) {
  constexpr uint64_t kLow = 0x0F0F0F0F0F0F0F0F;
  return half == 0 ? (tile[0] & kLow) | (tile[1] & kLow) << 4 : (tile[0] >> 4 & kLow) | (tile[1] & ~kLow);
}

// The codes of byte `byte` of index bytes: the byte rotated straight to its
// offset in the table and masked.
GP_AVX2_KERNEL inline __m256d codes(const char* table, uint64_t index, int byte) {
  constexpr int kShift = CodeTable::kEntryShift;
  const uint64_t offset = std::rotr(index, (8 * byte - kShift) & 63) & (uint64_t{255} << kShift);
  return _mm256_load_pd(reinterpret_cast<const double*>(table + offset));
}

bool all_finite(const double* values, int count) {
  for (int k = 0; k < count; ++k) {
    if (!std::isfinite(values[k])) return false;
  }
  return true;
}

GP_AVX2_KERNEL void cross_avx2(const PanelMatrix& x, int64_t panel, const double* e, double* q) {
  const char* table = reinterpret_cast<const char*>(code_table().code);
  alignas(32) double lanes[kTile][kTile];  // lanes[c][r] = S_r(c)
  for (int half = 0; half < 2; ++half) {
    __m256d sums[kTile];
    for (auto& s : sums) s = _mm256_setzero_pd();
    const uint64_t* tile = x.tile(0, panel);
    for (int64_t g = 0; g < x.row_groups(); ++g, tile += 2) {
      const __m256d value = _mm256_loadu_pd(e + g * kTile + 4 * half);
      const uint64_t index = index_bytes(tile, half);
#pragma GCC unroll 8
      for (int c = 0; c < kTile; ++c) sums[c] = _mm256_fmadd_pd(codes(table, index, c), value, sums[c]);
    }
    for (int c = 0; c < kTile; ++c) _mm256_store_pd(lanes[c] + 4 * half, sums[c]);
  }
  for (int c = 0; c < kTile; ++c) {
    const double* s = lanes[c];
    q[c] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
  }
  if (!all_finite(q, kTile)) kPortablePanelKernel.cross(x, panel, e, q);
}

// e less s for the records of `Count` consecutive tiles, s over the columns
// `changed` (ascending) alone: a column whose d is zero adds a signed zero
// to every s, which leaves it as it is. Every column changes (`Dense`) in
// brr's sweeps, one or a few in most panels of bayescpi's and bayesr's.
template <int64_t Count, bool Dense>
GP_AVX2_KERNEL inline void update_tiles(const char* table, const uint64_t* tiles, const __m256d* d, const int* changed,
                                        int count, double* e) {
  for (int half = 0; half < 2; ++half) {
    uint64_t index[Count];
    __m256d s[Count];
#pragma GCC unroll 8
    for (int64_t a = 0; a < Count; ++a) {
      index[a] = index_bytes(tiles + 2 * a, half);
      s[a] = _mm256_setzero_pd();
    }
    if constexpr (Dense) {
#pragma GCC unroll 8
      for (int c = 0; c < kTile; ++c) {
#pragma GCC unroll 8
        for (int64_t a = 0; a < Count; ++a) s[a] = _mm256_fmadd_pd(codes(table, index[a], c), d[c], s[a]);
      }
    } else {
      for (int k = 0; k < count; ++k) {
        const int c = changed[k];
#pragma GCC unroll 8
        for (int64_t a = 0; a < Count; ++a) {
          const uint64_t offset = (index[a] >> (8 * c) & 255) << CodeTable::kEntryShift;
          s[a] = _mm256_fmadd_pd(_mm256_load_pd(reinterpret_cast<const double*>(table + offset)), d[c], s[a]);
        }
      }
    }
#pragma GCC unroll 8
    for (int64_t a = 0; a < Count; ++a) {
      double* records = e + a * kTile + 4 * half;
      _mm256_storeu_pd(records, _mm256_sub_pd(_mm256_loadu_pd(records), s[a]));
    }
  }
}

template <bool Dense>
GP_AVX2_KERNEL void update_panel(const PanelMatrix& x, int64_t panel, const __m256d* d, const int* changed, int count,
                                 double* e) {
  const char* table = reinterpret_cast<const char*>(code_table().code);
  const uint64_t* tiles = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  for (; g + kTilesInFlight <= groups; g += kTilesInFlight) {
    update_tiles<kTilesInFlight, Dense>(table, tiles + 2 * g, d, changed, count, e + g * kTile);
  }
  for (; g < groups; ++g) update_tiles<1, Dense>(table, tiles + 2 * g, d, changed, count, e + g * kTile);
}

GP_AVX2_KERNEL void update_avx2(const PanelMatrix& x, int64_t panel, const double* d, double* e) {
  if (!all_finite(d, kTile)) return kPortablePanelKernel.update(x, panel, d, e);
  __m256d values[kTile];
  int changed[kTile];
  int count = 0;
  for (int c = 0; c < kTile; ++c) {
    values[c] = _mm256_set1_pd(d[c]);
    if (d[c] != 0.0) changed[count++] = c;
  }
  if (count == kTile) return update_panel<true>(x, panel, values, changed, count, e);
  if (count > 0) update_panel<false>(x, panel, values, changed, count, e);
}

}  // namespace

const PanelKernel kAvx2PanelKernel{"avx2", cross_avx2, update_avx2};

}  // namespace gp::bayes
