// The AVX-512 kernel of lhs_product: eight doubles per register, each term
// +value or -value added under the non-zero mask of a tile's byte, with no
// conversion of codes. Its row pass also runs on eight floats per register
// for the genomic values, where the same reasoning holds in single precision.
//
// Why it is exact: a code of -1 or +1 makes the per-record term exactly
// -value or +value. The kernel multiplies the value by -1.0 or +1.0 taken
// from a table by the negative marks, in a fused multiply-add: with the
// product exact, its one rounding is the rounding of the per-record
// addition. A zero code makes the term 0 * value, a signed zero when the
// value is finite. Every sum starts at +0.0 and can never become -0.0 (in
// round to nearest x + y is -0.0 only when both are), and adding a signed
// zero to a sum that is not -0.0 leaves it unchanged: so the zero terms are
// left out, by the non-zero mask. That needs finite values: 0 * infinity or
// 0 * NaN is NaN. So each pass first checks its values (v for the row sums,
// the row sums for the column sums) and hands a pass whose values are not
// all finite to the AVX2 pass, which multiplies every code. Each sum keeps
// the per-record order: s(i) over ascending columns, w(j) over ascending
// records. The build's -ffp-contract=off keeps the compiler from fusing on
// its own.
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

#define GP_AVX512_KERNEL __attribute__((target("avx2,fma,bmi2,avx512f,avx512bw,avx512dq,avx512vl,gfni")))

constexpr int64_t kTile = DesignMatrix::kTile;
// Pass 1 keeps 16 record groups of row sums in registers while a chunk of
// panels goes by; pass 2 keeps the column sums of 16 panels. Sixteen chains
// of additions in flight, four at a time, cover the adders' latency.
constexpr int kRowGroupsInFlight = 16;
constexpr int64_t kPanelChunk = 16;
constexpr int kPanelsInFlight = 16;

bool all_finite(const double* values, int64_t count) {
  for (int64_t k = 0; k < count; ++k) {
    if (!std::isfinite(values[k])) return false;
  }
  return true;
}

// Eight lanes of doubles for the product, or of floats for the genomic
// values: the same masks and signs, a register of half the width.
struct DoubleLanes {
  using Value = double;
  using Vec = __m512d;
  GP_AVX512_KERNEL static Vec load(const double* p) { return _mm512_loadu_pd(p); }
  GP_AVX512_KERNEL static void store(double* p, Vec a) { _mm512_storeu_pd(p, a); }
  GP_AVX512_KERNEL static Vec broadcast(double a) { return _mm512_set1_pd(a); }
  GP_AVX512_KERNEL static Vec load_aligned(const void* p) { return _mm512_load_pd(p); }
  GP_AVX512_KERNEL static Vec fmadd_masked(Vec a, Vec b, Vec c, __mmask8 m) { return _mm512_mask3_fmadd_pd(a, b, c, m); }
};

struct FloatLanes {
  using Value = float;
  using Vec = __m256;
  GP_AVX512_KERNEL static Vec load(const float* p) { return _mm256_loadu_ps(p); }
  GP_AVX512_KERNEL static void store(float* p, Vec a) { _mm256_storeu_ps(p, a); }
  GP_AVX512_KERNEL static Vec broadcast(float a) { return _mm256_set1_ps(a); }
  GP_AVX512_KERNEL static Vec load_aligned(const void* p) { return _mm256_load_ps(static_cast<const float*>(p)); }
  GP_AVX512_KERNEL static Vec fmadd_masked(Vec a, Vec b, Vec c, __mmask8 m) { return _mm256_mask3_fmadd_ps(a, b, c, m); }
};

// Lane c of entry n: -1 where bit c of n is set, +1 elsewhere.
template <class Value>
struct SignTable {
  alignas(64) Value value[256][kTile];
  static constexpr int kEntryShift = std::countr_zero(sizeof(value[0]));
};

template <class Value>
const SignTable<Value>& sign_table() {
  static const SignTable<Value> table = [] {
    SignTable<Value> t{};
    for (int n = 0; n < 256; ++n) {
      for (int c = 0; c < kTile; ++c) t.value[n][c] = (n >> c & 1) != 0 ? Value{-1} : Value{1};
    }
    return t;
  }();
  return table;
}

