// The two files that pass from the simulator to the estimator: SNP_setup
// (counts, variances, SNP frequencies and effects) and SNP_data (one record
// per animal). Writer and reader share each layout defined here.
#pragma once

#include <cstdint>
#include <span>

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

// Reads the next record of SNP_data (unit 2) with `layout` into the
// buffers: the record number, y, s_bv and geno.size() allele digits.
void read_data_record(Units& io, const Layout& layout, int32_t& rec_id, float& y, float& s_bv,
                      std::span<int32_t> geno);

}  // namespace gp
