// The estimator's record reader against the field-by-field reading with its
// check: the same y, s_bv and coded genotypes, or the same report.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common/snp_files.hpp"
#include "common/text_io.hpp"
#include "estimator/genomic_values.hpp"
#include "estimator/kolber_support.hpp"
#include "estimator/lhs_product.hpp"
#include "estimator/loading.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/record_reader.hpp"
#include "estimator/results.hpp"
#include "estimator/state.hpp"
#include "support/design_reference.hpp"
#include "support/isa_cap.hpp"
#include "support/record_reference.hpp"

namespace gp {
namespace {

using testing::ScratchDir;

// The record field by field through the layout, then kolber's check of its
// allele codes: the plain reading that the record reader is held to.
void read_checked_record(Units& io, const Layout& layout, int64_t record_number, float& y, float& s_bv,
                         std::span<int32_t> geno) {
  int32_t rec_id = 0;
  test::read_data_record(io, layout, rec_id, y, s_bv, geno);
  check_allele_codes(io, record_number, geno);
}

struct Outcome {
  int status = 0;
  std::string errors;
  std::vector<float> y, s_bv;
  std::vector<int8_t> codes;  // all records, one after another

  bool operator==(const Outcome&) const = default;
};

// Reads `records` records of `n_snp` SNPs from SNP_data in `dir`, through
// the reader under test (fast) or field by field with the check (plain).
Outcome read_all(const ScratchDir& dir, int n_snp, int records, bool fast) {
  ConsoleCapture capture;
  Outcome outcome;
  {
    Units io(&capture, dir.path());
    outcome.status = run_program(io, [&] {
      const Layout layout = data_layout(n_snp);
      open_unit(io, kDataUnit, kDataFile);
      UnitLines lines(io, kDataUnit);
      RecordReader reader(lines, records);
      std::vector<int32_t> geno(2 * static_cast<size_t>(n_snp), 7);
      std::vector<int8_t> codes(static_cast<size_t>(n_snp), 9);
      for (int i = 0; i < records; ++i) {
        float y = 0.0f, s_bv = 0.0f;
        if (fast) {
          read_coded_record(io, reader, y, s_bv, codes, geno);
        } else {
          read_checked_record(io, layout, i + 1, y, s_bv, geno);
          for (int j = 0; j < n_snp; ++j) codes[j] = static_cast<int8_t>(coded_genotype(geno[2 * j], geno[2 * j + 1]));
        }
        outcome.y.push_back(y);
        outcome.s_bv.push_back(s_bv);
        outcome.codes.insert(outcome.codes.end(), codes.begin(), codes.end());
      }
    });
  }
  outcome.errors = capture.errors;
  return outcome;
}

// The lines as a file, each ended by CR LF once.
std::string file_of(const std::vector<std::string>& lines) {
  std::string file;
  for (const std::string& line : lines) file += line.ends_with("\r\n") ? line : line + "\r\n";
  return file;
}

TEST(RecordReader, PlainDigitsCodeAsTheAlleleSumMinusThree) {
  struct Case { const char* digits; size_t snps; bool plain; std::vector<int8_t> codes; };
  const Case cases[] = {
      {"11122122", 4, true, {-1, 0, 0, 1}},
      {"", 0, true, {}},
      {"2211", 1, true, {1}},        // digits beyond the SNPs are not looked at
      {"112", 2, false, {}},         // one digit short
      {"1021", 2, false, {}},        // a 0
      {"1231", 2, false, {}},        // a 3
      {"1 21", 2, false, {}},        // a blank reads as 0 on the exact path
      {"12+1", 2, false, {}},
      {"12-1", 2, false, {}},
      {"12\xb1" "1", 2, false, {}},  // '1' with the high bit set
      {"12/1", 2, false, {}},        // the character before '0'
  };
  for (const Isa isa : test::processor_isas()) {
    const test::IsaCap cap(isa);
    for (const Case& c : cases) {
      std::vector<int8_t> codes(c.snps, 9);
      EXPECT_EQ(code_plain_digits(c.digits, codes), c.plain) << isa_name(isa) << " \"" << c.digits << '"';
      if (c.plain) {
        EXPECT_EQ(codes, c.codes) << isa_name(isa) << " \"" << c.digits << '"';
      }
    }
  }
}

TEST(RecordReader, HandWrittenRecordsReadAsFieldByField) {
  // Each case is a file of two records of three SNPs; the second record is
  // plain, so a difference after an unusual first record shows too.
  const std::string second = test::record_text(2, 5.5f, -1.25f, "122211");
  const std::string firsts[] = {
      test::record_text(1, 12.34f, 3.5f, "122211"),
      test::record_text(1, 12.34f, 3.5f, "1222111"),     // a digit beyond the SNPs
      test::record_text(1, 12.34f, 3.5f, "12221"),       // one digit missing
      test::record_text(1, 12.34f, 3.5f, "12 211"),      // a blank
      test::record_text(1, 12.34f, 3.5f, "1\t2211"),     // a tab
      test::record_text(1, 12.34f, 3.5f, "123211"),      // a 3
      test::record_text(1, 12.34f, 3.5f, "12x211"),      // not a digit at all
      test::record_text(1, 12.34f, 3.5f, "+-2211"),
      "     1   12.34    3.50",                            // no digits
      "     1   12.34",                                    // no s_bv either
      "     1   1x.34    3.50 122211",                     // y not a number
      "     1\t12.34    3.50 122211",                      // a tab before the digits moves them
      "   1.5   12.34    3.50 122211",                     // a record number that is not an integer
  };
  for (const std::string& first : firsts) {
    ScratchDir dir;
    dir.write("SNP_data", file_of({first, second}));
    const Outcome plain = read_all(dir, 3, 2, false);
    EXPECT_EQ(read_all(dir, 3, 2, true), plain) << '"' << first << "\": " << plain.errors;
  }
}

TEST(RecordReader, SimulatedFilesReadAsFieldByField) {
  std::mt19937 rng(5);
  for (const int n_snp : {0, 1, 2, 15, 16, 17, 100, 10000, 10001}) {
    ScratchDir dir;
    std::vector<std::string> lines;
    for (int i = 0; i < 6; ++i) {
      std::string alleles(2 * static_cast<size_t>(n_snp), '1');
      for (char& c : alleles) c = static_cast<char>('1' + rng() % 2);
      lines.push_back(test::record_text(i + 1, static_cast<float>(rng() % 9999) / 100.0f, -3.25f * i, alleles));
    }
    dir.write("SNP_data", file_of(lines));
    const Outcome plain = read_all(dir, n_snp, 6, false);
    EXPECT_EQ(plain.status, 0) << plain.errors;
    EXPECT_EQ(read_all(dir, n_snp, 6, true), plain) << n_snp << " SNPs";
    EXPECT_EQ(read_all(dir, n_snp, 7, true), read_all(dir, n_snp, 7, false)) << n_snp << " SNPs, past the end";
  }
}

TEST(Loading, BlockedRowsFillTheMatrixAndXpyAsRecordByRecord) {
  std::mt19937 rng(17);
  for (const auto& [nrec, n_snp] : {std::pair{1, 3}, {31, 2}, {32, 5}, {33, 0}, {70, 9}, {97, 40}, {64, 15}, {65, 47}}) {
    ScratchDir dir;
    std::vector<std::string> lines;
    for (int i = 0; i < nrec; ++i) {
      std::string alleles(2 * static_cast<size_t>(n_snp), '1');
      for (char& c : alleles) c = static_cast<char>('1' + rng() % 2);
      lines.push_back(test::record_text(i + 1, static_cast<float>(rng() % 99999) / 100.0f - 300.0f,
                                         static_cast<float>(rng() % 9999) / 100.0f - 50.0f, alleles));
    }
    dir.write("SNP_data", file_of(lines));
    // Loading codes each record and adds it to X'y with the kernels picked.
    for (const Isa isa : test::processor_isas()) {
      const test::IsaCap cap(isa);
      EstimatorState loaded, expected;
      for (EstimatorState* state : {&loaded, &expected}) {
        state->nrec = nrec;
        state->n_snp = n_snp;
        state->neq = n_snp + 1;
        state->y.assign(static_cast<size_t>(nrec), 0.0f);
        state->s_bv.assign(static_cast<size_t>(nrec), 0.0f);
        state->xpy.assign(static_cast<size_t>(n_snp + 1), 0.0f);
        state->geno.assign(2 * static_cast<size_t>(n_snp), 0);
        state->x = test::zero_matrix(nrec, n_snp + 1);
      }
      // Marks left from before must not survive the loading.
      std::fill(loaded.x.planes.begin(), loaded.x.planes.end(), ~uint64_t{0});
      ConsoleCapture capture;
      Units io(&capture, dir.path());
      ASSERT_EQ(run_program(io, [&] {
        read_training_records(io, loaded);
        rewind_unit(io, kDataUnit);
        const Layout layout = data_layout(n_snp);
        for (int64_t i = 0; i < nrec; ++i) {
          read_checked_record(io, layout, i + 1, expected.y[i], expected.s_bv[i], expected.geno);
          test::set_code(expected.x, i, 0, 1);
          for (int64_t j = 0; j < n_snp; ++j) {
            const int code = coded_genotype(expected.geno[2 * j], expected.geno[2 * j + 1]);
            test::set_code(expected.x, i, j + 1, static_cast<int8_t>(code));
          }
          test::add_record_to_xpy(expected, i);
        }
      }), 0) << capture.errors;
      for (int64_t i = 0; i < nrec; ++i) {
        for (int64_t j = 0; j <= n_snp; ++j) {
          ASSERT_EQ(test::code_at(loaded.x, i, j), test::code_at(expected.x, i, j))
              << isa_name(isa) << ", " << nrec << " records, " << n_snp << " SNPs: (" << i << ", " << j << ")";
        }
      }
      EXPECT_EQ(loaded.xpy, expected.xpy) << isa_name(isa) << ", " << nrec << " records, " << n_snp << " SNPs";
      EXPECT_EQ(loaded.y, expected.y);
      EXPECT_EQ(loaded.s_bv, expected.s_bv);
    }
  }
}

TEST(GenomicValue, FromCodesAndFromPackedRecordsGiveTheSameBits) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> code(-1, 1);
  std::uniform_real_distribution<float> effect(-5.0f, 5.0f);
  for (const size_t snps : {0, 1, 2, 7, 100, 1000, 5000}) {
    for (int trial = 0; trial < 30; ++trial) {
      std::vector<int8_t> codes(snps);
      std::vector<int32_t> geno(2 * snps);
      std::vector<float> sol(snps + 1);
      for (size_t j = 0; j < snps; ++j) {
        codes[j] = static_cast<int8_t>(trial % 5 == 0 ? 0 : code(rng));
        geno[2 * j] = codes[j] < 0 ? 1 : 2;
        geno[2 * j + 1] = codes[j] > 0 ? 2 : 1;
        // Negative effects at zero codes give -0.0 terms; tiny and huge
        // effects give sums that cancel and round.
        sol[j + 1] = effect(rng) * std::ldexp(1.0f, trial % 3 == 0 ? static_cast<int>(rng() % 200) - 100 : 0);
      }
      const float plain = test::genomic_value(std::span<const int32_t>(geno), sol);
      const float from_codes = test::genomic_value(std::span<const int8_t>(codes), sol);
      // The record alone in a packed matrix, the mean's column first.
      std::vector<int8_t> row(snps + 1, 1);
      std::copy(codes.begin(), codes.end(), row.begin() + 1);
      DesignMatrix x = test::zero_matrix(1, static_cast<int64_t>(snps) + 1);
      x.store_row(0, row.data());
      std::vector<float> packed(static_cast<size_t>(row_sums_size(x)));
      genomic_values(x, sol, packed);
      EXPECT_EQ(std::bit_cast<uint32_t>(from_codes), std::bit_cast<uint32_t>(plain)) << snps << " SNPs";
      EXPECT_EQ(std::bit_cast<uint32_t>(packed[0]), std::bit_cast<uint32_t>(plain)) << snps << " SNPs";
    }
  }
}

}  // namespace
}  // namespace gp
