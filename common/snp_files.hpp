// The two files that pass from the simulator to the estimators: SNP_setup
// (counts, variances, SNP frequencies and effects) and SNP_data (one record
// per animal). Everything about them lives here: the layouts and every
// column they place, the limits that follow, the simulator's writers, and
// the one reader of each file that every program uses. A program reports
// what a reader refuses its own way (refusal.hpp).
#pragma once

#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/layout.hpp"
#include "common/line_reader.hpp"
#include "common/refusal.hpp"
#include "common/text_io.hpp"

namespace gp {

inline constexpr int kSetupUnit = 1;
inline constexpr int kDataUnit = 2;
inline constexpr const char* kSetupFile = "SNP_setup";
inline constexpr const char* kDataFile = "SNP_data";

// ---------------------------------------------------------------- SNP_setup
// Line 1 a heading, line 2 the counts n_snp n_qtl nrec nprog nrec, line 3 a
// heading, line 4 var_a var_e sim_var, then the "snp_freq" heading with the
// frequencies and the "snp_val" heading with the scaled effects, each section
// ten values to a line and at least one (empty) line.
inline constexpr int kSetupValuesPerLine = 10;
inline constexpr int kCountWidth = 8;         // I8
inline constexpr int kCountsWritten = 5;      // nrec twice
inline constexpr int kVarianceWidth = 10;     // F10.2
inline constexpr int kFrequencyWidth = 5;     // F5.2
inline constexpr int kEffectWidth = 8;        // F8.2
inline constexpr int kSetupDecimals = 2;
inline constexpr int kCountLine = 2;
inline constexpr int kVarianceLine = 4;
inline constexpr int kFirstFrequencyLine = 6;

inline constexpr const char* kCountHeading = "n_snp  n_qtl nrec nprog nrec";
inline constexpr const char* kVarianceHeading = "var_a,var_e, sim_var ";
inline constexpr const char* kFrequencyHeading = "snp_freq";
inline constexpr const char* kEffectHeading = "snp_val";

// Lines of the frequency or of the effect section for n_snp SNPs.
inline int64_t section_lines(int64_t n_snp) {
  return n_snp > kSetupValuesPerLine ? (n_snp + kSetupValuesPerLine - 1) / kSetupValuesPerLine : 1;
}
inline int64_t first_effect_line(int64_t n_snp) { return kFirstFrequencyLine + section_lines(n_snp) + 1; }

// ----------------------------------------------------------------- SNP_data
// One line per record: I6 the record number, 1X, F8.2 y, F8.2 s_bv, 1X, then
// two allele digits (1 or 2) per SNP, allele 1 of SNP 1 first. A record of no
// SNPs ends after s_bv.
inline constexpr int kRecordNumberWidth = 6;  // I6
inline constexpr int kRecordRealWidth = 8;    // F8.2
inline constexpr int kRecordDecimals = 2;
inline constexpr size_t kYColumn = kRecordNumberWidth + 1;  // 0-based, after the 1X
inline constexpr size_t kSbvColumn = kYColumn + kRecordRealWidth;
inline constexpr size_t kRecordFieldChars = kSbvColumn + kRecordRealWidth;  // 23
inline constexpr size_t kFirstDigitColumn = kRecordFieldChars + 1;          // 24, after the 1X

// Allele digits that the standard layout carries per record (10 000 SNPs);
// a record of more SNPs keeps all its digits on its one line.
inline constexpr int32_t kStandardAlleleDigits = 20000;

// The largest number of `width` digits.
constexpr int32_t largest_of_width(int width) { return width <= 0 ? 0 : 10 * largest_of_width(width - 1) + 9; }

// Limits that follow from the layouts: the records that I6 numbers, the
// records per set (SNP_data holds two sets), and the SNPs whose 2 x n_snp
// digits a 32-bit count holds.
inline constexpr int32_t kMaxRecords = largest_of_width(kRecordNumberWidth);  // 999999
inline constexpr int32_t kMaxNrec = kMaxRecords / 2;                           // 499999
inline constexpr int32_t kMaxSnps = INT32_MAX / 2;

// Characters of one SNP_data line of n_snp SNPs, without its CR LF.
inline size_t record_chars(int64_t n_snp) {
  return n_snp > 0 ? kFirstDigitColumn + 2 * static_cast<size_t>(n_snp) : kRecordFieldChars;
}

// The coded genotype of a SNP from its two allele codes (1 or 2): the number
// of code-2 alleles minus one, -1, 0 or +1. The simulator's true breeding
// values and the estimators' design rows use this one rule.
constexpr int coded_genotype(int allele1, int allele2) { return allele1 + allele2 - 3; }
// The same from the two allele digits as SNP_data holds them ('1' or '2').
constexpr int coded_genotype_of_digits(char digit1, char digit2) {
  return coded_genotype(digit1 - '0', digit2 - '0');
}

// ------------------------------------------------------------------ layouts
// The layouts the writers use, in the layout notation (layout.hpp), made from
// the widths above.
const Layout& count_layout();           // "6I8"
const Layout& variance_layout();        // "10F10.2"
const Layout& frequency_layout();       // "10F5.2"
const Layout& effect_layout();          // "10F8.2"
// "I6,1X,2F8.2,1X,20000I1" up to 10 000 SNPs, the I1 repeat raised to
// 2 x n_snp beyond.
Layout data_layout(int32_t n_snp);

// ------------------------------------------------------------------ writing
// What SNP_setup holds, as the simulator writes it.
struct SetupContent {
  int32_t n_snp, n_qtl, nrec, nprog;
  float var_a, var_e, sim_var;
  std::span<const float> snp_freq;
  std::span<const float> snp_val;
};

// Opens SNP_setup (unit 1) and writes its eight statements. A count,
// frequency or effect that would not print as a number ends the run with an
// input error naming its line and value, after the complete lines before it.
void write_setup(Units& io, const SetupContent& setup);

// SNP_data lines assembled in place and handed to the unit about a MiB at a
// time: the allele digits are drawn straight into the next line, and
// write_data_line puts the number, y and s_bv in front of them.
struct DataLines {
  int32_t n_snp = 0;
  size_t record_chars = 0;  // one line without its CR LF
  size_t batch_lines = 0;   // lines held before they go to the unit
  size_t pending = 0;       // complete lines not yet handed over
  std::vector<char> chars;  // batch_lines x (record_chars + 2)
};

// Lines for n_snp SNPs (none when n_snp < 1); ends the run with "Runtime
// memory allocation fails" when memory is short.
DataLines make_data_lines(Units& io, int32_t n_snp);

// Where the 2 x n_snp allele digits ('1' or '2') of the next line go.
inline char* allele_digits(DataLines& lines) {
  return lines.chars.data() + lines.pending * (lines.record_chars + 2) + kFirstDigitColumn;
}

// Completes the next line as record `rec_id` with y, s_bv and its allele
// digits: the characters that data_layout(n_snp) gives the record. A number,
// y or s_bv that would print as asterisks, NaN or INF cannot be read back and
// ends the run with an input error naming the record, after every earlier
// line has reached the file, which is then cut after them.
void write_data_line(Units& io, DataLines& lines, int32_t rec_id, float y, float s_bv);

// Hands the completed lines to SNP_data (unit 2). Call before the program ends.
void flush_data_lines(Units& io, DataLines& lines);

// ------------------------------------------------------------------ reading
// Where a reader takes a SNP file's lines from.
class SnpLines {
 public:
  virtual ~SnpLines() = default;
  // The next line without its line end. Unterminated: the file ends inside
  // the line, which is handed out; End: no line is left.
  virtual LineReader::Got next(std::string_view& line) = 0;
  // False when lines come as they stand: a tab would shift the columns after
  // it, so a reader refuses a tab among the fields it converts.
  virtual bool tabs_expanded() const = 0;
};

// A file read on its own, 128 KiB at a time, its lines as they stand but for
// the CR of a CR LF. Throws Refusal CannotOpen (constructor) and CannotRead,
// naming the file `name`.
class SnpFile final : public SnpLines {
 public:
  SnpFile(const std::string& path, std::string name);
  ~SnpFile() override;
  SnpFile(const SnpFile&) = delete;
  SnpFile& operator=(const SnpFile&) = delete;

