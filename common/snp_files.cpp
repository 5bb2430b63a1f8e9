#include "common/snp_files.hpp"

#include <algorithm>
#include <string>

#include "common/format.hpp"
#include "common/record.hpp"

namespace gp {
namespace {

// "Iw" or "Fw.d", as a layout and a report name a field.
std::string field_name(char kind, int width, int decimals = -1) {
  return kind + std::to_string(width) + (decimals >= 0 ? "." + std::to_string(decimals) : "");
}

const std::string kCountField = field_name('I', kCountWidth);
const std::string kNumberField = field_name('I', kRecordNumberWidth);
const std::string kRealField = field_name('F', kRecordRealWidth, kRecordDecimals);

// A field holding an asterisk, NaN or INF cannot be read back.
bool unreadable_field(const char* field, const char* end) {
  return std::find_if(field, end, [](char c) { return c == '*' || c == 'N' || c == 'I'; }) != end;
}

// The check formats the value with the writer's own conversion, so it
// agrees with the file to the last rounding.
bool fits_fixed(float value, int width, int decimals) {
  char field[64];
  return !unreadable_field(field, write_fixed(field, value, width, decimals));
}

bool fits_int(int32_t value, int width) {
  char field[kMaxIntChars + 8];
  return !unreadable_field(field, write_int(field, value, width));
}

[[noreturn]] void unreadable(Units& io, int unit, const std::string& where, const std::string& what,
                             const std::string& field) {
  input_error(io, where + ": " + what + " does not fit its field " + field + " and could not be read back",
              Statement::Write, unit);
}

void check_count(Units& io, const char* name, int32_t value) {
  if (!fits_int(value, kCountWidth)) {
    unreadable(io, kSetupUnit, line_place(kSetupFile, kCountLine), name + (" = " + std::to_string(value)), kCountField);
  }
}

// Writes an array with a ten-per-line layout after checking every value;
// at the first value that does not fit, the complete lines before it are
// written and the run ends. `first_line` is the file line of values 1 to 10.
void write_checked_array(Units& io, const Layout& layout, std::span<const float> values, int width,
                         const char* name, int64_t first_line) {
  for (size_t j = 0; j < values.size(); ++j) {
    if (fits_fixed(values[j], width, kSetupDecimals)) continue;
    const size_t whole = j / kSetupValuesPerLine * kSetupValuesPerLine;
    if (whole > 0) write_record(io, kSetupUnit, layout, {values.first(whole)});
    unreadable(io, kSetupUnit, line_place(kSetupFile, first_line + static_cast<int64_t>(j / kSetupValuesPerLine)),
               std::string(name) + "(" + std::to_string(j + 1) + ") = " + real_text(values[j]),
               field_name('F', width, kSetupDecimals));
  }
  write_record(io, kSetupUnit, layout, {values});
}

// `repeat` fields of one kind and width.
Layout repeated(int repeat, char kind, int width, int decimals = -1) {
  return parse_layout(std::to_string(repeat) + field_name(kind, width, decimals));
}

}  // namespace

// The count line has room for six counts; five are written.
const Layout& count_layout() {
  static const Layout layout = repeated(kCountsWritten + 1, 'I', kCountWidth);
  return layout;
}

const Layout& variance_layout() {
  static const Layout layout = repeated(kSetupValuesPerLine, 'F', kVarianceWidth, kSetupDecimals);
  return layout;
}

const Layout& frequency_layout() {
  static const Layout layout = repeated(kSetupValuesPerLine, 'F', kFrequencyWidth, kSetupDecimals);
  return layout;
}

const Layout& effect_layout() {
  static const Layout layout = repeated(kSetupValuesPerLine, 'F', kEffectWidth, kSetupDecimals);
  return layout;
}

Layout data_layout(int32_t n_snp) {
  const int64_t digits = std::max<int64_t>(kStandardAlleleDigits, 2 * static_cast<int64_t>(n_snp));
  return parse_layout(kNumberField + ",1X,2" + kRealField + ",1X," + std::to_string(digits) + "I1");
}

void write_setup(Units& io, const SetupContent& setup) {
  open_unit(io, kSetupUnit, kSetupFile);
  write_free(io, kSetupUnit, {kCountHeading});
  check_count(io, "n_snp", setup.n_snp);
  check_count(io, "n_qtl", setup.n_qtl);
  check_count(io, "nrec", setup.nrec);
  check_count(io, "nprog", setup.nprog);
  write_record(io, kSetupUnit, count_layout(), {setup.n_snp, setup.n_qtl, setup.nrec, setup.nprog, setup.nrec});
  write_free(io, kSetupUnit, {kVarianceHeading});
  write_record(io, kSetupUnit, variance_layout(), {setup.var_a, setup.var_e, setup.sim_var});
  write_free(io, kSetupUnit, {kFrequencyHeading});
  write_checked_array(io, frequency_layout(), setup.snp_freq, kFrequencyWidth, "snp_freq", kFirstFrequencyLine);
  write_free(io, kSetupUnit, {kEffectHeading});
  write_checked_array(io, effect_layout(), setup.snp_val, kEffectWidth, "snp_val",
                      first_effect_line(static_cast<int64_t>(setup.snp_freq.size())));
}

DataLines make_data_lines(Units& io, int32_t n_snp) {
  constexpr size_t kBatchBytes = size_t{1} << 20;
  DataLines lines;
  lines.n_snp = std::max(n_snp, 0);
  // With no allele digits the blank before them is a gap at the record's end.
  lines.record_chars = record_chars(lines.n_snp);
  const size_t slot = lines.record_chars + 2;
  lines.batch_lines = std::max<size_t>(1, kBatchBytes / slot);
  lines.chars = allocate_array<char>(io, static_cast<int64_t>(lines.batch_lines * slot));
  return lines;
}

// The leading columns are formatted once, by the writers the layout uses, and
// checked on the characters themselves, as fits_int and fits_fixed check.
void write_data_line(Units& io, DataLines& lines, int32_t rec_id, float y, float s_bv) {
  // The file ends after the lines before this one, even when none was written.
  const auto report = [&](const std::string& what, const std::string& field) {
    flush_data_lines(io, lines);
    cut_unit(io, kDataUnit);
    unreadable(io, kDataUnit, record_place(rec_id), what, field);
  };
  char* const start = lines.chars.data() + lines.pending * (lines.record_chars + 2);
  if (unreadable_field(start, write_int(start, rec_id, kRecordNumberWidth))) {
    report("the record number " + std::to_string(rec_id), kNumberField);
  }
  start[kYColumn - 1] = ' ';
  char* const y_field = start + kYColumn;
  if (unreadable_field(y_field, write_fixed(y_field, y, kRecordRealWidth, kRecordDecimals))) {
    report("y = " + real_text(y), kRealField);
  }
  char* const s_bv_field = start + kSbvColumn;
  if (unreadable_field(s_bv_field, write_fixed(s_bv_field, s_bv, kRecordRealWidth, kRecordDecimals))) {
    report("s_bv = " + real_text(s_bv), kRealField);
  }
  start[kFirstDigitColumn - 1] = ' ';
  start[lines.record_chars] = '\r';
  start[lines.record_chars + 1] = '\n';
  if (++lines.pending == lines.batch_lines) flush_data_lines(io, lines);
}

// The unit adds the line end of the last line itself.
void flush_data_lines(Units& io, DataLines& lines) {
  if (lines.pending == 0) return;
  const size_t length = lines.pending * (lines.record_chars + 2) - 2;
  lines.pending = 0;
  write_prepared_record(io, kDataUnit, {lines.chars.data(), length});
}

}  // namespace gp
