// The packing loop against the plain per-SNP rule, and the record columns
// against the estimator's reader.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/record_reader.hpp"
#include "snp2plink/pack_kernel.hpp"
#include "snp2plink/study_reader.hpp"

namespace gp::plink {
namespace {

TEST(PackKernel, CodesOfTheFourDigitPairs) {
  EXPECT_EQ(genotype_code('2', '2'), 0b00);
  EXPECT_EQ(genotype_code('1', '2'), 0b10);
  EXPECT_EQ(genotype_code('2', '1'), 0b10);
  EXPECT_EQ(genotype_code('1', '1'), 0b11);
}

// Random records of many lengths (vector bodies and tails) at every shift,
// ORed into bytes that already hold other bits.
TEST(PackKernel, SameCodesAsThePlainRuleOnRandomRecords) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> allele(1, 2);
  for (size_t n_snp : {0, 1, 2, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 1000, 10001}) {
    for (unsigned shift : {0u, 2u, 4u, 6u}) {
      std::string digits(2 * n_snp, '1');
      for (char& c : digits) c = static_cast<char>('0' + allele(rng));
      std::vector<uint8_t> packed(n_snp, 0), expected(n_snp, 0);
      for (size_t j = 0; j < n_snp; ++j) {
        packed[j] = expected[j] = static_cast<uint8_t>(rng() & ~(3u << shift));
        expected[j] = static_cast<uint8_t>(expected[j] | genotype_code(digits[2 * j], digits[2 * j + 1]) << shift);
      }
      ASSERT_TRUE(pack_genotypes(digits.data(), n_snp, packed.data(), shift));
      ASSERT_EQ(packed, expected) << n_snp << " SNPs, shift " << shift;
    }
  }
}

// Every character but '1' and '2', at every position of a 40-SNP record.
TEST(PackKernel, AnyOtherCharacterAnywhereIsFound) {
  std::vector<uint8_t> packed(40);
  for (int c = 0; c < 256; ++c) {
    if (c == '1' || c == '2') continue;
    for (size_t k = 0; k < 80; ++k) {
      std::string digits(80, k % 2 ? '1' : '2');
      digits[k] = static_cast<char>(c);
      ASSERT_FALSE(pack_genotypes(digits.data(), 40, packed.data(), 0)) << c << " at " << k;
      ASSERT_EQ(first_bad_digit(digits), k);
    }
  }
  EXPECT_EQ(first_bad_digit("1221"), 4u);
}

TEST(RecordColumns, AsTheSharedLayoutPlacesThem) {
  for (int32_t n_snp : {0, 3, 10000, 10001}) {
    const RecordColumns columns = record_columns(data_layout(n_snp));
    EXPECT_EQ(columns.number_width, 6u);
    EXPECT_EQ(columns.y_column, 7u);
    EXPECT_EQ(columns.s_bv_column, 15u);
    EXPECT_EQ(columns.real_width, 8u);
    EXPECT_EQ(columns.decimals, 2);
    EXPECT_EQ(columns.first_digit, kFirstDigitColumn);
  }
}

}  // namespace
}  // namespace gp::plink
