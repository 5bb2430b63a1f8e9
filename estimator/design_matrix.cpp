#include "estimator/design_matrix.hpp"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gp {

namespace {

// Byte r of the non-zero plane of tile (g, j); the negative plane's byte is
// 8 bytes further.
uint8_t* plane_byte(DesignMatrix& x, int64_t i, int64_t j) {
  const int64_t word = 2 * ((j / DesignMatrix::kTile) * x.row_groups() + i / DesignMatrix::kTile);
  return reinterpret_cast<uint8_t*>(x.planes.data() + word) + i % DesignMatrix::kTile;
}

}  // namespace

int64_t DesignMatrix::words_for(int64_t rows, int64_t cols) {
  if (rows <= 0 || cols <= 0) return 0;
  return 2 * ((rows + kTile - 1) / kTile) * ((cols + kTile - 1) / kTile);
}

void DesignMatrix::store_row(int64_t i, const int8_t* codes) {
  if (cols <= 0) return;
  uint8_t* out = plane_byte(*this, i, 0);
  // Consecutive panels hold record i's bytes one panel apart.
  const int64_t panel_bytes = 16 * row_groups();
  int64_t j = 0;
#if defined(__SSE2__)
  // Sixteen codes give two bytes of each plane: the sign bits of the codes
  // are the negative marks, the codes unequal to zero the non-zero marks.
  for (; j + 16 <= cols; j += 16, out += 2 * panel_bytes) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(codes + j));
    const int zero = _mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_setzero_si128()));
    const int negative = _mm_movemask_epi8(c);
    out[0] = static_cast<uint8_t>(~zero);
    out[8] = static_cast<uint8_t>(negative);
    out[panel_bytes] = static_cast<uint8_t>(~zero >> 8);
    out[panel_bytes + 8] = static_cast<uint8_t>(negative >> 8);
  }
#endif
  for (; j < cols; j += kTile, out += panel_bytes) {
    uint8_t nonzero = 0, negative = 0;
    for (int64_t c = 0; c < kTile && j + c < cols; ++c) {
      nonzero = static_cast<uint8_t>(nonzero | (codes[j + c] != 0 ? 1u << c : 0u));
      negative = static_cast<uint8_t>(negative | (codes[j + c] < 0 ? 1u << c : 0u));
    }
    out[0] = nonzero;
    out[8] = negative;
  }
}

void DesignMatrix::store_groups(int64_t g0, const DesignMatrix& rows) {
  const int64_t groups = std::min(rows.row_groups(), row_groups() - g0);
  if (groups <= 0) return;
  for (int64_t panel = 0; panel < col_groups(); ++panel) {
    std::copy_n(rows.tile(0, panel), 2 * groups, planes.data() + 2 * (panel * row_groups() + g0));
  }
}

}  // namespace gp
