#include "estimator/results.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/loading.hpp"
#include "estimator/record_reader.hpp"

namespace gp {

namespace {

constexpr int kResultsUnit = 3;
constexpr const char* kResultsFile = "SNP_results";

void write_result_header(Units& io, const EstimatorState& state) {
  static const Layout kMean = parse_layout("' Estimated mean: ',F10.2");
  static const Layout kEffectsHeading = parse_layout("'Simulated and estimated genomic values'");
  static const Layout kEffect = parse_layout("I6,2F10.2");
  static const Layout kValuesHeading = parse_layout("//'Simulated and estimated breeding values'");

  open_unit(io, kResultsUnit, kResultsFile);
  write_record(io, kResultsUnit, kMean, {state.sol[0]});
  write_record(io, kResultsUnit, kEffectsHeading);
  // The effects are one statement in the file's layout: with no SNP it
  // still writes one, empty, line.
  if (state.n_snp == 0) write_record(io, kResultsUnit, kEffect);
  for (int32_t j = 0; j < state.n_snp; ++j) {
    write_record(io, kResultsUnit, kEffect, {j + 1, state.snp_val[j], state.sol[j + 1]});
  }
  write_record(io, kResultsUnit, kValuesHeading);
}

// Reads the next nrec records of SNP_data, writing each record's breeding
// values to SNP_results as it goes. `first_record` is the position in the
// file of the first of them; `codes` holds one record's coded genotypes,
// `terms` its non-zero terms.
SetStatistics validate_set(Units& io, EstimatorState& state, const Layout& data, int64_t first_record,
                           std::span<int8_t> codes, std::span<float> terms) {
  static const Layout kValues = parse_layout("I6,2F10.2");
  const bool finite_effects =
      std::all_of(state.sol.begin(), state.sol.end(), [](float effect) { return std::isfinite(effect); });
  RunningMoments moments;
  float s_bv = 0.0f;
  for (int32_t i = 0; i < state.nrec; ++i) {
    read_coded_record(io, data, first_record + i, state.y[i], s_bv, codes, state.geno);
    const float g_bv =
        finite_effects ? genomic_value_skipping_zeros(codes, state.sol, terms) : genomic_value(codes, state.sol);
    write_record(io, kResultsUnit, kValues, {i + 1, s_bv, g_bv});
    moments.add(state.y[i], s_bv, g_bv);
  }
  return moments.finish();
}

void print_statistics(Units& io, const SetStatistics& stats) {
  static const Layout kHeader = parse_layout("'                    y           simulated_bv     genomic_bv'");
  static const Layout kMeans = parse_layout("' mean',T10,3F15.2");
  static const Layout kVariances = parse_layout("' var',T10,3F15.2");
  static const Layout kCorrelation = parse_layout("' corr(s_bv,g_bv):',F5.3");
  write_record(io, kConsole, kHeader);
  write_record(io, kConsole, kMeans, {std::span<const float>(stats.mean)});
  write_record(io, kConsole, kVariances, {std::span<const float>(stats.var)});
  write_record(io, kConsole, kCorrelation, {stats.corr});
}

}  // namespace

void RunningMoments::add(float y, float s_bv, float g_bv) {
  const double value[3] = {y, s_bv, g_bv};
  ++count_;
  const double n = static_cast<double>(count_);
  double before[3];
  for (int k = 0; k < 3; ++k) {
    before[k] = value[k] - mean_[k];
    mean_[k] += before[k] / n;
    squares_[k] += before[k] * (value[k] - mean_[k]);
  }
  co_moment_ += before[1] * (value[2] - mean_[2]);
}

SetStatistics RunningMoments::finish() const {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  SetStatistics stats{};
  const double n = static_cast<double>(count_);
  double var[3];
  for (int k = 0; k < 3; ++k) {
    var[k] = count_ > 0 ? squares_[k] / n : kNaN;
    stats.mean[k] = static_cast<float>(count_ > 0 ? mean_[k] : kNaN);
    stats.var[k] = static_cast<float>(var[k]);
  }
  // Covariance first, then one division by each standard deviation.
  const bool defined = count_ > 0 && var[1] > 0.0 && var[2] > 0.0;
  stats.corr = static_cast<float>(defined ? co_moment_ / n / std::sqrt(var[1]) / std::sqrt(var[2]) : kNaN);
  return stats;
}

float genomic_value(std::span<const int32_t> geno, std::span<const float> sol) {
  float g_bv = 0.0f;
  for (size_t j = 0; j + 1 < sol.size(); ++j) {
    g_bv = static_cast<float>(genotype_code(geno, static_cast<int64_t>(j))) * sol[j + 1] + g_bv;
  }
  return g_bv;
}

float genomic_value(std::span<const int8_t> codes, std::span<const float> sol) {
  float g_bv = 0.0f;
  for (size_t j = 0; j < codes.size(); ++j) g_bv = static_cast<float>(codes[j]) * sol[j + 1] + g_bv;
  return g_bv;
}

// A zero code contributes 0 * effect, a signed zero when the effect is
// finite. The sum starts at +0.0 and adding a signed zero to it leaves it
// unchanged; it can never become -0.0, since x + y is -0.0 in round to
// nearest only when both are -0.0. So those terms can be left out, and the
// others, being +-effect exactly, are gathered first to shorten the chain of
// dependent additions.
float genomic_value_skipping_zeros(std::span<const int8_t> codes, std::span<const float> sol,
                                   std::span<float> terms) {
  size_t count = 0;
  for (size_t j = 0; j < codes.size(); ++j) {
    terms[count] = static_cast<float>(codes[j]) * sol[j + 1];
    count += codes[j] != 0 ? 1 : 0;
  }
  float g_bv = 0.0f;
  for (size_t t = 0; t < count; ++t) g_bv = terms[t] + g_bv;
  return g_bv;
}

void report_results(Units& io, EstimatorState& state, CpuClock cpu_seconds) {
  static const Layout kTrainingHeading = parse_layout("//'Results for training data set'");
  static const Layout kIndependentHeading = parse_layout("//'Results for independent data set'");
  static const Layout kFinished = parse_layout("/'Finished in ',F8.2,' seconds'");

  write_result_header(io, state);
  rewind_unit(io, kDataUnit);
  const Layout data = data_layout(state.n_snp);

  std::vector<int8_t> codes = allocate_array<int8_t>(io, state.n_snp);
  std::vector<float> terms = allocate_array<float>(io, state.n_snp);
  write_record(io, kConsole, kTrainingHeading);
  print_statistics(io, validate_set(io, state, data, 1, codes, terms));
  write_record(io, kConsole, kIndependentHeading);
  print_statistics(io, validate_set(io, state, data, int64_t{state.nrec} + 1, codes, terms));

  flush_unit(io, kResultsUnit);
  write_record(io, kConsole, kFinished, {cpu_seconds() - state.start_time});
  state = EstimatorState{};
  end_program(io);
}

}  // namespace gp
