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

namespace {

// A file the system would not open, read, write or rename, and its reason.
std::string file_problem(const Refusal& r, const char* what) {
  return r.file + ": " + what + (r.error_number != 0 ? std::string(" (") + std::strerror(r.error_number) + ")" : "");
}

std::string problem_text(const Refusal& r, std::string_view program) {
  switch (r.problem) {
    case Problem::CannotOpen: return file_problem(r, "cannot open");
    case Problem::CannotRead: return file_problem(r, "cannot read");
    case Problem::CannotWrite: return file_problem(r, "cannot write");
    case Problem::CannotReplace: return file_problem(r, "cannot replace");
    case Problem::LineMissing:
      return r.place + ": missing, the file ends after " + std::to_string(r.count) +
             (r.value > 0 ? " of 2 x nrec = " + std::to_string(r.value) + " records" : " lines");
    case Problem::NoLineEnd: return r.place + ": the file ends inside it (no line end)";
    case Problem::HoldsTab: return r.place + ": holds a tab, which " + std::string(program) + " does not expand";
    case Problem::CountField:
      return r.place + ": count " + std::to_string(r.index) + " " + quoted(r.field) +
             " does not read as a whole number";
    case Problem::NegativeCount:
      return r.place + ": " + r.name + " = " + std::to_string(r.value) + ", counts must be 0 or more";
    case Problem::TooManyRecords:
      return r.place + ": nrec = " + std::to_string(r.value) + ", more than the " + std::to_string(kMaxRecords) +
             " records that SNP_data can number";
    case Problem::ValueField:
      return r.place + ": " + r.name + "(" + std::to_string(r.index) + ") " + quoted(r.field) +
             " does not read as a number";
    case Problem::ShortRecord:
      return r.place + ": " + std::to_string(r.count) + " characters, at least " + std::to_string(kRecordFieldChars) +
             " expected";
    case Problem::RecordNumber:
      return r.place + ": record number " + quoted(r.field) + ", " + std::to_string(r.value) + " expected";
    case Problem::RealField: return r.place + ": " + r.name + " " + quoted(r.field) + " does not read as a number";
    case Problem::DigitCount:
      return r.place + ": " + std::to_string(r.count) + " allele digits, " + std::to_string(r.value) + " expected";
    case Problem::BadDigit:
      return r.place + ": allele digit " + std::to_string(r.index) + " (SNP " + std::to_string((r.index + 1) / 2) +
             ") is " + character(r.value) + ", not 1 or 2";
    case Problem::OutOfMemory:
      return "not enough memory for " + std::to_string(r.count) + " SNPs x " + std::to_string(r.value) + " records";
  }
  return "unknown problem";
}

}  // namespace

std::string refusal_text(const Refusal& r, std::string_view program) {
  return std::string(program) + ": " + problem_text(r, program);
}

}  // namespace gp
