// The two files that pass from the simulator to the estimator: SNP_setup
// (counts, variances, SNP frequencies and effects) and SNP_data (one record
// per animal). Writer and reader share each layout defined here.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/layout.hpp"
#include "common/text_io.hpp"

namespace gp {

inline constexpr int kSetupUnit = 1;
inline constexpr int kDataUnit = 2;
inline constexpr const char* kSetupFile = "SNP_setup";
inline constexpr const char* kDataFile = "SNP_data";

// Allele digits that the standard SNP_data layout carries per record; a
// record of more SNPs keeps all its digits on its one line.
inline constexpr int32_t kStandardAlleleDigits = 20000;

// Layouts of SNP_setup, shared by writer and reader.
const Layout& count_layout();           // "6I8"
const Layout& variance_write_layout();  // "10F10.2" (the reader skips the line unconverted)
const Layout& variance_skip_layout();   // "10F8.2"
const Layout& frequency_layout();       // "10F5.2"
const Layout& effect_layout();          // "10F8.2"

// Layout of one SNP_data record: "I6,1X,2F8.2,1X,20000I1" up to 10000 SNPs,
// with the I1 repeat count raised to 2 x n_snp beyond.
Layout data_layout(int32_t n_snp);

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

// Writes record `rec_id` of SNP_data (unit 2, already open) with the layout
// `layout` (from data_layout): number, y, s_bv and the allele digits of geno.
// A number, y or s_bv that would not print as a number ends the run with an
// input error naming the record; the earlier records stay in the file.
void write_data_record(Units& io, const Layout& layout, int32_t rec_id, float y, float s_bv,
                       std::span<const int32_t> geno);

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
  return lines.chars.data() + lines.pending * (lines.record_chars + 2) + 24;
}

// Completes the next line as record `rec_id` with y, s_bv and its allele
// digits: the same characters, and the same report for a value that does not
// fit its field, as write_data_record with data_layout(n_snp) and the digits'
// codes. The report comes after every earlier line has reached the file,
// which is then cut after them.
void write_data_line(Units& io, DataLines& lines, int32_t rec_id, float y, float s_bv);

// Hands the completed lines to SNP_data (unit 2). Call before the program ends.
void flush_data_lines(Units& io, DataLines& lines);

// Reads the next record of SNP_data (unit 2) with `layout` into the
// buffers: the record number, y, s_bv and geno.size() allele digits.
void read_data_record(Units& io, const Layout& layout, int32_t& rec_id, float& y, float& s_bv,
                      std::span<int32_t> geno);

}  // namespace gp
