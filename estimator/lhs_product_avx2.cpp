// The vector kernel of lhs_product: the same two passes as the portable
// kernel, with four doubles per register.
//
// Every code is -1, 0 or +1, so each product code * value is exact (the
// value itself, its negation, or a signed zero; infinity * 0 is NaN either
// way). A fused multiply-add rounds code * value + sum once, and with the
// product exact that is the very rounding of the separate addition: the
// fused form gives the same double, infinities and NaN included. The
// build's -ffp-contract=off keeps the compiler from fusing on its own; the
// intrinsics below fuse only where this argument holds.
#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "estimator/lhs_product.hpp"

namespace gp {

namespace {

#define GP_VECTOR_KERNEL __attribute__((target("avx2,fma")))

// Pass 1 works on blocks of 8 x 4 rows whose sums stay in registers while a
// chunk of columns goes by; consecutive blocks read the next bytes of the
// same cache lines, still in the first-level cache.
constexpr int64_t kBlockVectors = 8;
constexpr int64_t kBlockRows = 4 * kBlockVectors;
constexpr int64_t kColumnChunk = 16;

// Pass 2 keeps 8 x 4 column sums in registers and walks down the rows 32 at
// a time, turning each 16 x 4 piece of the column-major matrix into 16 rows
// of 4 codes. (Laying out 32 rows before summing them runs faster than 16:
// the sums then read codes stored longer ago.)
constexpr int64_t kGroupVectors = 8;
constexpr int64_t kPieceRows = 16;
constexpr int64_t kTileRows = 2 * kPieceRows;

// Four codes as four doubles, without a conversion instruction: each code,
// sign-extended to 64 bits, is added to the bits of 1.5 * 2^52, whose
// neighbours lie exactly 1 apart, giving the double 1.5 * 2^52 + code; taking
// 1.5 * 2^52 away again leaves the code exactly (0 as +0.0, as a conversion
// gives).
GP_VECTOR_KERNEL inline __m256d four_codes(const int8_t* p) {
  int32_t bytes;
  std::memcpy(&bytes, p, sizeof bytes);
  const __m256i wide = _mm256_cvtepi8_epi64(_mm_cvtsi32_si128(bytes));
  const __m256i offset = _mm256_set1_epi64x(0x4338000000000000);
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_add_epi64(wide, offset)), _mm256_castsi256_pd(offset));
}

// Both passes walk the matrix in column-major regions: pass 1 a chunk of
// columns, pass 2 a group. When a region is short (few rows) the processor's
// own prefetching has too little of each column to find its stream, so the
// next region, if it fits the second-level cache beside the current one, is
// requested a few lines per step while the current one is summed.
constexpr int64_t kPrefetchRegionLimit = 384 * 1024;
constexpr int64_t kLine = 64;

class RegionPrefetch {
 public:
  // The region of columns first .. first + count - 1, spread over `steps`.
  GP_VECTOR_KERNEL RegionPrefetch(const DesignMatrix& x, int64_t first, int64_t count, int64_t steps) {
    const int64_t end_column = std::min(first + count, x.cols);
    const int64_t bytes = (end_column - std::min(first, end_column)) * x.rows;
    if (bytes == 0 || bytes > kPrefetchRegionLimit) return;
    next_ = reinterpret_cast<const char*>(x.column(std::min(first, end_column)));
    end_ = next_ + bytes;
    lines_per_step_ = bytes / kLine / std::max<int64_t>(1, steps) + 1;
  }

  GP_VECTOR_KERNEL void step() {
    for (int64_t l = 0; l < lines_per_step_ && next_ < end_; ++l, next_ += kLine) _mm_prefetch(next_, _MM_HINT_T0);
  }

 private:
  const char* next_ = nullptr;
  const char* end_ = nullptr;
  int64_t lines_per_step_ = 0;
};

// s(i0 .. i0 + 4 * Vectors - 1) over the columns k0 .. k1 - 1.
template <int Vectors>
GP_VECTOR_KERNEL inline void row_sums_block(const DesignMatrix& x, const double* v, int64_t i0, int64_t k0,
                                            int64_t k1, double* s) {
  __m256d sum[Vectors];
#pragma GCC unroll 8
  for (int a = 0; a < Vectors; ++a) sum[a] = _mm256_loadu_pd(s + i0 + 4 * a);
  for (int64_t k = k0; k < k1; ++k) {
    const int8_t* codes = x.column(k) + i0;
    const __m256d vk = _mm256_broadcast_sd(v + k);
#pragma GCC unroll 8
    for (int a = 0; a < Vectors; ++a) sum[a] = _mm256_fmadd_pd(four_codes(codes + 4 * a), vk, sum[a]);
  }
#pragma GCC unroll 8
  for (int a = 0; a < Vectors; ++a) _mm256_storeu_pd(s + i0 + 4 * a, sum[a]);
}

