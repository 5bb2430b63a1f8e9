#include "estimator/record_reader.hpp"

#include "common/digit_run.hpp"
#include "common/isa.hpp"
#include "estimator/loading.hpp"
#include "estimator/state.hpp"

namespace gp {

namespace {

[[gnu::always_inline]] inline bool code_digits(std::string_view digits, std::span<int8_t> codes) {
  const size_t n = 2 * codes.size();
  if (digits.size() < n) return false;
  const unsigned char* chars = reinterpret_cast<const unsigned char*>(digits.data());
  // One test for the whole record: a byte outside '1'..'2' wraps above 1.
  unsigned char outside = 0;
  for (size_t k = 0; k < n; ++k) outside |= static_cast<unsigned char>(chars[k] - '1') > 1 ? 1 : 0;
  if (outside != 0) return false;
  for (size_t j = 0; j < codes.size(); ++j) {
    codes[j] = static_cast<int8_t>(coded_genotype_of_digits(digits[2 * j], digits[2 * j + 1]));
  }
  return true;
}

// One loop compiled for each instruction set: wider vectors do the same byte
// operations.
bool code_digits_portable(std::string_view digits, std::span<int8_t> codes) { return code_digits(digits, codes); }
GP_TARGET_AVX2 bool code_digits_avx2(std::string_view digits, std::span<int8_t> codes) {
  return code_digits(digits, codes);
}
GP_TARGET_AVX512 bool code_digits_avx512(std::string_view digits, std::span<int8_t> codes) {
  return code_digits(digits, codes);
}

}  // namespace

bool code_plain_digits(std::string_view digits, std::span<int8_t> codes) {
  static constexpr Kernels<decltype(&code_plain_digits)> kKernels{
      .portable = code_digits_portable, .avx2 = code_digits_avx2, .avx512 = code_digits_avx512};
  return pick_kernel(kKernels)(digits, codes);
}

void read_coded_record(Units& io, RecordReader& records, float& y, float& s_bv, std::span<int8_t> codes,
                       std::span<int32_t> geno) {
  DataRecord record;
  try {
    record = records.next();
  } catch (const Refusal& refusal) {
    report_refusal(io, refusal, kDataUnit);
  }
  y = record.y;
  s_bv = record.s_bv;
  if (code_plain_digits(record.digits(), codes)) return;

  if (!read_digit_run(record.line, kFirstDigitColumn, geno)) {
    fatal_error(io, Failure::IllegalCharacter, Statement::Read, kDataUnit);
  }
  check_allele_codes(io, record.place, geno);
  for (size_t j = 0; j < codes.size(); ++j) {
    codes[j] = static_cast<int8_t>(coded_genotype(geno[2 * j], geno[2 * j + 1]));
  }
}

}  // namespace gp
