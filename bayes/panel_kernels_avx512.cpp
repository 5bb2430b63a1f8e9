// The AVX-512 panel kernels: eight doubles per register, lanes = the eight
// records of a record group; each tile's planes are transposed first, so
// that byte c holds column c's marks over the records.
//
// Why they are exact: a term is the value times -1.0 or +1.0 taken from a
// table by the negative marks, in a fused multiply-add whose product is
// exact, so its one rounding is the rounding of the plain addition or
// subtraction of the value (a NaN keeps its sign through the product as
// through the subtraction). Lanes whose code is zero are left as they are by
// the non-zero mask, as the definition leaves out their terms; that holds
// for every value, infinities and NaN included. Each sum keeps its order:
// cross holds S_r(c) in lane r of register c and adds one record group after
// the other, then pairs the lanes as the definition does; update holds s of
// eight records and adds the columns in ascending order. The build's
// -ffp-contract=off keeps the compiler from fusing on its own.
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>

#include "bayes/panel_kernels.hpp"
#include "estimator/tile_bits_avx512.hpp"

namespace gp::bayes {

namespace {

// The features of GP_TARGET_AVX512 and GFNI, for the transposition.
#define GP_AVX512_KERNEL __attribute__((target("avx2,fma,bmi,bmi2,avx512f,avx512bw,avx512cd,avx512dq,avx512vl,gfni")))

constexpr int64_t kTile = DesignMatrix::kTile;
// update keeps this many tiles' sums in flight: a sum is a chain of eight
// dependent additions.
constexpr int64_t kTilesInFlight = 8;

// The mask register of byte `index` of a plane held in memory, loaded
// straight into it: the compiler would go through a general register, which
// takes a port the vector instructions need.
GP_AVX512_KERNEL inline __mmask8 byte_mask(const uint64_t* plane, int index) {
  __mmask8 mask;
  __asm__("kmovb %1, %0" : "=k"(mask) : "m"(reinterpret_cast<const uint8_t*>(plane)[index]));
  return mask;
}

// Lane r of entry n: -1.0 where bit r of n is set, +1.0 elsewhere.
struct SignTable {
  alignas(64) double value[256][kTile];
  static constexpr int kEntryShift = 6;  // 64 bytes an entry
};

const SignTable& sign_table() {
  static const SignTable table = [] {
    SignTable t{};
    for (int n = 0; n < 256; ++n) {
      for (int r = 0; r < kTile; ++r) t.value[n][r] = (n >> r & 1) != 0 ? -1.0 : 1.0;
    }
    return t;
  }();
  return table;
}

// The signs of byte `byte` of a transposed negative plane: the byte rotated
// straight to its offset in the table and masked, two instructions.
GP_AVX512_KERNEL inline __m512d signs(uint64_t negative, int byte) {
  constexpr int kShift = SignTable::kEntryShift;
  const uint64_t offset = std::rotr(negative, (8 * byte - kShift) & 63) & (uint64_t{255} << kShift);
  return _mm512_load_pd(reinterpret_cast<const char*>(sign_table().value) + offset);
}

// The planes of Count (1 or 4) consecutive tiles, transposed.
template <int64_t Count>
GP_AVX512_KERNEL inline void transpose_tiles(const uint64_t* tiles, uint64_t (*transposed)[2]) {
  if constexpr (Count == 4) {
    _mm512_store_si512(transposed[0], transpose_tile_bits(_mm512_loadu_si512(tiles)));
  } else {
    static_assert(Count == 1);
    const __m128i planes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tiles));
    _mm_store_si128(reinterpret_cast<__m128i*>(transposed[0]), transpose_tile_bits(planes));
  }
  // The masks are read back from memory, one byte each, which costs less
  // than taking the bytes out of a vector register as the compiler would.
  __asm__("" : "+m"(*reinterpret_cast<uint64_t(*)[2 * Count]>(transposed)));
}

// S_0 .. S_7 of the panel's eight columns, lane r of column c's register
// holding S_r(c); passed by value, so the compiler keeps them in registers.
struct ColumnSums {
  __m512d column[kTile];
};

// The sums with the terms of Count consecutive tiles added.
template <int64_t Count>
GP_AVX512_KERNEL inline ColumnSums cross_tiles(const uint64_t* tiles, const double* e, ColumnSums sums) {
  alignas(64) uint64_t transposed[4][2];
  transpose_tiles<Count>(tiles, transposed);
#pragma GCC unroll 4
  for (int64_t a = 0; a < Count; ++a) {
    const __m512d value = _mm512_loadu_pd(e + a * kTile);
#pragma GCC unroll 8
    for (int c = 0; c < kTile; ++c) {
      sums.column[c] = _mm512_mask3_fmadd_pd(signs(transposed[a][1], c), value, sums.column[c],
                                             byte_mask(&transposed[a][0], c));
    }
  }
  return sums;
}

