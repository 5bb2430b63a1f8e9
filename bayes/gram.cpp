#include "bayes/gram.hpp"

#include <algorithm>
#include <bit>

namespace gp::bayes {

namespace {

// Bit 8 r + c to bit 8 c + r: three exchanges of ever larger blocks.
uint64_t transpose_bits(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AA;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCC;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0;
  x ^= t ^ (t << 28);
  return x;
}

// The marks of each column of panel p over records 64 b .. 64 b + 63, one
// bit per record: byte a of a word comes from record group 8 b + a.
void column_words(const DesignMatrix& x, int64_t p, int64_t b, uint64_t nonzero[kPanel], uint64_t negative[kPanel]) {
  std::fill(nonzero, nonzero + kPanel, 0);
  std::fill(negative, negative + kPanel, 0);
  const int64_t groups = std::min<int64_t>(8, x.row_groups() - 8 * b);
  for (int64_t a = 0; a < groups; ++a) {
    const uint64_t* tile = x.tile(8 * b + a, p);
    const uint64_t t_nonzero = transpose_bits(tile[0]);
    const uint64_t t_negative = transpose_bits(tile[1]);
    for (int c = 0; c < kPanel; ++c) {
      nonzero[c] |= (t_nonzero >> (8 * c) & 0xFF) << (8 * a);
      negative[c] |= (t_negative >> (8 * c) & 0xFF) << (8 * a);
    }
  }
}

}  // namespace

// A product of two codes is +1 where both are non-zero with equal signs and
// -1 where their signs differ: counted 64 records at a time.
PanelGrams::PanelGrams(const DesignMatrix& x) : values_(static_cast<size_t>(x.col_groups() * kPanel * kPanel), 0.0) {
  for (int64_t p = 0; p < x.col_groups(); ++p) {
    int64_t count[kPanel][kPanel] = {};
    for (int64_t b = 0; b * 8 < x.row_groups(); ++b) {
      uint64_t nonzero[kPanel], negative[kPanel];
      column_words(x, p, b, nonzero, negative);
      for (int k = 0; k < kPanel; ++k) {
        for (int l = 0; l <= k; ++l) {
          const uint64_t both = nonzero[k] & nonzero[l];
          const uint64_t opposite = both & (negative[k] ^ negative[l]);
          count[k][l] += std::popcount(both) - 2 * std::popcount(opposite);
        }
      }
    }
    double* g = values_.data() + p * kPanel * kPanel;
    for (int k = 0; k < kPanel; ++k) {
      for (int l = 0; l <= k; ++l) g[k * kPanel + l] = g[l * kPanel + k] = static_cast<double>(count[k][l]);
    }
  }
}

std::vector<int64_t> column_sums(const DesignMatrix& x) {
  std::vector<int64_t> sums(static_cast<size_t>(x.cols), 0);
  for (int64_t p = 0; p < x.col_groups(); ++p) {
    for (int64_t g = 0; g < x.row_groups(); ++g) {
      const uint64_t* tile = x.tile(g, p);
      const uint64_t positive = tile[0] & ~tile[1];
      for (int c = 0; c < kPanel && p * kPanel + c < x.cols; ++c) {
        const uint64_t column = 0x0101010101010101u << c;
        sums[static_cast<size_t>(p * kPanel + c)] += std::popcount(positive & column) - std::popcount(tile[1] & column);
      }
    }
  }
  return sums;
}

}  // namespace gp::bayes
