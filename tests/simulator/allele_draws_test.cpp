// The record kernels against the plain model: the allele digits drawn against
// thresholds by every kernel the processor runs, against the plain comparison with
// the frequencies; those digits against the integer codes of draw_genotypes;
// and the breeding value of the digits against breeding_value over every
// effect.
#include "simulator/allele_draws.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>
#include <vector>

#include "simulator/model.hpp"
#include "support/isa_cap.hpp"
#include "support/model_reference.hpp"

namespace gp {
namespace {

// A reproducible stream of test values, apart from the generator under test.
struct Mixer {
  uint64_t x;
  uint32_t next() {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(x >> 32);
  }
  float unit() { return static_cast<float>(next() >> 8) * 0x1p-24f; }
};

// Frequencies of every kind a parameter set can give: ordinary ones, 0, 1 and
// beyond, negative, NaN, subnormal, and ties, where the frequency equals the
// value that its allele's draw from `start` will give (the plain rule keeps
// code 1) or lies just beside it.
std::vector<float> frequencies(Mixer& mix, size_t n_snp, Generator start) {
  std::vector<float> freq(n_snp);
  for (size_t j = 0; j < n_snp; ++j) {
    const float u1 = base_draw(start);
    const float u2 = base_draw(start);
    switch (mix.next() % 10) {
      case 0: freq[j] = u1; break;
      case 1: freq[j] = u2; break;
      case 2: freq[j] = std::nextafter(u1, 2.0f); break;
      case 3: freq[j] = std::nextafter(u2, -1.0f); break;
      case 4: {
        const float special[] = {0.0f,      1.0f,           1.5f,     -0.25f, std::numeric_limits<float>::quiet_NaN(),
                                 -0.0f,     0x1p-24f,       0x1p-149f, 1e30f, std::numeric_limits<float>::infinity(),
                                 0x1.8p-24f, 1.0f - 0x1p-24f};
        freq[j] = special[mix.next() % 12];
        break;
      }
      default: freq[j] = mix.unit(); break;
    }
  }
  return freq;
}

std::vector<int32_t> thresholds_of(const std::vector<float>& freq) {
  std::vector<int32_t> thresholds(2 * freq.size());
  allele_thresholds(freq, thresholds);
  return thresholds;
}

// Each threshold t splits the 2^24 draw values exactly: k = t - 1 passes
// p > k x 2^-24, k = t does not, so the values below t are those that pass.
TEST(AlleleThresholds, SplitTheDrawValuesWhereTheComparisonTurns) {
  Mixer mix{3};
  std::vector<float> freq = {0.0f, -0.0f, -1.0f, 0x1p-149f, 0x1p-24f, 0x1.0p-23f, 0.5f, 1.0f - 0x1p-24f, 1.0f,
                             1.0f + 0x1p-23f, 3e38f, std::numeric_limits<float>::infinity(),
                             std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::infinity()};
  for (int i = 0; i < 2000; ++i) freq.push_back(mix.unit());
  for (int i = 0; i < 200; ++i) freq.push_back(std::nextafter(mix.unit(), 1.0f));
  const std::vector<int32_t> thresholds = thresholds_of(freq);
  for (size_t j = 0; j < freq.size(); ++j) {
    const int32_t t = thresholds[2 * j];
    EXPECT_EQ(thresholds[2 * j + 1], t);
    ASSERT_GE(t, 0);
    ASSERT_LE(t, 1 << 24);
    if (t > 0) {
      EXPECT_TRUE(freq[j] > static_cast<float>(t - 1) * 0x1p-24f) << freq[j] << " threshold " << t;
    }
    if (t < (1 << 24)) {
      EXPECT_FALSE(freq[j] > static_cast<float>(t) * 0x1p-24f) << freq[j] << " threshold " << t;
    }
  }
}

// Every kernel against the plain comparison, from many states and over
// lengths that end inside and at the edge of a 32-draw block.
TEST(AlleleDigits, KernelsGiveThePlainDigitsAndFinalState) {
  Mixer mix{17};
  std::vector<size_t> sizes;
  for (size_t n = 0; n <= 70; ++n) sizes.push_back(n);
  for (size_t n : {255u, 256u, 257u, 1000u, 10000u, 10001u, 50000u}) sizes.push_back(n);
  for (size_t n_snp : sizes) {
    for (int round = 0; round < 6; ++round) {
      Generator plain{round == 0 ? kInitialState : round == 1 ? 0u : round == 2 ? 0xFFFFFFFFu : mix.next()};
      const Generator start = plain;
      const std::vector<float> freq = frequencies(mix, n_snp, plain);
      const std::vector<int32_t> thresholds = thresholds_of(freq);
      std::string expected(2 * n_snp + 1, '#');
      test::draw_allele_digits_plain(plain, freq, expected.data());
      for (const Isa isa : test::processor_isas()) {
        const test::IsaCap cap(isa);
        Generator fast = start;
        std::string got(2 * n_snp + 1, '#');
        draw_allele_digits(fast, thresholds, got.data());
        ASSERT_EQ(got, expected) << isa_name(isa) << ", " << n_snp << " SNPs, round " << round;
        ASSERT_EQ(fast.state, plain.state) << isa_name(isa) << ", " << n_snp << " SNPs, round " << round;
      }
    }
  }
}

// A state whose next draw has its 24 high bits zero gives u = 0, the only
// draw below the smallest positive draw 2^-24: with every frequency at 2^-24
// that allele alone gets code 2.
TEST(AlleleDigits, DrawOfZeroAtEveryLane) {
  if (processor_isa() < Isa::Avx2) GTEST_SKIP() << "no AVX2 on this processor";
  // 69069 x + 1 = 0 (mod 2^32) for x = -1 / 69069; the inverse of 69069 by Newton steps.
  uint32_t inverse = 69069u;
  for (int i = 0; i < 5; ++i) inverse *= 2u - 69069u * inverse;
  const uint32_t before_zero = (0u - 1u) * inverse;
  for (int lane = 0; lane < 40; ++lane) {
    Generator plain{before_zero};
    // Step back `lane` draws so the zero falls on that lane.
    for (int k = 0; k < lane; ++k) plain.state = (plain.state - 1u) * inverse;
    Generator lanes = plain;
    const std::vector<float> freq(24, 0x1p-24f);
    std::string expected(48, '#'), got(48, '#');
    test::draw_allele_digits_plain(plain, freq, expected.data());
    draw_allele_digits_avx2(lanes, thresholds_of(freq), got.data());
    EXPECT_EQ(expected.find('2'), static_cast<size_t>(lane));
    EXPECT_EQ(got, expected) << "lane " << lane;
    EXPECT_EQ(lanes.state, plain.state);
  }
}

TEST(AlleleDigits, DigitsAreTheCodesOfDrawGenotypes) {
  Mixer mix{5};
  for (size_t n_snp : {0u, 1u, 15u, 16u, 17u, 333u, 4096u}) {
    for (int round = 0; round < 4; ++round) {
      Generator reference{mix.next()};
      Generator fast = reference;
      const std::vector<float> freq = frequencies(mix, n_snp, reference);
      std::vector<int32_t> geno(2 * n_snp);
      test::draw_genotypes(reference, freq, geno);
      std::string digits(2 * n_snp, '#');
      draw_allele_digits(fast, thresholds_of(freq), digits.data());
      std::string codes;
      for (int32_t code : geno) codes += static_cast<char>('0' + code);
      EXPECT_EQ(digits, codes) << n_snp << " SNPs";
      EXPECT_EQ(fast.state, reference.state);
    }
  }
}

TEST(EffectsInUse, OnePastTheLastNonZeroEffectWhenAllAreFinite) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    std::vector<float> effects;
    size_t used;
  };
  const Case cases[] = {
      {{}, 0},          {{0.0f, 0.0f}, 0},           {{1.0f, 0.0f, 0.0f}, 1},      {{0.0f, -0.0f, 2.0f, 0.0f}, 3},
      {{-3.5f}, 1},     {{1.0f, inf, 0.0f}, 3},      {{1.0f, 0.0f, nan}, 3},       {{0.0f, 0.0f, -inf}, 3},
      {{0x1p-149f, 0.0f}, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(effects_in_use(c.effects), c.used) << ::testing::PrintToString(c.effects);
  }
}

TEST(BreedingValueOfDigits, SameBitsAsTheSumOverEveryEffect) {
  Mixer mix{99};
  for (int round = 0; round < 400; ++round) {
    const size_t n_snp = mix.next() % 300;
    const size_t n_qtl = n_snp == 0 ? 0 : mix.next() % (n_snp + 1);
    std::vector<float> val(n_snp, 0.0f);
    for (size_t j = 0; j < n_qtl; ++j) {
      switch (mix.next() % 6) {
        case 0: val[j] = 0.0f; break;
        case 1: val[j] = -0.0f; break;
        case 2: val[j] = (mix.unit() - 0.5f) * 3e38f; break;  // sums that overflow
        default: val[j] = (mix.unit() - 0.5f) * 20.0f; break;
      }
    }
    if (round % 50 == 7 && n_snp > 0) val[mix.next() % n_snp] = std::numeric_limits<float>::infinity();
    std::vector<int32_t> geno(2 * n_snp);
    std::string digits(2 * n_snp, '#');
    for (size_t i = 0; i < geno.size(); ++i) {
      geno[i] = 1 + static_cast<int32_t>(mix.next() % 2);
      digits[i] = static_cast<char>('0' + geno[i]);
    }
    const float expected = test::breeding_value(geno, val);
    const float got = breeding_value_of_digits(digits.data(), std::span<const float>(val).first(effects_in_use(val)));
    EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(expected)) << "round " << round << ": " << got
                                                                              << " against " << expected;
  }
}

}  // namespace
}  // namespace gp
