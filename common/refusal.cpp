#include "common/refusal.hpp"

#include <cstring>

#include "common/snp_files.hpp"

namespace gp {
namespace {

std::string quoted(const std::string& field) { return "\"" + field + "\""; }

std::string character(int64_t code) {
  if (code == ' ') return "a blank";
  if (code > ' ' && code < 127) return "'" + std::string(1, static_cast<char>(code)) + "'";
  return "character code " + std::to_string(code);
}

}  // namespace

std::string line_place(std::string_view file, int64_t line) {
  return std::string(file) + " line " + std::to_string(line);
}

std::string record_place(int64_t record) { return std::string(kDataFile) + " record " + std::to_string(record); }

std::string refusal_text(const Refusal& r, std::string_view program) {
  const std::string why = r.error_number != 0 ? std::string(" (") + std::strerror(r.error_number) + ")" : "";
  std::string text;
  switch (r.problem) {
    case Problem::CannotOpen:
      text = r.file + ": cannot open" + why;
      break;
    case Problem::CannotRead:
      text = r.file + ": cannot read" + why;
      break;
    case Problem::LineMissing:
      text = r.place + ": missing, the file ends after " + std::to_string(r.count) +
             (r.value > 0 ? " of 2 x nrec = " + std::to_string(r.value) + " records" : " lines");
      break;
    case Problem::NoLineEnd:
      text = r.place + ": the file ends inside it (no line end)";
      break;
    case Problem::HoldsTab:
      text = r.place + ": holds a tab, which " + std::string(program) + " does not expand";
      break;
    case Problem::CountField:
      text = r.place + ": count " + std::to_string(r.index) + " " + quoted(r.field) + " does not read as a whole number";
      break;
    case Problem::NegativeCount:
      text = r.place + ": " + r.name + " = " + std::to_string(r.value) + ", counts must be 0 or more";
      break;
    case Problem::TooManyRecords:
      text = r.place + ": nrec = " + std::to_string(r.value) + ", more than the " + std::to_string(kMaxRecords) +
             " records that SNP_data can number";
      break;
    case Problem::ValueField:
      text = r.place + ": " + r.name + "(" + std::to_string(r.index) + ") " + quoted(r.field) + " does not read as a number";
      break;
    case Problem::ShortRecord:
      text = r.place + ": " + std::to_string(r.count) + " characters, at least " + std::to_string(kRecordFieldChars) +
             " expected";
      break;
    case Problem::RecordNumber:
      text = r.place + ": record number " + quoted(r.field) + ", " + std::to_string(r.value) + " expected";
      break;
    case Problem::RealField:
      text = r.place + ": " + r.name + " " + quoted(r.field) + " does not read as a number";
      break;
    case Problem::DigitCount:
      text = r.place + ": " + std::to_string(r.count) + " allele digits, " + std::to_string(r.value) + " expected";
      break;
    case Problem::BadDigit:
      text = r.place + ": allele digit " + std::to_string(r.index) + " (SNP " + std::to_string((r.index + 1) / 2) +
             ") is " + character(r.value) + ", not 1 or 2";
      break;
    case Problem::OutOfMemory:
      text = "not enough memory for " + std::to_string(r.count) + " SNPs x " + std::to_string(r.value) + " records";
      break;
    case Problem::CannotWrite:
      text = r.file + ": cannot write" + why;
      break;
    case Problem::CannotReplace:
      text = r.file + ": cannot replace" + why;
      break;
  }
  return std::string(program) + ": " + text;
}

}  // namespace gp