GP_VECTOR_KERNEL void row_sums_pass(const DesignMatrix& x, const double* v, double* s) {
  const int64_t rows = x.rows;
  const int64_t cols = x.cols;
  std::fill(s, s + rows, 0.0);
  for (int64_t k0 = 0; k0 < cols; k0 += kColumnChunk) {
    const int64_t k1 = std::min(cols, k0 + kColumnChunk);
    int64_t i = 0;
    RegionPrefetch next_chunk(x, k1, kColumnChunk, rows / kBlockRows);
    for (; i + kBlockRows <= rows; i += kBlockRows) {
      next_chunk.step();
      row_sums_block<kBlockVectors>(x, v, i, k0, k1, s);
    }
    for (; i + 4 <= rows; i += 4) row_sums_block<1>(x, v, i, k0, k1, s);
    for (; i < rows; ++i) {
      double sum = s[i];
      for (int64_t k = k0; k < k1; ++k) sum = static_cast<double>(x.at(i, k)) * v[k] + sum;
      s[i] = sum;
    }
  }
}

// tile[r * 4 + c] = code (i + r, j + c) for r < 16, c < 4.
GP_VECTOR_KERNEL inline void transpose_piece(const DesignMatrix& x, int64_t i, int64_t j, int8_t* tile) {
  const auto load = [&](int64_t c) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(x.column(j + c) + i));
  };
  const __m128i c0 = load(0), c1 = load(1), c2 = load(2), c3 = load(3);
  const __m128i pairs01_lo = _mm_unpacklo_epi8(c0, c1), pairs01_hi = _mm_unpackhi_epi8(c0, c1);
  const __m128i pairs23_lo = _mm_unpacklo_epi8(c2, c3), pairs23_hi = _mm_unpackhi_epi8(c2, c3);
  __m128i* out = reinterpret_cast<__m128i*>(tile);
  _mm_storeu_si128(out + 0, _mm_unpacklo_epi16(pairs01_lo, pairs23_lo));
  _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(pairs01_lo, pairs23_lo));
  _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(pairs01_hi, pairs23_hi));
  _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(pairs01_hi, pairs23_hi));
}

// Adds rows i .. i + Rows - 1 of columns j .. j + 4 * Groups - 1 to `sum`.
template <int Groups, int64_t Rows>
GP_VECTOR_KERNEL inline void column_sums_rows(const DesignMatrix& x, const double* s, int64_t i, int64_t j,
                                              __m256d* sum) {
  alignas(64) int8_t tile[Groups][4 * Rows];
#pragma GCC unroll 8
  for (int g = 0; g < Groups; ++g) {
    for (int64_t piece = 0; piece < Rows; piece += kPieceRows) {
      transpose_piece(x, i + piece, j + 4 * g, tile[g] + 4 * piece);
    }
  }
#pragma GCC unroll 4
  for (int64_t r = 0; r < Rows; ++r) {
    const __m256d si = _mm256_broadcast_sd(s + i + r);
#pragma GCC unroll 8
    for (int g = 0; g < Groups; ++g) sum[g] = _mm256_fmadd_pd(four_codes(tile[g] + 4 * r), si, sum[g]);
  }
}

// w(j .. j + 4 * Groups - 1) over all rows, each sum in ascending row order.
template <int Groups>
GP_VECTOR_KERNEL void column_sums_group(const DesignMatrix& x, const double* s, int64_t j, double* w) {
  const int64_t rows = x.rows;
  __m256d sum[Groups];
#pragma GCC unroll 8
  for (int g = 0; g < Groups; ++g) sum[g] = _mm256_setzero_pd();
  int64_t i = 0;
  RegionPrefetch next_group(x, j + 4 * Groups, 4 * Groups, rows / kTileRows);
  for (; i + kTileRows <= rows; i += kTileRows) {
    next_group.step();
    column_sums_rows<Groups, kTileRows>(x, s, i, j, sum);
  }
  for (; i + kPieceRows <= rows; i += kPieceRows) column_sums_rows<Groups, kPieceRows>(x, s, i, j, sum);
#pragma GCC unroll 8
  for (int g = 0; g < Groups; ++g) _mm256_storeu_pd(w + j + 4 * g, sum[g]);
  for (int64_t c = j; c < j + 4 * Groups; ++c) {
    double total = w[c];
    for (int64_t r = i; r < rows; ++r) total = static_cast<double>(x.at(r, c)) * s[r] + total;
    w[c] = total;
  }
}

GP_VECTOR_KERNEL void column_sums_pass(const DesignMatrix& x, const double* s, double* w) {
  const int64_t cols = x.cols;
  int64_t j = 0;
  for (; j + 4 * kGroupVectors <= cols; j += 4 * kGroupVectors) column_sums_group<kGroupVectors>(x, s, j, w);
  for (; j + 4 <= cols; j += 4) column_sums_group<1>(x, s, j, w);
  for (; j < cols; ++j) {
    double total = 0.0;
    for (int64_t i = 0; i < x.rows; ++i) total = static_cast<double>(x.at(i, j)) * s[i] + total;
    w[j] = total;
  }
}

}  // namespace

bool lhs_product_avx2_available() {
  return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

void lhs_product_avx2(const DesignMatrix& x, float var_ratio, std::span<const double> v, std::span<double> row_sums,
                      std::span<double> w) {
  row_sums_pass(x, v.data(), row_sums.data());
  column_sums_pass(x, row_sums.data(), w.data());
  const double ratio = static_cast<double>(var_ratio);
  for (int64_t j = 1; j < x.cols; ++j) w[j] = ratio * v[j] + w[j];
}

}  // namespace gp