  LineReader::Got next(std::string_view& line) override;
  bool tabs_expanded() const override { return false; }

 private:
  std::string name_;
  int fd_ = -1;
  LineReader lines_;
};

// An open unit of the text-record layer, its lines as the input statements
// see them (CRs dropped, tabs expanded). The layer reports an end of file or
// a failed read itself (the run-time error report), so next() gives a Line.
class UnitLines final : public SnpLines {
 public:
  UnitLines(Units& io, int unit);

  LineReader::Got next(std::string_view& line) override;
  bool tabs_expanded() const override { return true; }

 private:
  Units& io_;
  int unit_;
};

struct SetupCounts {
  int32_t n_snp = 0;
  int32_t n_qtl = 0;
  int32_t nrec = 0;  // the fifth count; the third is read and replaced
  int32_t nprog = 0;
};

struct SetupVariances {
  float var_a = 0.0f;
  float var_e = 0.0f;
  float sim_var = 0.0f;
};

// SNP_setup read in file order a section at a time, so a program can act
// between sections and size its arrays from the counts. Every problem is
// thrown as a Refusal naming "SNP_setup line N"; a field past the end of
// its line reads as 0, as the input statements read it.
class SetupReader {
 public:
  explicit SetupReader(SnpLines& lines) : lines_(lines) {}

