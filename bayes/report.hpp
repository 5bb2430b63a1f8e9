// What a run of snpbayes reports: the lines of PREFIX.effects, PREFIX.gbv and
// PREFIX.trace (tab-separated, one header line), the text of PREFIX.json and
// the console's statistics. Numbers are written with the fewest digits that
// read back as the same value (float or double as held), so every byte
// follows from the inputs, the options and the seed; NaN and infinities as
// NaN, Inf and -Inf. Only the last three keys of PREFIX.json, "kernel",
// "seconds" and "ms_per_iteration", say how the run went rather than what it
// found: they stand on lines of their own at the end.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bayes/chain.hpp"
#include "bayes/priors.hpp"
#include "bayes/settings.hpp"
#include "common/output_files.hpp"
#include "estimator/results.hpp"

namespace gp::bayes {

// `value` as the printf `format` (one conversion of a double) writes it,
// for the console.
std::string number(const char* format, double value);

// One set's statistics as kolber reports them, and the regression slope of
// s_bv on g_bv (1: unbiased prediction).
struct SetSummary {
  SetStatistics stats{};
  double slope = 0.0;
};
SetSummary summarise(const RunningMoments& moments);

// PREFIX.effects: snp, sim_effect, effect (posterior mean), sd (posterior
// standard deviation), and for bayescpi and bayesr p_nonzero, for bayesr
// then p_class0 .. p_class3.
void write_effects(TemporaryFile& file, const Settings& settings, const Chain& chain, std::span<const float> snp_val);

// PREFIX.gbv: the header, then one line per record: set (train, indep),
// record (its number in SNP_data), y, s_bv, g_bv.
void write_gbv_header(TemporaryFile& file);
void write_gbv_lines(TemporaryFile& file, std::string_view set, int64_t first_record, std::span<const float> y,
                     std::span<const float> s_bv, std::span<const float> g_bv);

// PREFIX.trace: iteration, mu, var_e, var_b (var_g), pi (bayescpi) or
// p_class0 .. p_class3 (bayesr), snps_in_model; one line per kept sample.
void write_trace(TemporaryFile& file, const Settings& settings, const Chain& chain);

// The effective sample size of each hyper-parameter's trace that varies, by
// name as PREFIX.json has them.
struct NamedValue {
  std::string name;
  double value;
};
std::vector<NamedValue> trace_ess(const Settings& settings, const Chain& chain);

// Everything PREFIX.json holds.
struct Outcome {
  const Settings& settings;
  const Chain& chain;
  Priors priors;
  int32_t n_snp = 0;
  int32_t nrec = 0;
  int64_t informative = 0;  // SNPs whose training codes are not all 0
  std::vector<NamedValue> ess;  // trace_ess of the chain
  SetSummary train, indep;
  std::string_view kernel;
  double seconds = 0.0;            // processor seconds of the whole run
  double ms_per_iteration = 0.0;   // processor milliseconds per iteration of the sampler
};
std::string json_text(const Outcome& outcome);

// The console's report at the end of a run: both sets' statistics as kolber
// prints them, the posterior means, the effective sample sizes and the
// processor seconds.
void print_report(std::ostream& out, const Outcome& outcome);

}  // namespace gp::bayes
