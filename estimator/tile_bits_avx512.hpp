// Tiles' planes transposed by the AVX-512 kernels, several words at once:
// bit 8 r + c to 8 c + r, so that byte c holds column c's marks over the
// tile's records. GFNI's affine instruction gives result byte i, bit j =
// parity(matrix byte 7 - j AND x byte i); with x byte i = 1 << i and the
// matrix the word with its bytes reversed, that is bit i of byte j.
#pragma once

#include <immintrin.h>

#include <cstdint>

namespace gp {

// The features these need; every AVX-512 kernel that calls them has them.
#define GP_TARGET_TILE_BITS __attribute__((target("avx512f,avx512bw,avx512vl,gfni")))

GP_TARGET_TILE_BITS inline __m512i transpose_tile_bits(__m512i words) {
  const __m512i reverse_bytes = _mm512_set4_epi64(0x08090A0B0C0D0E0F, 0x0001020304050607, 0x08090A0B0C0D0E0F,
                                                  0x0001020304050607);
  const __m512i unit_bytes = _mm512_set1_epi64(static_cast<int64_t>(0x8040201008040201));
  return _mm512_gf2p8affine_epi64_epi8(unit_bytes, _mm512_shuffle_epi8(words, reverse_bytes), 0);
}

GP_TARGET_TILE_BITS inline __m128i transpose_tile_bits(__m128i words) {
  const __m128i reverse_bytes = _mm_set_epi64x(0x08090A0B0C0D0E0F, 0x0001020304050607);
  const __m128i unit_bytes = _mm_set1_epi64x(static_cast<int64_t>(0x8040201008040201));
  return _mm_gf2p8affine_epi64_epi8(unit_bytes, _mm_shuffle_epi8(words, reverse_bytes), 0);
}

}  // namespace gp
