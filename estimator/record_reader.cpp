#include "estimator/record_reader.hpp"

#include "common/digit_run.hpp"
#include "estimator/loading.hpp"
#include "estimator/state.hpp"

namespace gp {

// The clones only let the compiler use wider vectors for the same byte
// operations.
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
bool code_plain_digits(std::string_view digits, std::span<int8_t> codes) {
  const size_t n = 2 * codes.size();
  if (digits.size() < n) return false;
  const unsigned char* chars = reinterpret_cast<const unsigned char*>(digits.data());
  // One test for the whole record: a byte outside '1'..'2' wraps above 1.
  unsigned char outside = 0;
  for (size_t k = 0; k < n; ++k) outside |= static_cast<unsigned char>(chars[k] - '1') > 1 ? 1 : 0;
  if (outside != 0) return false;
  // '1' + '1' - 99 = -1, '1' + '2' - 99 = 0, '2' + '2' - 99 = +1: the allele
  // codes summed minus 3.
  constexpr int kTwoZerosAndThree = 2 * '0' + 3;
  for (size_t j = 0; j < codes.size(); ++j) {
    codes[j] = static_cast<int8_t>(chars[2 * j] + chars[2 * j + 1] - kTwoZerosAndThree);
  }
  return true;
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
