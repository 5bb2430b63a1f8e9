// The AVX2 kernel of lhs_product: four doubles per register, the two-bit
// codes of four elements read as one index into a table of their values.
// Its row pass also runs on four floats per register for the genomic
// values, where the same reasoning holds in single precision.
//
// Why it is exact: the table holds each code as the very double the
// per-record form multiplies by (-1.0, +0.0 or +1.0), so every product
// code * value is exact (the value itself, its negation, or a signed zero;
// infinity * 0 is NaN either way). A fused multiply-add rounds
// code * value + sum once, and with the product exact that is the very
// rounding of the separate addition: the fused form gives the same double,
// infinities and NaN included. The build's -ffp-contract=off keeps the
// compiler from fusing on its own; the intrinsics below fuse only where this
// argument holds. Each sum keeps the per-record order: s(i) over ascending
// columns, w(j) over ascending records.
#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cstdint>

#include "estimator/lhs_product.hpp"
#include "estimator/lhs_product_passes.hpp"

namespace gp {

namespace {

#define GP_AVX2_KERNEL __attribute__((target("avx2,fma,bmi2")))

constexpr int64_t kTile = DesignMatrix::kTile;
// Pass 1 keeps 4 record groups (8 registers) of row sums while a chunk of
// panels goes by; pass 2 keeps the column sums of 4 panels.
constexpr int64_t kRowGroupsInFlight = 4;
constexpr int64_t kPanelChunk = 16;
constexpr int64_t kPanelsInFlight = 4;

// Four lanes of doubles for the product, or of floats for the genomic
// values: the same table indices, a register of half the width.
struct DoubleLanes {
  using Value = double;
  using Vec = __m256d;
  GP_AVX2_KERNEL static Vec load(const double* p) { return _mm256_loadu_pd(p); }
  GP_AVX2_KERNEL static void store(double* p, Vec a) { _mm256_storeu_pd(p, a); }
  GP_AVX2_KERNEL static Vec broadcast(const double* p) { return _mm256_broadcast_sd(p); }
  GP_AVX2_KERNEL static Vec load_aligned(const void* p) { return _mm256_load_pd(static_cast<const double*>(p)); }
  GP_AVX2_KERNEL static Vec fmadd(Vec a, Vec b, Vec c) { return _mm256_fmadd_pd(a, b, c); }
};

struct FloatLanes {
  using Value = float;
  using Vec = __m128;
  GP_AVX2_KERNEL static Vec load(const float* p) { return _mm_loadu_ps(p); }
  GP_AVX2_KERNEL static void store(float* p, Vec a) { _mm_storeu_ps(p, a); }
  GP_AVX2_KERNEL static Vec broadcast(const float* p) { return _mm_broadcast_ss(p); }
  GP_AVX2_KERNEL static Vec load_aligned(const void* p) { return _mm_load_ps(static_cast<const float*>(p)); }
  GP_AVX2_KERNEL static Vec fmadd(Vec a, Vec b, Vec c) { return _mm_fmadd_ps(a, b, c); }
};

// Four elements' codes, indexed by their non-zero marks (bits 0-3) and
// negative marks (bits 4-7).
template <class Value>
struct CodeTable {
  alignas(32) Value value[256][4];
  static constexpr int kEntryShift = std::countr_zero(sizeof(value[0]));
};

template <class Value>
const CodeTable<Value>& code_table() {
  static const CodeTable<Value> table = [] {
    CodeTable<Value> t{};
    for (int index = 0; index < 256; ++index) {
      for (int lane = 0; lane < 4; ++lane) {
        const int nonzero = index >> lane & 1;
        const int negative = index >> (lane + 4) & 1;
        t.value[index][lane] = static_cast<Value>(nonzero - 2 * (negative & nonzero));
      }
    }
    return t;
  }();
  return table;
}

// Table indices of a plane pair: byte b of `low` for bits 0-3 of byte b of
// the planes, byte b of `high` for bits 4-7.
inline void table_indices(uint64_t nonzero, uint64_t negative, uint64_t& low, uint64_t& high) {
  constexpr uint64_t kLow = 0x0F0F0F0F0F0F0F0F;
  low = (nonzero & kLow) | (negative & kLow) << 4;
  high = (nonzero >> 4 & kLow) | (negative & ~kLow);
}

// Bit 8 r + c to bit 8 c + r: three exchanges of ever larger blocks.
inline uint64_t transpose_bits(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AA;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCC;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0;
  x ^= t ^ (t << 28);
  return x;
}

// The entry for byte `byte` of `indices`: the byte rotated straight to its
// byte offset (times the entry size) and masked, with no copy of `indices`.
template <class Lanes>
GP_AVX2_KERNEL inline typename Lanes::Vec codes(const CodeTable<typename Lanes::Value>& table, uint64_t indices,
                                                int64_t byte) {
  constexpr int kShift = CodeTable<typename Lanes::Value>::kEntryShift;
  const uint64_t offset = std::rotr(indices, static_cast<int>((8 * byte - kShift) & 63)) & (uint64_t{255} << kShift);
  return Lanes::load_aligned(reinterpret_cast<const char*>(table.value) + offset);
}

// Adds the terms of N tiles, two sums each (lanes 0-3 and 4-7): for byte
// e < count, `low` and `high` hold the table indices of byte e, and
// values[e] is the value.
template <class Lanes, int N>
GP_AVX2_KERNEL inline void add_terms(typename Lanes::Vec (*sum)[2], const uint64_t* low, const uint64_t* high,
                                     const typename Lanes::Value* values, int64_t count) {
  const auto& table = code_table<typename Lanes::Value>();
#pragma GCC unroll 8
  for (int e = 0; e < kTile; ++e) {
    if (e >= count) break;
    const auto value = Lanes::broadcast(values + e);
#pragma GCC unroll 4
    for (int n = 0; n < N; ++n) {
      sum[n][0] = Lanes::fmadd(codes<Lanes>(table, low[n], e), value, sum[n][0]);
      sum[n][1] = Lanes::fmadd(codes<Lanes>(table, high[n], e), value, sum[n][1]);
    }
  }
}

// The same, with the constant count of a whole tile when it is one.
template <class Lanes, int N>
GP_AVX2_KERNEL inline void add_tile_terms(typename Lanes::Vec (*sum)[2], const uint64_t* low, const uint64_t* high,
                                          const typename Lanes::Value* values, int64_t count) {
  if (count == kTile) {
    add_terms<Lanes, N>(sum, low, high, values, kTile);
  } else {
    add_terms<Lanes, N>(sum, low, high, values, count);
  }
}

// s of record groups g0 .. g0 + Groups - 1 over panels p0 .. p1 - 1. A
// transposed tile has one byte per column, bit r for record r.
template <class Lanes, int Groups>
GP_AVX2_KERNEL void row_sums_block(const DesignMatrix& x, const typename Lanes::Value* v, int64_t g0, int64_t p0,
                                   int64_t p1, typename Lanes::Value* s) {
  typename Lanes::Vec sum[Groups][2];
#pragma GCC unroll 4
  for (int a = 0; a < Groups; ++a) {
    sum[a][0] = Lanes::load(s + (g0 + a) * kTile);
    sum[a][1] = Lanes::load(s + (g0 + a) * kTile + 4);
  }
  for (int64_t panel = p0; panel < p1; ++panel) {
    uint64_t low[Groups], high[Groups];
#pragma GCC unroll 4
    for (int a = 0; a < Groups; ++a) {
      const uint64_t* tile = x.tile(g0 + a, panel);
      table_indices(transpose_bits(tile[0]), transpose_bits(tile[1]), low[a], high[a]);
    }
    const int64_t first = panel * kTile;
    add_tile_terms<Lanes, Groups>(sum, low, high, v + first, std::min(kTile, x.cols - first));
  }
#pragma GCC unroll 4
  for (int a = 0; a < Groups; ++a) {
    Lanes::store(s + (g0 + a) * kTile, sum[a][0]);
    Lanes::store(s + (g0 + a) * kTile + 4, sum[a][1]);
  }
}

// w of panels p0 .. p0 + Panels - 1 over all records. An untransposed tile
// has one byte per record, bit c for column c.
template <int Panels>
GP_AVX2_KERNEL void column_sums_block(const DesignMatrix& x, const double* s, int64_t p0, double* w) {
  __m256d sum[Panels][2];
#pragma GCC unroll 4
  for (int b = 0; b < Panels; ++b) sum[b][0] = sum[b][1] = _mm256_setzero_pd();
  for (int64_t g = 0; g < x.row_groups(); ++g) {
    uint64_t low[Panels], high[Panels];
#pragma GCC unroll 4
    for (int b = 0; b < Panels; ++b) {
      const uint64_t* tile = x.tile(g, p0 + b);
      table_indices(tile[0], tile[1], low[b], high[b]);
    }
    add_tile_terms<DoubleLanes, Panels>(sum, low, high, s + g * kTile, std::min(kTile, x.rows - g * kTile));
  }
  alignas(32) double out[Panels * kTile];
#pragma GCC unroll 4
  for (int b = 0; b < Panels; ++b) {
    _mm256_store_pd(out + b * kTile, sum[b][0]);
    _mm256_store_pd(out + b * kTile + 4, sum[b][1]);
  }
  const int64_t first = p0 * kTile;
  std::copy(out, out + std::min(Panels * kTile, x.cols - first), w + first);
}

template <class Lanes>
GP_AVX2_KERNEL void row_sums(const DesignMatrix& x, const typename Lanes::Value* v, typename Lanes::Value* s) {
  const int64_t groups = x.row_groups();
  std::fill(s, s + groups * kTile, typename Lanes::Value{0});
  for (int64_t p0 = 0; p0 < x.col_groups(); p0 += kPanelChunk) {
    const int64_t p1 = std::min(x.col_groups(), p0 + kPanelChunk);
    int64_t g = 0;
    for (; g + kRowGroupsInFlight <= groups; g += kRowGroupsInFlight) {
      row_sums_block<Lanes, kRowGroupsInFlight>(x, v, g, p0, p1, s);
    }
    for (; g < groups; ++g) row_sums_block<Lanes, 1>(x, v, g, p0, p1, s);
  }
}

}  // namespace

void row_sums_avx2(const DesignMatrix& x, const double* v, double* s) { row_sums<DoubleLanes>(x, v, s); }

void float_row_sums_avx2(const DesignMatrix& x, const float* v, float* s) { row_sums<FloatLanes>(x, v, s); }

GP_AVX2_KERNEL void column_sums_avx2(const DesignMatrix& x, const double* s, double* w) {
  int64_t p = 0;
  for (; p + kPanelsInFlight <= x.col_groups(); p += kPanelsInFlight) column_sums_block<kPanelsInFlight>(x, s, p, w);
  for (; p < x.col_groups(); ++p) column_sums_block<1>(x, s, p, w);
}

void lhs_product_avx2(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                      std::span<double> w) {
  row_sums_avx2(x, v.data(), row_sums.data());
  column_sums_avx2(x, row_sums.data(), w.data());
  add_ratio(var_ratio, v.data(), w.data(), x.cols);
}

}  // namespace gp
