// Why a program refuses its input or cannot write its files, as one kind per
// problem, and the one function that words them all. The SNP file readers
// throw a Refusal; a program that refuses with one line (snp2plink) prints
// refusal_text under its own name, and kolber turns the few it meets into
// its run-time error report.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/number_fields.hpp"

namespace gp {

enum class Problem : uint8_t {
  CannotOpen,      // file: a file to read cannot be opened
  CannotRead,      // file: reading it failed
  LineMissing,     // place, count: the file ends after `count` lines or records
  NoLineEnd,       // place: the file ends inside the line
  HoldsTab,        // place
  CountField,      // place, index, field: a count does not read
  NegativeCount,   // place, name, value
  TooManyRecords,  // place, value: 2 x nrec beyond the record numbers' columns
  ValueField,      // place, name, index, field: value `index` of array `name` does not read
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
  std::string name = {};   // the count, value or field named
  std::string field = {};  // the characters of the field
  int64_t index = 0;
  int64_t count = 0;
  int64_t value = 0;
  int error_number = 0;    // the system's reason, for the file problems
  FieldParse parse = FieldParse::Ok;  // how a field failed to read
};

// Where a refusal points: "SNP_setup line 2", "SNP_data record 7".
std::string line_place(std::string_view file, int64_t line);
std::string record_place(int64_t record);

// The one line a program prints on standard error, without its line end:
// "snp2plink: SNP_data record 7: 19998 allele digits, 20000 expected" for
// `program` "snp2plink".
std::string refusal_text(const Refusal& refusal, std::string_view program);

}  // namespace gp
