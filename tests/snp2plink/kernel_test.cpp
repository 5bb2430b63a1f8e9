// The packing loop against the plain per-SNP rule, and its check of the
// digits against the shared reader's.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "snp2plink/pack_kernel.hpp"
#include "support/isa_cap.hpp"

namespace gp::plink {
namespace {

// Position (0-based) of the first digit the shared reader refuses;
// digits.size() when it refuses none.
size_t first_bad_digit(std::string_view digits) {
  const std::string line = std::string(kFirstDigitColumn, ' ') + std::string(digits);
  try {
    require_allele_digits(DataRecord{.place = 1, .line = line});
  } catch (const Refusal& refusal) {
    return static_cast<size_t>(refusal.index - 1);
  }
  return digits.size();
}

TEST(PackKernel, CodesOfTheFourDigitPairs) {
  EXPECT_EQ(bed_code('2', '2'), 0b00);
  EXPECT_EQ(bed_code('1', '2'), 0b10);
  EXPECT_EQ(bed_code('2', '1'), 0b10);
  EXPECT_EQ(bed_code('1', '1'), 0b11);
}

// The kernels this processor runs, each under its name: the portable ones
// called by name, and the dispatching ones under each instruction set.
struct PackKernel {
  const char* name;
  Isa isa;
  bool (*pack)(const char*, size_t, uint8_t*, unsigned);
  void (*to_rows)(const PackedBlock&, uint8_t*, size_t);
};

std::vector<PackKernel> kernels() {
  std::vector<PackKernel> all = {{"portable by name", Isa::Portable, pack_genotypes_portable, block_to_rows_portable}};
  for (const Isa isa : test::processor_isas()) all.push_back({isa_name(isa).data(), isa, pack_genotypes, block_to_rows});
  return all;
}

// Every SNP count up to 200 (the vector bodies and every tail) and some
// wide records; bytes of out past n_snp must stay as they were.
std::vector<size_t> snp_counts() {
  std::vector<size_t> counts;
  for (size_t n = 0; n <= 200; ++n) counts.push_back(n);
  for (size_t n : {255, 256, 257, 1000, 10001}) counts.push_back(n);
  return counts;
}

// Random records at every shift into bytes that already hold other bits
// (replaced at shift 0, kept at the others), against bed_code SNP by
// SNP.
TEST(PackKernel, SameCodesAsThePlainRuleOnRandomRecords) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> allele(1, 2);
  for (const PackKernel& kernel : kernels()) {
    const test::IsaCap cap(kernel.isa);
    for (size_t n_snp : snp_counts()) {
      for (unsigned shift : {0u, 2u, 4u, 6u}) {
        std::string digits(2 * n_snp, '1');
        for (char& c : digits) c = static_cast<char>('0' + allele(rng));
        std::vector<uint8_t> packed(n_snp + 64), expected(n_snp + 64);
        for (size_t j = 0; j < packed.size(); ++j) packed[j] = expected[j] = static_cast<uint8_t>(rng() & ~(3u << shift));
        for (size_t j = 0; j < n_snp; ++j) {
          const uint8_t earlier = shift == 0 ? 0 : expected[j];
          expected[j] = static_cast<uint8_t>(earlier | bed_code(digits[2 * j], digits[2 * j + 1]) << shift);
        }
        ASSERT_TRUE(kernel.pack(digits.data(), n_snp, packed.data(), shift)) << kernel.name;
        ASSERT_EQ(packed, expected) << kernel.name << ", " << n_snp << " SNPs, shift " << shift;
      }
    }
  }
}

// Every character but '1' and '2', at every position of a 40-SNP record;
// and one bad character at every position of records across the vector
// widths, with '1' and '2' past the record's end that must not be looked at.
TEST(PackKernel, AnyOtherCharacterAnywhereIsFound) {
  for (const PackKernel& kernel : kernels()) {
    const test::IsaCap cap(kernel.isa);
    std::vector<uint8_t> packed(300);
    for (int c = 0; c < 256; ++c) {
      if (c == '1' || c == '2') continue;
      for (size_t k = 0; k < 80; ++k) {
        std::string digits(80, k % 2 ? '1' : '2');
        digits[k] = static_cast<char>(c);
        ASSERT_FALSE(kernel.pack(digits.data(), 40, packed.data(), 0)) << kernel.name << ": " << c << " at " << k;
        ASSERT_EQ(first_bad_digit(digits), k);
      }
    }
    std::mt19937 rng(5);
    for (size_t n_snp : {1, 31, 32, 33, 63, 64, 65, 100, 128, 129, 255}) {
      std::string digits(2 * n_snp + 130, '2');
      const std::string_view record(digits.data(), 2 * n_snp);
      for (size_t k = 0; k < 2 * n_snp; ++k) {
        const char bad = "0 3\r\n\t\xB1\xB2\x01\xFF"[rng() % 10];
        std::fill(digits.begin(), digits.end(), '1');
        digits[k] = bad;
        ASSERT_FALSE(kernel.pack(digits.data(), n_snp, packed.data(), 2 * (k % 4))) << kernel.name << " " << k;
        ASSERT_EQ(first_bad_digit(record), k);
      }
      std::fill(digits.begin(), digits.end(), 'x');
      std::fill(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(2 * n_snp), '2');
      ASSERT_TRUE(kernel.pack(digits.data(), n_snp, packed.data(), 0)) << kernel.name << ": read past the record";
    }
  }
  EXPECT_EQ(first_bad_digit("1221"), 4u);
}

// Random blocks of every row count, SNP counts across the vector width and
// rows longer than the block's part: each byte lands at its SNP's row, and
// no other byte of the rows changes.
TEST(BlockToRows, EveryByteAtItsRowAndNoOther) {
  std::mt19937 rng(3);
  for (const PackKernel& kernel : kernels()) {
    const test::IsaCap cap(kernel.isa);
    for (size_t n_snp : {0, 1, 7, 63, 64, 65, 127, 128, 200, 1001}) {
      for (size_t groups = 1; groups <= kBlockGroups; ++groups) {
        for (size_t stride : {groups, groups + 1, size_t{8}, size_t{13}, size_t{40}, size_t{100}}) {
          if (stride < groups) continue;
          std::vector<uint8_t> block(kBlockGroups * n_snp);
          for (uint8_t& b : block) b = static_cast<uint8_t>(rng());
          std::vector<uint8_t> rows(n_snp * stride + 16), expected(rows.size());
          for (size_t k = 0; k < rows.size(); ++k) rows[k] = expected[k] = static_cast<uint8_t>(rng());
          for (size_t j = 0; j < n_snp; ++j) {
            for (size_t k = 0; k < groups; ++k) expected[j * stride + k] = block[k * n_snp + j];
          }
          kernel.to_rows({.bytes = block.data(), .n_snp = n_snp, .groups = groups}, rows.data(), stride);
          ASSERT_EQ(rows, expected) << kernel.name << ": " << n_snp << " SNPs, " << groups << " rows, stride " << stride;
        }
      }
    }
  }
}

}  // namespace
}  // namespace gp::plink
