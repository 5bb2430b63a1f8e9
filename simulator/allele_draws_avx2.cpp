// The AVX2 kernel of the allele draws: 32 draws a step, eight lanes of 32-bit
// states in each of four registers.
//
// Why it is exact: the stream x -> 69069 x + 1 (mod 2^32) taken n steps at
// once is x -> a x + c (mod 2^32) with a and c composed once here, so lane i
// starts at the state of draw i + 1 and one multiply-add by the 32-step jump
// moves every lane to its draw of the next block: the lanes hold exactly the
// states of the single draws, in integers, with no rounding. Each digit is
// the comparison k < threshold of the portable kernel on the same k (the
// state's 24 high bits); the 32 comparisons are packed to bytes (the packing
// interleaves groups of four, which the final permutation puts back in draw
// order). The draws left after the whole blocks go through the portable
// kernel, from the state skip_draws gives.
#include <immintrin.h>

#include <array>
#include <cstdint>

#include "simulator/allele_draws.hpp"

namespace gp {
namespace {

// n steps of the stream, x -> 69069 x + 1, compose to x -> a x + c (mod 2^32).
struct Jump {
  uint32_t a, c;
};

constexpr Jump jump_of(int n) {
  Jump j{1u, 0u};
  for (int i = 0; i < n; ++i) j = {j.a * 69069u, j.c * 69069u + 1u};
  return j;
}

}  // namespace

__attribute__((target("avx2"))) void draw_allele_digits_avx2(Generator& g, std::span<const int32_t> thresholds,
                                                             char* digits) {
  constexpr int kLanes = 32;
  static constexpr auto kStart = [] {
    std::array<Jump, kLanes> jumps{};
    for (int i = 0; i < kLanes; ++i) jumps[static_cast<size_t>(i)] = jump_of(i + 1);
    return jumps;
  }();
  constexpr Jump kBlock = jump_of(kLanes);

  const size_t blocks = thresholds.size() / kLanes;
  if (blocks > 0) {
    alignas(32) uint32_t start_a[kLanes], start_c[kLanes];
    for (int i = 0; i < kLanes; ++i) {
      start_a[i] = kStart[static_cast<size_t>(i)].a;
      start_c[i] = kStart[static_cast<size_t>(i)].c;
    }
    const __m256i x0 = _mm256_set1_epi32(static_cast<int>(g.state));
    __m256i s[4];
    for (int v = 0; v < 4; ++v) {
      const __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(start_a + 8 * v));
      const __m256i c = _mm256_load_si256(reinterpret_cast<const __m256i*>(start_c + 8 * v));
      s[v] = _mm256_add_epi32(_mm256_mullo_epi32(x0, a), c);
    }
    const __m256i block_a = _mm256_set1_epi32(static_cast<int>(kBlock.a));
    const __m256i block_c = _mm256_set1_epi32(static_cast<int>(kBlock.c));
    const __m256i draw_order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i digit_one = _mm256_set1_epi8('1');

    const int32_t* t = thresholds.data();
    for (size_t b = 0; b < blocks; ++b) {
      __m256i below[4];
      for (int v = 0; v < 4; ++v) {
        const __m256i k = _mm256_srli_epi32(s[v], 8);
        below[v] = _mm256_cmpgt_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(t + 8 * v)), k);
        s[v] = _mm256_add_epi32(_mm256_mullo_epi32(s[v], block_a), block_c);
      }
      const __m256i packed = _mm256_packs_epi16(_mm256_packs_epi32(below[0], below[1]),
                                                _mm256_packs_epi32(below[2], below[3]));
      const __m256i in_order = _mm256_permutevar8x32_epi32(packed, draw_order);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(digits), _mm256_sub_epi8(digit_one, in_order));
      t += kLanes;
      digits += kLanes;
    }
    skip_draws(g, static_cast<uint64_t>(blocks) * kLanes);
  }
  draw_allele_digits_portable(g, thresholds.subspan(blocks * kLanes), digits);
}

}  // namespace gp
