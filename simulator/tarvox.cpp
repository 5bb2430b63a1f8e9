#include "simulator/tarvox.hpp"

#include <time.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/format.hpp"
#include "common/rng.hpp"
#include "common/snp_files.hpp"
#include "simulator/allele_draws.hpp"
#include "simulator/model.hpp"
#include "simulator/parameters.hpp"

namespace gp {
namespace {

// The effects can be scaled to var_a only by a finite, non-zero sim_var.
void check_sim_var(Units& io, const SimulationParameters& p) {
  if (p.sim_var == 0.0f) {
    input_error(io, "sim_var = 0: no SNP with a non-zero effect has a frequency strictly between 0 and 1 (n_qtl = " +
                        std::to_string(p.n_qtl) + "), so the effects cannot be scaled to var_a");
  }
  if (!std::isfinite(p.sim_var)) {
    input_error(io, "sim_var = " + real_text(p.sim_var) + " exceeds single precision (snp_range = " +
                        real_text(p.snp_range) + " is too large), so the effects cannot be scaled to var_a");
  }
}

void check_var_e(Units& io, const SimulationParameters& p) {
  if (!std::isfinite(p.var_e)) {
    input_error(io, "var_e = ((1 - h2) x var_a) / h2 = " + real_text(p.var_e) + " exceeds single precision (h2 = " +
                        real_text(p.h2) + ", var_a = " + real_text(p.var_a) + ")");
  }
}

void write_report(Units& io, const SimulationParameters& p) {
  static const Layout kCounts = parse_layout("'Simulated ',I0,' records with ',I0,' SNP effects'");
  static const Layout kSetupLine = parse_layout("'Simulated parameters are in file SNP_setup'");
  static const Layout kDataLine = parse_layout("'Simulated records are in file SNP_data'");
  write_record(io, kConsole, kCounts, {p.nrec, p.n_snp});
  write_record(io, kConsole, kSetupLine);
  write_record(io, kConsole, kDataLine);
}

}  // namespace

int system_clock_ms() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<int>(now.tv_nsec / 1000000);
}

void run_tarvox(Units& io, const MillisecondClock& clock) {
  static const Layout kBanner = parse_layout("'Program TARVOX 1.2(Halvenor, QRT)'");
  write_record(io, kConsole, kBanner);
  SimulationParameters p = read_parameters(io);
  check_parameters(io, p);

  const int64_t n_snp = p.n_snp;
  // The animal's allele codes live as the digits of its SNP_data line.
  DataLines lines = make_data_lines(io, p.n_snp);
  std::vector<int32_t> thresholds = allocate_array<int32_t>(io, 2 * n_snp);
  std::vector<float> snp_freq = allocate_array<float>(io, n_snp);
  std::vector<float> snp_val = allocate_array<float>(io, n_snp);

  Generator g;
  warm_up(g, clock());
  draw_frequencies(g, p, snp_freq);
  draw_effects(g, p, snp_val);
  if (n_snp >= 1) {
    p.sim_var = genetic_variance(snp_freq, snp_val);
    check_sim_var(io, p);
    scale_effects(p.var_a, p.sim_var, snp_val);
  }
  p.var_e = residual_variance(p.h2, p.var_a);
  check_var_e(io, p);

  write_setup(io, {p.n_snp, p.n_qtl, p.nrec, p.nprog, p.var_a, p.var_e, p.sim_var, snp_freq, snp_val});

  // The first write cuts an earlier study's file after the new data. A run
  // without records cuts it at once, so no earlier record stays beside the
  // new SNP_setup. (Cutting a file to nothing also makes some file systems
  // write it all out when it is closed: the cut is not made when needless.)
  open_unit(io, kDataUnit, kDataFile);
  allele_thresholds(snp_freq, thresholds);
  const std::span<const float> effects = std::span<const float>(snp_val).first(effects_in_use(snp_val));
  const int32_t records = p.nrec > 0 ? 2 * p.nrec : 0;
  if (records == 0) cut_unit(io, kDataUnit);
  for (int32_t i = 1; i <= records; ++i) {
    char* const digits = allele_digits(lines);
    draw_allele_digits(g, thresholds, digits);
    const float s_bv = breeding_value_of_digits(digits, effects);
    const float y = record_value(g, p, s_bv);
    write_data_line(io, lines, i, y, s_bv);
  }
  flush_data_lines(io, lines);

  flush_unit(io, kSetupUnit);
  flush_unit(io, kDataUnit);
  write_report(io, p);
  end_program(io);
}

}  // namespace gp