// Byte offset in the sign table of the entry for byte e of `negative`: the
// byte rotated straight to its place times the entry size, then masked; a
// rotation by a constant leaves its operand in place, so no copy is needed.
template <class Value>
GP_AVX512_KERNEL inline uint64_t sign_offset(uint64_t negative, int e) {
  constexpr int kShift = SignTable<Value>::kEntryShift;
  return std::rotr(negative, (8 * e - kShift) & 63) & (uint64_t{255} << kShift);
}

// Adds the terms of Q tiles, one sum each: for byte e < count, byte e of the
// tile's non-zero plane masks the lanes, byte e of its negative plane picks
// the signs, and values[e] is the value. The Q sums are independent chains.
template <class Lanes, int Q>
GP_AVX512_KERNEL inline void add_tiles(typename Lanes::Vec* sum, const uint8_t* const* nonzero,
                                       const uint64_t* negative, const typename Lanes::Vec* values, int64_t count) {
  using Value = typename Lanes::Value;
  const char* table = reinterpret_cast<const char*>(sign_table<Value>().value);
#pragma GCC unroll 8
  for (int e = 0; e < kTile; ++e) {
    if (e >= count) break;
#pragma GCC unroll 4
    for (int q = 0; q < Q; ++q) {
      const auto sign = Lanes::load_aligned(table + sign_offset<Value>(negative[q], e));
      // The mask straight from memory (the intrinsic only reads through its pointer).
      const __mmask8 mask = _load_mask8(const_cast<__mmask8*>(nonzero[q] + e));
      sum[q] = Lanes::fmadd_masked(sign, values[e], sum[q], mask);
    }
  }
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

// Tiles taken four at a time, or one at a time in blocks of one.
template <int Count>
constexpr int kQuad = Count % 4 == 0 ? 4 : 1;

// s of record groups g0 .. g0 + Groups - 1 over panels p0 .. p1 - 1: the
// groups' tiles of one panel lie side by side, 16 bytes each, and are
// transposed into one byte per column, bit r for record r.
template <class Lanes, int Groups>
GP_AVX512_KERNEL void row_sums_block(const DesignMatrix& x, const typename Lanes::Value* v, int64_t g0, int64_t p0,
                                     int64_t p1, typename Lanes::Value* s) {
  static_assert(Groups % 4 == 0 || Groups == 1);
  constexpr int Q = kQuad<Groups>;
  typename Lanes::Vec sum[Groups];
#pragma GCC unroll 16
  for (int a = 0; a < Groups; ++a) sum[a] = Lanes::load(s + (g0 + a) * kTile);
  alignas(64) uint64_t transposed[Groups][2];
  for (int64_t panel = p0; panel < p1; ++panel) {
    const uint64_t* tiles = x.tile(g0, panel);
    if constexpr (Groups == 1) {
      const __m128i pair = _mm_loadu_si128(reinterpret_cast<const __m128i*>(tiles));
      _mm_store_si128(reinterpret_cast<__m128i*>(transposed), transpose_bits(pair));
    } else {
#pragma GCC unroll 4
      for (int a = 0; a < Groups; a += 4) {
        _mm512_store_si512(transposed[a], transpose_bits(_mm512_loadu_si512(tiles + 2 * a)));
      }
    }
    // The masks are read back from memory, one byte each, which costs less
    // than taking the bytes out of vector registers as the compiler would.
    __asm__("" : : "r"(transposed) : "memory");
    const int64_t first = panel * kTile;
    const int64_t count = std::min(kTile, x.cols - first);
    typename Lanes::Vec values[kTile];
#pragma GCC unroll 8
    for (int e = 0; e < kTile; ++e) values[e] = Lanes::broadcast(e < count ? v[first + e] : 0);
#pragma GCC unroll 4
    for (int a = 0; a < Groups; a += Q) {
      const uint8_t* nonzero[Q];
      uint64_t negative[Q];
#pragma GCC unroll 4
      for (int q = 0; q < Q; ++q) {
        nonzero[q] = reinterpret_cast<const uint8_t*>(&transposed[a + q][0]);
        negative[q] = transposed[a + q][1];
      }
      if (count == kTile) {
        add_tiles<Lanes, Q>(sum + a, nonzero, negative, values, kTile);
      } else {
        add_tiles<Lanes, Q>(sum + a, nonzero, negative, values, count);
      }
    }
  }
#pragma GCC unroll 16
  for (int a = 0; a < Groups; ++a) Lanes::store(s + (g0 + a) * kTile, sum[a]);
}

// w of panels p0 .. p0 + Panels - 1 over all records: byte r of a tile's
// planes is record r, bit c column c, the masks as they lie. Records past
// the end have no marks, so they add nothing.
template <int Panels>
GP_AVX512_KERNEL void column_sums_block(const DesignMatrix& x, const double* s, int64_t p0, double* w) {
  constexpr int Q = kQuad<Panels>;
  __m512d sum[Panels];
#pragma GCC unroll 16
  for (int b = 0; b < Panels; ++b) sum[b] = _mm512_setzero_pd();
  const int64_t panel_bytes = 16 * x.row_groups();
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    __m512d values[kTile];
#pragma GCC unroll 8
    for (int e = 0; e < kTile; ++e) values[e] = _mm512_set1_pd(s[g * kTile + e]);
    const uint8_t* planes = reinterpret_cast<const uint8_t*>(x.tile(g, p0));
#pragma GCC unroll 4
    for (int b = 0; b < Panels; b += Q) {
      const uint8_t* nonzero[Q];
      uint64_t negative[Q];
#pragma GCC unroll 4
      for (int q = 0; q < Q; ++q) {
        nonzero[q] = planes + (b + q) * panel_bytes;
        std::memcpy(&negative[q], nonzero[q] + 8, sizeof(uint64_t));
      }
      add_tiles<DoubleLanes, Q>(sum + b, nonzero, negative, values, kTile);
    }
  }
  const int64_t first = p0 * kTile;
#pragma GCC unroll 16
  for (int b = 0; b < Panels; ++b) {
    const int64_t valid = std::clamp<int64_t>(x.cols - first - b * kTile, 0, kTile);
    _mm512_mask_storeu_pd(w + first + b * kTile, static_cast<__mmask8>((1u << valid) - 1), sum[b]);
  }
}

