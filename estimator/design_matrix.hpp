// The design matrix X at two bits per element: one row per training record,
// one column per equation (column 0 the mean, all 1; column k + 1 the coded
// genotype of SNP k, -1, 0 or +1).
//
// Elements are held in tiles of 8 records x 8 columns. A tile is two 64-bit
// planes, first the non-zero marks, then the negative marks (a zero code has
// neither); byte r of a plane is record 8 G + r of the tile's record group G,
// bit c of that byte column 8 J + c of its column group J. The tiles of one
// column group (a panel) follow each other by record group, and the panels
// by column group. Records and columns past the end read as zero codes.
#pragma once

#include <cstdint>
#include <vector>

#include "common/large_pages.hpp"

namespace gp {

struct DesignMatrix {
  static constexpr int64_t kTile = 8;

  using Planes = std::vector<uint64_t, LargePageAllocator<uint64_t>>;

  int64_t rows = 0;
  int64_t cols = 0;
  Planes planes;  // 2 * row_groups() * col_groups() words

  // Words of `planes` for rows x cols elements, two per tile. A caller that
  // allocates under its own control fills rows, cols and planes itself.
  static int64_t words_for(int64_t rows, int64_t cols);

  int64_t row_groups() const { return (rows + kTile - 1) / kTile; }
  int64_t col_groups() const { return (cols + kTile - 1) / kTile; }
  // The two planes of tile (record group g, column group j).
  const uint64_t* tile(int64_t g, int64_t j) const { return planes.data() + 2 * (j * row_groups() + g); }

  // Packs the cols codes of record i, each -1, 0 or +1.
  void store_row(int64_t i, const int8_t* codes);
  // Copies every record group of `rows`, a matrix with the same columns,
  // into record groups g0 onwards (as many as this matrix has room for).
  // Filling a small matrix record by record and copying it here writes each
  // panel a few whole tiles at a time.
  void store_groups(int64_t g0, const DesignMatrix& rows);
};

// The codes of one tile as values of T: code[r][c] for record r and column
// c of the tile, -1, 0 or +1 as the portable kernels multiply by them.
template <class T>
void decode_tile(const uint64_t* tile, T (&code)[DesignMatrix::kTile][DesignMatrix::kTile]) {
  for (int r = 0; r < DesignMatrix::kTile; ++r) {
    for (int c = 0; c < DesignMatrix::kTile; ++c) {
      const int bit = 8 * r + c;
      code[r][c] = static_cast<T>(static_cast<int>(tile[0] >> bit & 1) - 2 * static_cast<int>(tile[1] >> bit & 1));
    }
  }
}

}  // namespace gp
