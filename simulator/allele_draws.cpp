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

}  // namespace

void draw_allele_digits_plain(Generator& g, std::span<const float> snp_freq, char* digits) {
  Generator local = g;
  for (const float p : snp_freq) {
    digits[0] = allele_digit(p, uniform(local, 0.0f, 1.0f));
    digits[1] = allele_digit(p, uniform(local, 0.0f, 1.0f));
    digits += 2;
  }
  g = local;
}

#ifdef GP_ALLELE_DRAWS_X86

bool allele_draws_avx2_available() {
  static const bool available = __builtin_cpu_supports("avx2");
  return available;
}

// Four vectors of eight lanes hold the states of 32 consecutive draws; one
// multiply-add by the 32-step jump moves every lane to its draw of the next
// block, so the lanes produce exactly the sequence of single draws. A draw's
// value is its 24 high bits times 2^-24, and uniform(0, 1) returns that value
// unchanged ((1 - 0) x u + 0 = u, u never -0), so the comparison with the
// frequency is the one the plain loop makes. Each block covers 16 SNPs; the
// frequencies of four SNPs are spread to eight lanes, each twice.
__attribute__((target("avx2"))) void draw_allele_digits_avx2(Generator& g, std::span<const float> snp_freq,
                                                             char* digits) {
  constexpr int kLanes = 32;
  constexpr size_t kSnpsPerBlock = kLanes / 2;
  static constexpr auto kStart = [] {
    std::array<Jump, kLanes> jumps{};
    for (int i = 0; i < kLanes; ++i) jumps[static_cast<size_t>(i)] = jump_of(i + 1);
    return jumps;
  }();
  constexpr Jump kBlock = jump_of(kLanes);

  const size_t blocks = snp_freq.size() / kSnpsPerBlock;
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
    const __m256 scale = _mm256_set1_ps(0x1p-24f);
    const __m256i pairs = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    // Spreads the 32 comparison bits to 32 bytes: byte i tests bit i.
    const __m256i byte_of_bit = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                                 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
    const __m256i bit_in_byte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ull));
    const __m256i digit_one = _mm256_set1_epi8('1');

    const float* freq = snp_freq.data();
    for (size_t b = 0; b < blocks; ++b) {
      uint32_t bits = 0;
      for (int v = 0; v < 4; ++v) {
        const __m256 u = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(s[v], 8)), scale);
        const __m256 p = _mm256_permutevar8x32_ps(_mm256_castps128_ps256(_mm_loadu_ps(freq + 4 * v)), pairs);
        const auto greater = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_cmp_ps(p, u, _CMP_GT_OQ)));
        bits |= greater << (8 * v);
        s[v] = _mm256_add_epi32(_mm256_mullo_epi32(s[v], block_a), block_c);
      }
      const __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(bits)), byte_of_bit);
      const __m256i set = _mm256_cmpeq_epi8(_mm256_and_si256(spread, bit_in_byte), bit_in_byte);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(digits), _mm256_sub_epi8(digit_one, set));
      freq += kSnpsPerBlock;
      digits += kLanes;
    }
    skip_draws(g, static_cast<uint64_t>(blocks) * kLanes);
  }
  draw_allele_digits_plain(g, snp_freq.subspan(blocks * kSnpsPerBlock), digits);
}

#else

bool allele_draws_avx2_available() { return false; }

void draw_allele_digits_avx2(Generator& g, std::span<const float> snp_freq, char* digits) {
  draw_allele_digits_plain(g, snp_freq, digits);
}

#endif

void draw_allele_digits(Generator& g, std::span<const float> snp_freq, char* digits) {
  if (allele_draws_avx2_available()) {
    draw_allele_digits_avx2(g, snp_freq, digits);
  } else {
    draw_allele_digits_plain(g, snp_freq, digits);
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