template <class Lanes>
GP_AVX512_KERNEL void row_sums_avx512(const DesignMatrix& x, const typename Lanes::Value* v,
                                      typename Lanes::Value* s) {
  const int64_t groups = x.row_groups();
  std::fill(s, s + groups * kTile, typename Lanes::Value{0});
  for (int64_t p0 = 0; p0 < x.col_groups(); p0 += kPanelChunk) {
    const int64_t p1 = std::min(x.col_groups(), p0 + kPanelChunk);
    int64_t g = 0;
    for (; g + kRowGroupsInFlight <= groups; g += kRowGroupsInFlight) {
      row_sums_block<Lanes, kRowGroupsInFlight>(x, v, g, p0, p1, s);
    }
    for (; g + 4 <= groups; g += 4) row_sums_block<Lanes, 4>(x, v, g, p0, p1, s);
    for (; g < groups; ++g) row_sums_block<Lanes, 1>(x, v, g, p0, p1, s);
  }
}

GP_AVX512_KERNEL void column_sums_avx512(const DesignMatrix& x, const double* s, double* w) {
  int64_t p = 0;
  for (; p + kPanelsInFlight <= x.col_groups(); p += kPanelsInFlight) column_sums_block<kPanelsInFlight>(x, s, p, w);
  for (; p + 4 <= x.col_groups(); p += 4) column_sums_block<4>(x, s, p, w);
  for (; p < x.col_groups(); ++p) column_sums_block<1>(x, s, p, w);
}

}  // namespace

void float_row_sums_avx512(const DesignMatrix& x, const float* v, float* s) {
  row_sums_avx512<FloatLanes>(x, v, s);
}

void lhs_product_avx512(const DesignMatrix& x, float var_ratio, std::span<const double> v,
                        std::span<double> row_sums, std::span<double> w) {
  double* s = row_sums.data();
  if (all_finite(v.data(), x.cols)) {
    row_sums_avx512<DoubleLanes>(x, v.data(), s);
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