GP_AVX512_KERNEL void cross_avx512(const DesignMatrix& x, int64_t panel, const double* e, double* q) {
  ColumnSums sums;
  for (auto& s : sums.column) s = _mm512_setzero_pd();
  const uint64_t* tiles = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  for (; g + 4 <= groups; g += 4) sums = cross_tiles<4>(tiles + 2 * g, e + g * kTile, sums);
  for (; g < groups; ++g) sums = cross_tiles<1>(tiles + 2 * g, e + g * kTile, sums);
  alignas(64) double lanes[kTile][kTile];
  for (int c = 0; c < kTile; ++c) _mm512_store_pd(lanes[c], sums.column[c]);
  for (int c = 0; c < kTile; ++c) {
    const double* s = lanes[c];
    q[c] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
  }
}

// e less s for the records of `Count` consecutive tiles.
template <int64_t Count>
GP_AVX512_KERNEL inline void update_tiles(const uint64_t* tiles, const __m512d* d, double* e) {
  alignas(64) uint64_t transposed[Count < 4 ? 4 : Count][2];
  if constexpr (Count == 1) {
    transpose_tiles<1>(tiles, transposed);
  } else {
    for (int64_t a = 0; a < Count; a += 4) transpose_tiles<4>(tiles + 2 * a, transposed + a);
  }
  __m512d s[Count];
  for (auto& v : s) v = _mm512_setzero_pd();
  // Byte c of a transposed plane holds column c's marks over the records.
#pragma GCC unroll 8
  for (int c = 0; c < kTile; ++c) {
#pragma GCC unroll 8
    for (int64_t a = 0; a < Count; ++a) {
      s[a] = _mm512_mask3_fmadd_pd(signs(transposed[a][1], c), d[c], s[a], byte_mask(&transposed[a][0], c));
    }
  }
#pragma GCC unroll 8
  for (int64_t a = 0; a < Count; ++a) {
    _mm512_storeu_pd(e + a * kTile, _mm512_sub_pd(_mm512_loadu_pd(e + a * kTile), s[a]));
  }
}

// e less s for every record, s over the columns `changed` (ascending)
// alone: a column whose d is zero adds nothing to any s (s + 0 and s - 0 are
// s, for s is never -0.0), so a panel in which a SNP or two changed costs a
// pass over those columns only. A column's marks over a tile's records are
// gathered straight from the planes, with no transposition.
GP_AVX512_KERNEL void update_sparse(const DesignMatrix& x, int64_t panel, const __m512d* d, const int* changed,
                                    int count, double* e) {
  constexpr uint64_t kColumnZero = 0x0101010101010101;
  constexpr int kShift = SignTable::kEntryShift;
  const char* table = reinterpret_cast<const char*>(sign_table().value);
  const uint64_t* tiles = x.tile(0, panel);
  for (int64_t g = 0; g < x.row_groups(); ++g, tiles += 2, e += kTile) {
    __m512d s = _mm512_setzero_pd();
    for (int k = 0; k < count; ++k) {
      const uint64_t column = kColumnZero << changed[k];
      const __mmask8 mask = static_cast<__mmask8>(_pext_u64(tiles[0], column));
      const __m512d sign = _mm512_load_pd(table + (_pext_u64(tiles[1], column) << kShift));
      s = _mm512_mask3_fmadd_pd(sign, d[changed[k]], s, mask);
    }
    _mm512_storeu_pd(e, _mm512_sub_pd(_mm512_loadu_pd(e), s));
  }
}

GP_AVX512_KERNEL void update_avx512(const DesignMatrix& x, int64_t panel, const double* d, double* e) {
  __m512d values[kTile];
  int changed[kTile];
  int count = 0;
  for (int c = 0; c < kTile; ++c) {
    values[c] = _mm512_set1_pd(d[c]);
    if (d[c] != 0.0) changed[count++] = c;
  }
  if (count < kTile) return update_sparse(x, panel, values, changed, count, e);
  const uint64_t* tiles = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  for (; g + kTilesInFlight <= groups; g += kTilesInFlight) {
    update_tiles<kTilesInFlight>(tiles + 2 * g, values, e + g * kTile);
  }
  for (; g < groups; ++g) update_tiles<1>(tiles + 2 * g, values, e + g * kTile);
}

}  // namespace

const PanelKernel kAvx512PanelKernel{"avx512", cross_avx512, update_avx512};

}  // namespace gp::bayes