  // Lines 1-2. Refuses a count that does not read (CountField), then a
  // negative n_snp or nrec (NegativeCount).
  SetupCounts counts();
  // Lines 3-4: var_a, var_e, sim_var (RealField); or the lines passed over.
  SetupVariances variances();
  void skip_variances();
  // The "snp_freq" heading and section, snp_freq.size() values read
  // (ValueField); or the heading and the section of n_snp values passed over.
  void frequencies(std::span<float> snp_freq);
  void skip_frequencies(int32_t n_snp);
  // The "snp_val" heading and section, snp_val.size() values read.
  void effects(std::span<float> snp_val);

 private:
  std::string_view next();
  // The next line, refused when it holds a tab the source did not expand.
  std::string_view next_converted();
  std::string place() const { return line_place(kSetupFile, line_); }
  void convert_values(std::span<float> values, int width, const char* name);

  SnpLines& lines_;
  int64_t line_ = 0;
};

// What SNP_setup holds, read whole.
struct SnpSetup {
  SetupCounts counts;
  SetupVariances variances;
  std::vector<float> snp_freq;
  std::vector<float> snp_val;
};

// All of SNP_setup: the refusals of SetupReader, and OutOfMemory when the
// arrays cannot be had.
SnpSetup read_setup(SnpLines& lines);

// One SNP_data record as read: the fields before the allele digits and the
// line itself, valid until the next record is read.
struct DataRecord {
  int64_t place = 0;      // 1 for the file's first line
  int32_t number = 0;     // the record number field, as written
  float y = 0.0f;
  float s_bv = 0.0f;
  std::string_view line;  // without its line end

  // The allele digits as they stand: from column 25 to the line's end.
  std::string_view digits() const {
    return line.size() > kFirstDigitColumn ? line.substr(kFirstDigitColumn) : std::string_view();
  }
};

// SNP_data read record by record from the top.
class RecordReader {
 public:
  // `records`: how many the program reads (2 x nrec), named when one is
  // missing; `read_before`: records of these lines already read elsewhere.
  RecordReader(SnpLines& lines, int64_t records, int64_t read_before = 0)
      : lines_(lines), records_(records), place_(read_before) {}

  // The next record: next_line() and then fields().
  DataRecord next() { return fields(next_line()); }

  // The next record's line; refuses a record that is missing (LineMissing)
  // or that the file ends inside (NoLineEnd).
  std::string_view next_line();
  // The fields of `line`, the record next_line() gave: refuses a tab before
  // the digits when tabs are not expanded (HoldsTab), a record number that
  // does not read or, when `numbered`, is not the record's place
  // (RecordNumber), then a y or s_bv that does not read (RealField).
  DataRecord fields(std::string_view line, bool numbered = false) const;
  // The next record read strictly: a line no shorter than the fields before
  // the digits (ShortRecord), numbered by its place, and holding exactly
  // 2 x n_snp digits (require_digit_count).
  DataRecord next_strict(int32_t n_snp);

  // The record last given: 0 before the first.
  int64_t place() const { return place_; }

 private:
  SnpLines& lines_;
  int64_t records_;
  int64_t place_ = 0;
};

// Refuses (DigitCount) a record that does not hold exactly 2 x n_snp digits.
void require_digit_count(const DataRecord& record, int32_t n_snp);

// Refuses (BadDigit) a record at its first allele digit that is not 1 or 2.
void require_allele_digits(const DataRecord& record);

}  // namespace gp
