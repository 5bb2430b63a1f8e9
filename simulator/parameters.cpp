#include "simulator/parameters.hpp"

#include <cmath>
#include <string>

#include "common/format.hpp"
#include "common/snp_files.hpp"

namespace gp {
namespace {

// The parameter file's name as the program holds it: a 50-character field.
constexpr std::string_view kParameterFile = "par_tarvox                                        ";
static_assert(kParameterFile.size() == 50);

// Label line, value line.
void read_pair(Units& io, std::initializer_list<InItem> values) {
  read_free(io, kParameterUnit);
  read_free(io, kParameterUnit, values);
}

[[noreturn]] void reject(Units& io, const std::string& name, const std::string& value, std::string_view accepted) {
  input_error(io, "Parameter " + name + " = " + value + " cannot be simulated: " + std::string(accepted));
}

void require_finite(Units& io, const char* name, float v) {
  if (!std::isfinite(v)) {
    reject(io, name, real_text(v), "a finite single-precision value (magnitude below 3.4E+38) is required");
  }
}

void require_frequency(Units& io, const char* name, float v) {
  if (!(v >= 0.0f && v <= 1.0f)) reject(io, name, real_text(v), "a frequency between 0 and 1 is required");
}

}  // namespace

SimulationParameters read_parameters(Units& io) {
  SimulationParameters p;
  write_free(io, kConsole, {"using parameters in file:", kParameterFile});
  open_unit(io, kParameterUnit, kParameterFile);

  read_pair(io, {p.n_snp});
  write_free(io, kConsole, {p.n_snp, " SNP"});
  read_pair(io, {p.n_qtl});
  write_free(io, kConsole, {p.n_qtl, " of SNP have nozero effects"});
  read_pair(io, {p.nprog});
  if (p.nprog != 0) {
    write_free(io, kConsole, {p.nprog, " progenies per sire"});
  } else {
    write_free(io, kConsole, {"animals with own record"});
  }
  read_pair(io, {p.nrec});
  write_free(io, kConsole, {p.nrec, " records"});
  read_pair(io, {p.freq_min, p.freq_max});
  write_free(io, kConsole, {"Minor SNP frequencies range: ", p.freq_min, p.freq_max});
  read_pair(io, {p.snp_range});
  write_free(io, kConsole, {"SNP range of values:", p.snp_range});
  read_pair(io, {p.var_a});
  write_free(io, kConsole, {"Additive variance=", p.var_a});
  read_pair(io, {p.h2});
  write_free(io, kConsole, {"h2=", p.h2});
  read_pair(io, {p.mean});
  write_free(io, kConsole, {"Mean=", p.mean});
  read_pair(io, {p.seed});
  write_free(io, kConsole, {"Random seed=", p.seed});
  return p;
}

void check_parameters(Units& io, const SimulationParameters& p) {
  if (p.n_snp < 0) reject(io, "n_snp", std::to_string(p.n_snp), "the number of SNPs must not be negative");
  if (p.n_snp > kMaxSnps) {
    reject(io, "n_snp", std::to_string(p.n_snp), "at most " + std::to_string(kMaxSnps) + " SNPs fit one record");
  }
  require_finite(io, "snp_range", p.snp_range);
  if (p.snp_range > 1.0f) {
    if (p.n_qtl > p.n_snp) {
      reject(io, "n_qtl", std::to_string(p.n_qtl),
             "with snp_range above 1 at most n_snp = " + std::to_string(p.n_snp) + " SNPs can have an effect");
    }
  } else if (p.n_snp < 1) {
    reject(io, "n_snp", std::to_string(p.n_snp), "with snp_range 1 or less SNP 1 carries the effect, so n_snp must be at least 1");
  }
  if (p.nprog < 0) reject(io, "nprog", std::to_string(p.nprog), "0 (own records) or a positive number of progenies");
  if (p.nrec > kMaxNrec) {
    reject(io, "nrec", std::to_string(p.nrec),
           "2 x nrec records are numbered in " + std::to_string(kRecordNumberWidth) +
               " columns, so nrec must be at most " + std::to_string(kMaxNrec));
  }
  require_finite(io, "freq_min", p.freq_min);
  require_finite(io, "freq_max", p.freq_max);
  require_frequency(io, "freq_min", p.freq_min);
  require_frequency(io, "freq_max", p.freq_max);
  require_finite(io, "var_a", p.var_a);
  if (!(p.var_a >= 0.0f)) reject(io, "var_a", real_text(p.var_a), "a variance must not be negative");
  require_finite(io, "h2", p.h2);
  if (!(p.h2 > 0.0f && p.h2 <= 1.0f)) reject(io, "h2", real_text(p.h2), "a heritability above 0 and at most 1 is required");
  require_finite(io, "mean", p.mean);
}

}  // namespace gp
