// par_tarvox, SNP_setup and SNP_data text written by hand for the tests, the
// data files the way the simulator lays them out, with the C library's
// formatting rather than the programs' own.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace gp::test {

// A parameter file: each value line after a label line of its own.
inline std::string par_text(const std::array<std::string, 10>& values) {
  static const char* const labels[10] = {"number of SNP",     "number of QTL", "number of progenies",
                                         "number of records", "freq range",    "SNP range",
                                         "additive variance", "heritability",  "mean",
                                         "seed"};
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) text += std::string(labels[i]) + "\n" + values[i] + "\n";
  return text;
}

// Values ten to a line, each "%w.2f"; one empty line for none.
inline std::string ten_per_line(const std::vector<float>& values, int width) {
  std::string text;
  char field[64];
  for (size_t k = 0; k < values.size(); ++k) {
    std::snprintf(field, sizeof field, "%*.2f", width, static_cast<double>(values[k]));
    text += field;
    if (k % 10 == 9 || k + 1 == values.size()) text += "\r\n";
  }
  return values.empty() ? "\r\n" : text;
}

// SNP_setup of n_snp SNPs (n_qtl = n_snp, nprog = 0), nrec records per set,
// the variances 40, 60 and 39.5, every frequency 0.50 and the effects given.
inline std::string setup_text(int32_t n_snp, int32_t nrec, const std::vector<float>& snp_val) {
  char counts[64];
  std::snprintf(counts, sizeof counts, "%8d%8d%8d%8d%8d", n_snp, n_snp, nrec, 0, nrec);
  return " n_snp  n_qtl nrec nprog nrec\r\n" + std::string(counts) + "\r\n var_a,var_e, sim_var \r\n" +
         "     40.00     60.00     39.50\r\n snp_freq\r\n" +
         ten_per_line(std::vector<float>(static_cast<size_t>(std::max(n_snp, 0)), 0.5f), 5) + " snp_val\r\n" +
         ten_per_line(snp_val, 8);
}

// One SNP_data line with its CR LF: I6, 1X, 2F8.2, then 1X and the allele
// digits as given (nothing after s_bv when there are none).
inline std::string record_text(int32_t rec_id, float y, float s_bv, const std::string& digits) {
  char head[64];
  std::snprintf(head, sizeof head, "%6d %8.2f%8.2f", rec_id, static_cast<double>(y), static_cast<double>(s_bv));
  return head + (digits.empty() ? "" : " " + digits) + "\r\n";
}

}  // namespace gp::test
