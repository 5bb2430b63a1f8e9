// The AVX-512 panel kernels: eight doubles per register, lanes = the eight
// records of a record group. Byte c of a tile's transposed plane holds
// column c's marks over those records: the masks come straight from the
// matrix.
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

#include <bit>
#include <cstdint>

#include "bayes/panel_kernels.hpp"
#include "common/isa.hpp"

namespace gp::bayes {

namespace {

#define GP_AVX512_KERNEL GP_TARGET_AVX512


constexpr int64_t kTile = PanelMatrix::kTile;
// update keeps this many tiles' sums in flight: a sum is a chain of eight
// dependent additions.
constexpr int64_t kTilesInFlight = 8;
// cross asks for the tiles this many groups (2 KB) ahead.
constexpr int64_t kTilesAhead = 128;

// The mask of byte `index` of a plane in memory.
GP_AVX512_KERNEL inline __mmask8 byte_mask(const uint64_t* plane, int64_t index) {
  return _load_mask8(const_cast<__mmask8*>(reinterpret_cast<const __mmask8*>(plane) + index));
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

// The entry at `offset` bytes into the table, loaded on its own: folded into
// the multiply-add with an indexed address it would cost an extra
// micro-operation at issue. The table does not change once built, so the
// load needs no memory operand (one would keep the sums in memory too).
GP_AVX512_KERNEL inline __m512d table_entry(const char* table, uint64_t offset) {
  __m512d entry;
  __asm__("vmovapd (%1,%2), %0" : "=v"(entry) : "r"(table), "r"(offset));
  return entry;
}

// The signs of byte `byte` of a negative plane held in a register: the byte
// rotated straight to its offset in the table and masked, two instructions.
GP_AVX512_KERNEL inline __m512d signs(const char* table, uint64_t negative, int byte) {
  constexpr int kShift = SignTable::kEntryShift;
  return table_entry(table, std::rotr(negative, (8 * byte - kShift) & 63) & (uint64_t{255} << kShift));
}

// The signs of byte `byte` of a tile's negative plane, read from memory.
GP_AVX512_KERNEL inline __m512d signs_of_byte(const char* table, const uint64_t* tile, int64_t byte) {
  return table_entry(table, uint64_t{reinterpret_cast<const uint8_t*>(tile + 1)[byte]} << SignTable::kEntryShift);
}

// The terms of one tile added to S_0 .. S_7 of the panel's columns, lane r
// of sums[c] holding S_r(c).
GP_AVX512_KERNEL inline void cross_tile(const char* table, const uint64_t* tile, const double* e, __m512d* sums) {
  const __m512d value = _mm512_loadu_pd(e);
  const uint64_t negative = tile[1];
#pragma GCC unroll 8
  for (int c = 0; c < kTile; ++c) {
    sums[c] = _mm512_mask3_fmadd_pd(signs(table, negative, c), value, sums[c], byte_mask(tile, c));
  }
}

GP_AVX512_KERNEL void cross_avx512(const PanelMatrix& x, int64_t panel, const double* e, double* q) {
  const char* table = reinterpret_cast<const char*>(sign_table().value);
  __m512d sums[kTile];
  for (auto& s : sums) s = _mm512_setzero_pd();
  const uint64_t* tile = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  // The tiles kTilesAhead groups on asked into the cache, four (a line) at a
  // time: the processor's own prefetch does not cross a page.
  for (; g + kTilesAhead < groups; ++g, tile += 2, e += kTile) {
    if (g % 4 == 0) _mm_prefetch(reinterpret_cast<const char*>(tile + 2 * kTilesAhead), _MM_HINT_T0);
    cross_tile(table, tile, e, sums);
  }
  for (; g < groups; ++g, tile += 2, e += kTile) cross_tile(table, tile, e, sums);
  alignas(64) double lanes[kTile][kTile];
  for (int c = 0; c < kTile; ++c) _mm512_store_pd(lanes[c], sums[c]);
  for (int c = 0; c < kTile; ++c) {
    const double* s = lanes[c];
    q[c] = ((s[0] + s[1]) + (s[2] + s[3])) + ((s[4] + s[5]) + (s[6] + s[7]));
  }
}

// e less s for the records of `Count` consecutive tiles.
template <int64_t Count>
GP_AVX512_KERNEL inline void update_tiles(const char* table, const uint64_t* tiles, const __m512d* d, double* e) {
  uint64_t negative[Count];
  __m512d s[Count];
#pragma GCC unroll 8
  for (int64_t a = 0; a < Count; ++a) {
    negative[a] = tiles[2 * a + 1];
    s[a] = _mm512_setzero_pd();
  }
#pragma GCC unroll 8
  for (int c = 0; c < kTile; ++c) {
#pragma GCC unroll 8
    for (int64_t a = 0; a < Count; ++a) {
      s[a] = _mm512_mask3_fmadd_pd(signs(table, negative[a], c), d[c], s[a], byte_mask(tiles + 2 * a, c));
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
// pass over those columns only.
GP_AVX512_KERNEL void update_sparse(const char* table, const PanelMatrix& x, int64_t panel, const __m512d* d,
                                    const int* changed, int count, double* e) {
  const uint64_t* tile = x.tile(0, panel);
  for (int64_t g = 0; g < x.row_groups(); ++g, tile += 2, e += kTile) {
    __m512d s = _mm512_setzero_pd();
    for (int k = 0; k < count; ++k) {
      const int c = changed[k];
      s = _mm512_mask3_fmadd_pd(signs_of_byte(table, tile, c), d[c], s, byte_mask(tile, c));
    }
    _mm512_storeu_pd(e, _mm512_sub_pd(_mm512_loadu_pd(e), s));
  }
}

// The same for one column c: s is then +0.0 or the term, the value times
// -1.0 or +1.0, which is exact, so e - s is e where the code is zero and
// otherwise the one rounding of e less that exact product, one negated
// multiply-add into e.
GP_AVX512_KERNEL void update_column(const char* table, const PanelMatrix& x, int64_t panel, __m512d d, int c,
                                    double* e) {
  const uint64_t* tile = x.tile(0, panel);
  for (int64_t g = 0; g < x.row_groups(); ++g, tile += 2, e += kTile) {
    const __m512d value = _mm512_loadu_pd(e);
    _mm512_storeu_pd(e, _mm512_mask3_fnmadd_pd(signs_of_byte(table, tile, c), d, value, byte_mask(tile, c)));
  }
}

GP_AVX512_KERNEL void update_avx512(const PanelMatrix& x, int64_t panel, const double* d, double* e) {
  const char* table = reinterpret_cast<const char*>(sign_table().value);
  __m512d values[kTile];
  int changed[kTile];
  int count = 0;
  for (int c = 0; c < kTile; ++c) {
    values[c] = _mm512_set1_pd(d[c]);
    if (d[c] != 0.0) changed[count++] = c;
  }
  if (count == 1) return update_column(table, x, panel, values[changed[0]], changed[0], e);
  if (count < kTile) return update_sparse(table, x, panel, values, changed, count, e);
  const uint64_t* tiles = x.tile(0, panel);
  const int64_t groups = x.row_groups();
  int64_t g = 0;
  for (; g + kTilesInFlight <= groups; g += kTilesInFlight) {
    update_tiles<kTilesInFlight>(table, tiles + 2 * g, values, e + g * kTile);
  }
  for (; g < groups; ++g) update_tiles<1>(table, tiles + 2 * g, values, e + g * kTile);
}

}  // namespace

const PanelKernel kAvx512PanelKernel{"avx512", cross_avx512, update_avx512};

}  // namespace gp::bayes
