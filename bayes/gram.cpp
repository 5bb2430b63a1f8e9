#include "bayes/gram.hpp"

#include <algorithm>
#include <bit>

namespace gp::bayes {

namespace {

// The marks of each column of panel p over records 64 b .. 64 b + 63, one
// bit per record: byte a of a word comes from record group 8 b + a.
void column_words(const PanelMatrix& x, int64_t p, int64_t b, uint64_t nonzero[kPanel], uint64_t negative[kPanel]) {
  std::fill(nonzero, nonzero + kPanel, 0);
  std::fill(negative, negative + kPanel, 0);
  const int64_t groups = std::min<int64_t>(8, x.row_groups() - 8 * b);
  for (int64_t a = 0; a < groups; ++a) {
    const uint64_t* tile = x.tile(8 * b + a, p);
    for (int c = 0; c < kPanel; ++c) {
      nonzero[c] |= (tile[0] >> (8 * c) & 0xFF) << (8 * a);
      negative[c] |= (tile[1] >> (8 * c) & 0xFF) << (8 * a);
    }
  }
}

}  // namespace

// A product of two codes is +1 where both are non-zero with equal signs and
// -1 where their signs differ: counted 64 records at a time.
PanelGrams::PanelGrams(const PanelMatrix& x)
    : values_(static_cast<size_t>(x.col_groups() * kPanel * kPanel), 0.0),
      sums_(static_cast<size_t>(x.col_groups() * kPanel), 0) {
  const double n = static_cast<double>(x.rows());
  for (int64_t p = 0; p < x.col_groups(); ++p) {
    int64_t product[kPanel][kPanel] = {};
    int64_t* sum = sums_.data() + p * kPanel;
    for (int64_t b = 0; b * 8 < x.row_groups(); ++b) {
      uint64_t nonzero[kPanel], negative[kPanel];
      column_words(x, p, b, nonzero, negative);
      for (int k = 0; k < kPanel; ++k) {
        sum[k] += std::popcount(nonzero[k] & ~negative[k]) - std::popcount(negative[k]);
        for (int l = 0; l <= k; ++l) {
          const uint64_t both = nonzero[k] & nonzero[l];
          product[k][l] += std::popcount(both) - 2 * std::popcount(both & (negative[k] ^ negative[l]));
        }
      }
    }
    double* g = values_.data() + p * kPanel * kPanel;
    for (int k = 0; k < kPanel; ++k) {
      for (int l = 0; l <= k; ++l) {
        const int64_t j = p * kPanel + k, m = p * kPanel + l;
        double value = static_cast<double>(product[k][l]) -
                       static_cast<double>(sum[k]) * static_cast<double>(sum[l]) / n;
        if (j == 0 || m == 0) value = j == m ? n : 0.0;
        g[k * kPanel + l] = g[l * kPanel + k] = value;
      }
    }
  }
  sums_.resize(static_cast<size_t>(x.cols()));
}

}  // namespace gp::bayes
