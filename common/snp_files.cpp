#include "common/snp_files.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "common/format.hpp"
#include "common/record.hpp"

namespace gp {
namespace {

// A value that prints as asterisks, NaN or INF cannot be read back by the
// estimator. The check formats the value with the writer's own conversion,
// so it agrees with the file to the last rounding.
bool fits_fixed(float value, int width, int decimals) {
  char field[64];
  const char* end = write_fixed(field, value, width, decimals);
  return std::find_if(static_cast<const char*>(field), end, [](char c) { return c == '*' || c == 'N' || c == 'I'; }) == end;
}

bool fits_int(int32_t value, int width) {
  char field[kMaxIntChars + 8];
  const char* end = write_int(field, value, width);
  return std::find(static_cast<const char*>(field), end, '*') == end;
}

std::string real_text(float v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.8g", static_cast<double>(v));
  return buf;
}

[[noreturn]] void unreadable(Units& io, int unit, const std::string& where, const std::string& what,
                             const char* field) {
  input_error(io, where + ": " + what + " does not fit its field " + field + " and could not be read back",
              Statement::Write, unit);
}

void check_count(Units& io, const char* name, int32_t value) {
  if (!fits_int(value, 8)) unreadable(io, kSetupUnit, "SNP_setup line 2", name + (" = " + std::to_string(value)), "I8");
}

// Writes an array with a ten-per-line layout after checking every value;
// at the first value that does not fit, the complete lines before it are
// written and the run ends. `first_line` is the file line of values 1 to 10.
void write_checked_array(Units& io, const Layout& layout, std::span<const float> values, int width,
                         const char* name, int first_line, const char* field) {
  for (size_t j = 0; j < values.size(); ++j) {
    if (fits_fixed(values[j], width, 2)) continue;
    const size_t whole = j / 10 * 10;
    if (whole > 0) write_record(io, kSetupUnit, layout, {values.first(whole)});
    unreadable(io, kSetupUnit, "SNP_setup line " + std::to_string(first_line + static_cast<int64_t>(j / 10)),
               std::string(name) + "(" + std::to_string(j + 1) + ") = " + real_text(values[j]), field);
  }
  write_record(io, kSetupUnit, layout, {values});
}

}  // namespace

const Layout& count_layout() {
  static const Layout layout = parse_layout("6I8");
  return layout;
}

const Layout& variance_write_layout() {
  static const Layout layout = parse_layout("10F10.2");
  return layout;
}

const Layout& variance_skip_layout() {
  static const Layout layout = parse_layout("10F8.2");
  return layout;
}

const Layout& frequency_layout() {
  static const Layout layout = parse_layout("10F5.2");
  return layout;
}

const Layout& effect_layout() {
  static const Layout layout = parse_layout("10F8.2");
  return layout;
}

Layout data_layout(int32_t n_snp) {
  const int64_t digits = std::max<int64_t>(kStandardAlleleDigits, 2 * static_cast<int64_t>(n_snp));
  return parse_layout("I6,1X,2F8.2,1X," + std::to_string(digits) + "I1");
}

void write_setup(Units& io, const SetupContent& setup) {
  open_unit(io, kSetupUnit, kSetupFile);
  write_free(io, kSetupUnit, {"n_snp  n_qtl nrec nprog nrec"});
  check_count(io, "n_snp", setup.n_snp);
  check_count(io, "n_qtl", setup.n_qtl);
  check_count(io, "nrec", setup.nrec);
  check_count(io, "nprog", setup.nprog);
  write_record(io, kSetupUnit, count_layout(), {setup.n_snp, setup.n_qtl, setup.nrec, setup.nprog, setup.nrec});
  write_free(io, kSetupUnit, {"var_a,var_e, sim_var "});
  write_record(io, kSetupUnit, variance_write_layout(), {setup.var_a, setup.var_e, setup.sim_var});
  write_free(io, kSetupUnit, {"snp_freq"});
  write_checked_array(io, frequency_layout(), setup.snp_freq, 5, "snp_freq", 6, "F5.2");
  write_free(io, kSetupUnit, {"snp_val"});
  // An empty frequency section is still one (empty) line.
  const int frequency_lines = static_cast<int>(std::max<size_t>(1, (setup.snp_freq.size() + 9) / 10));
  write_checked_array(io, effect_layout(), setup.snp_val, 8, "snp_val", 7 + frequency_lines, "F8.2");
}

void write_data_record(Units& io, const Layout& layout, int32_t rec_id, float y, float s_bv,
                       std::span<const int32_t> geno) {
  if (!fits_int(rec_id, 6)) {
    unreadable(io, kDataUnit, "SNP_data record " + std::to_string(rec_id),
               "the record number " + std::to_string(rec_id), "I6");
  }
  if (!fits_fixed(y, 8, 2)) unreadable(io, kDataUnit, "SNP_data record " + std::to_string(rec_id), "y = " + real_text(y), "F8.2");
  if (!fits_fixed(s_bv, 8, 2)) {
    unreadable(io, kDataUnit, "SNP_data record " + std::to_string(rec_id), "s_bv = " + real_text(s_bv), "F8.2");
  }
  if (geno.empty()) {
    write_record(io, kDataUnit, layout, {rec_id, y, s_bv});
  } else {
    write_record(io, kDataUnit, layout, {rec_id, y, s_bv, geno});
  }
}

DataLines make_data_lines(Units& io, int32_t n_snp) {
  constexpr size_t kBatchBytes = size_t{1} << 20;
  DataLines lines;
  lines.n_snp = std::max(n_snp, 0);
  // With no allele digits the blank of column 24 is a gap at the record's end.
  lines.record_chars = lines.n_snp > 0 ? 24 + 2 * static_cast<size_t>(lines.n_snp) : 23;
  const size_t slot = lines.record_chars + 2;
  lines.batch_lines = std::max<size_t>(1, kBatchBytes / slot);
  lines.chars = allocate_array<char>(io, static_cast<int64_t>(lines.batch_lines * slot));
  return lines;
}

// The leading columns are formatted once, by the writers the layout uses, and
// checked on the characters themselves: a field holding an asterisk, NaN or
// INF is what fits_int and fits_fixed reject.
void write_data_line(Units& io, DataLines& lines, int32_t rec_id, float y, float s_bv) {
  const auto unreadable_field = [](const char* field, const char* end) {
    return std::find_if(field, end, [](char c) { return c == '*' || c == 'N' || c == 'I'; }) != end;
  };
  // The file ends after the lines before this one, even when none was written.
  const auto report = [&](const std::string& what, const char* field) {
    flush_data_lines(io, lines);
    cut_unit(io, kDataUnit);
    unreadable(io, kDataUnit, "SNP_data record " + std::to_string(rec_id), what, field);
  };
  char* const start = lines.chars.data() + lines.pending * (lines.record_chars + 2);
  if (unreadable_field(start, write_int(start, rec_id, 6))) report("the record number " + std::to_string(rec_id), "I6");
  start[6] = ' ';
  if (unreadable_field(start + 7, write_fixed(start + 7, y, 8, 2))) report("y = " + real_text(y), "F8.2");
  if (unreadable_field(start + 15, write_fixed(start + 15, s_bv, 8, 2))) report("s_bv = " + real_text(s_bv), "F8.2");
  start[23] = ' ';
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

void read_data_record(Units& io, const Layout& layout, int32_t& rec_id, float& y, float& s_bv,
                      std::span<int32_t> geno) {
  if (geno.empty()) {
    read_record(io, kDataUnit, layout, {rec_id, y, s_bv});
  } else {
    read_record(io, kDataUnit, layout, {rec_id, y, s_bv, geno});
  }
}

}  // namespace gp
