// Why snp2plink refuses its input or cannot write its files: one kind per
// problem, and the one function that words them all.
#pragma once

#include <cstdint>
#include <string>

namespace gp::plink {

enum class Problem : uint8_t {
  CannotOpen,      // file: a file to read cannot be opened
  CannotRead,      // file: reading it failed
  LineMissing,     // place, count: the file ends after `count` lines or records
  NoLineEnd,       // place: the file ends inside the line
  HoldsTab,        // place
  CountField,      // place, index, field: a count does not read
  NegativeCount,   // place, name, value
  TooManyRecords,  // place, value: 2 x nrec beyond the record numbers' six columns
  EffectField,     // place, index, field
  ShortRecord,     // place, count: characters of the record
  RecordNumber,    // place, field, value: the record number expected
  RealField,       // place, name, field
  DigitCount,      // place, count, value: digits found and expected
  BadDigit,        // place, index, value: the digit's position and its character
  OutOfMemory,     // count, value: SNPs and records
  CannotWrite,     // file
  CannotReplace,   // file
};

// What a refusal names. Unused members stay empty or zero.
struct Refusal {
  Problem problem;
  std::string file = {};   // a file name as the user sees it
  std::string place = {};  // "SNP_setup line 2", "SNP_data record 7"
  std::string name = {};   // the count or field named
  std::string field = {};  // the characters of the field
  int64_t index = 0;
  int64_t count = 0;
  int64_t value = 0;
  int error_number = 0;  // the system's reason, for the file problems
};

// Where a refusal points: "SNP_setup line 2", "SNP_data record 7".
std::string line_place(const std::string& file, int64_t line);
std::string record_place(int64_t record);

// The one line snp2plink prints on standard error, without its line end:
// "snp2plink: SNP_data record 7: 19998 allele digits, 20000 expected".
std::string refusal_text(const Refusal& refusal);

}  // namespace gp::plink
