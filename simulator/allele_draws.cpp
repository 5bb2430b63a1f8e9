#include "simulator/allele_draws.hpp"

#include <array>
#include <cmath>
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define GP_ALLELE_DRAWS_X86 1
#endif

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

inline char allele_digit(float freq, float u) { return freq > u ? '2' : '1'; }

// k x 2^-24 < p exactly when k < p x 2^24: scaling by a power of two is exact
// (subnormal p included), and an integer k lies below q when it lies below
// ceil(q). No k passes a NaN, zero or negative p; every k passes p >= 1.
int32_t threshold_of(float p) {
  if (!(p > 0.0f)) return 0;
  const float q = p * 0x1p24f;
  if (q >= 0x1p24f) return int32_t{1} << 24;
  return static_cast<int32_t>(std::ceil(q));
}

}  // namespace

void allele_thresholds(std::span<const float> snp_freq, std::span<int32_t> thresholds) {
  for (size_t j = 0; j < snp_freq.size(); ++j) thresholds[2 * j] = thresholds[2 * j + 1] = threshold_of(snp_freq[j]);
}

void draw_allele_digits_plain(Generator& g, std::span<const float> snp_freq, char* digits) {
  Generator local = g;
  for (const float p : snp_freq) {
    digits[0] = allele_digit(p, uniform(local, 0.0f, 1.0f));
    digits[1] = allele_digit(p, uniform(local, 0.0f, 1.0f));
    digits += 2;
  }
  g = local;
}

void draw_allele_digits_portable(Generator& g, std::span<const int32_t> thresholds, char* digits) {
  uint32_t state = g.state;
  for (const int32_t t : thresholds) {
    state = state * 69069u + 1u;
    *digits++ = static_cast<int32_t>(state >> 8) < t ? '2' : '1';
  }
  g.state = state;
}

#ifdef GP_ALLELE_DRAWS_X86

bool allele_draws_avx2_available() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

// Four vectors of eight lanes hold the states of 32 consecutive draws; one
// multiply-add by the 32-step jump moves every lane to its draw of the next
// block, so the lanes produce exactly the sequence of single draws. The 32
// comparisons k < threshold are packed to bytes (the packing interleaves
// groups of four, which the final permutation puts back in draw order).
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

#else

bool allele_draws_avx2_available() { return false; }

void draw_allele_digits_avx2(Generator& g, std::span<const int32_t> thresholds, char* digits) {
  draw_allele_digits_portable(g, thresholds, digits);
}

#endif

void draw_allele_digits(Generator& g, std::span<const int32_t> thresholds, char* digits) {
  if (allele_draws_avx2_available()) {
    draw_allele_digits_avx2(g, thresholds, digits);
  } else {
    draw_allele_digits_portable(g, thresholds, digits);
  }
}

size_t effects_in_use(std::span<const float> snp_val) {
  size_t used = 0;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    if (!std::isfinite(snp_val[j])) return snp_val.size();
    if (snp_val[j] != 0.0f) used = j + 1;
  }
  return used;
}

// A skipped term x x 0 is +0 or -0 (x is -1, 0 or 1). The sum starts at +0
// and, rounding to nearest, a sum is -0 only when both addends are, so it is
// never -0 and adding a zero returns it unchanged: the effects past the last
// non-zero one may be left out. An infinite effect would make 0 x inf a NaN,
// hence effects_in_use keeps every effect then.
float breeding_value_of_digits(const char* digits, std::span<const float> snp_val) {
  float s = 0.0f;
  for (size_t j = 0; j < snp_val.size(); ++j) {
    const int x = digits[2 * j] + digits[2 * j + 1] - 2 * '0' - 3;
    s = s + static_cast<float>(x) * snp_val[j];
  }
  return s;
}

}  // namespace gp
