#include "estimator/row_block.hpp"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gp {

namespace {

void store_rows_plain(const int8_t* block, int64_t count, int64_t first, int64_t from_column, DesignMatrix& x) {
  for (int64_t j = from_column; j < x.cols; ++j) {
    int8_t* column = x.codes.data() + j * x.rows + first;
    for (int64_t r = 0; r < count; ++r) column[r] = block[r * x.cols + j];
  }
}

#if defined(__SSE2__)
// Transposes 16 rows of 16 codes: each round interleaves row k with row
// k + 8, which rotates the 8-bit (row, column) index of every byte by one
// bit; four rounds swap row and column.
void store_16_by_16(const int8_t* block, int64_t stride, int8_t* out, int64_t out_stride) {
  __m128i a[16];
  for (int k = 0; k < 16; ++k) a[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + k * stride));
  for (int round = 0; round < 4; ++round) {
    __m128i b[16];
    for (int k = 0; k < 8; ++k) {
      b[2 * k] = _mm_unpacklo_epi8(a[k], a[k + 8]);
      b[2 * k + 1] = _mm_unpackhi_epi8(a[k], a[k + 8]);
    }
    for (int k = 0; k < 16; ++k) a[k] = b[k];
  }
  for (int k = 0; k < 16; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k * out_stride), a[k]);
}
#endif

}  // namespace

void store_row_block(const int8_t* block, int64_t count, int64_t first, DesignMatrix& x) {
  int64_t j = 0;
#if defined(__SSE2__)
  if (count == kRowBlock) {
    for (; j + 16 <= x.cols; j += 16) {
      for (int64_t r = 0; r < kRowBlock; r += 16) {
        store_16_by_16(block + r * x.cols + j, x.cols, x.codes.data() + j * x.rows + first + r, x.rows);
      }
    }
  }
#endif
  store_rows_plain(block, count, first, j, x);
}

}  // namespace gp
