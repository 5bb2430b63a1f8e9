#include "estimator/results.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "estimator/genomic_values.hpp"
#include "estimator/lhs_product.hpp"
#include "estimator/loading.hpp"
#include "estimator/record_reader.hpp"

namespace gp {

namespace {

constexpr int kResultsUnit = 3;
constexpr const char* kResultsFile = "SNP_results";

// The layout of the effect and the breeding-value lines.
const Layout& line_layout() {
  static const Layout kLine = parse_layout("I" + std::to_string(kResultNumberWidth) + ",2F" +
                                           std::to_string(kResultRealWidth) + "." + std::to_string(kResultDecimals));
  return kLine;
}

void write_result_header(Units& io, const EstimatorState& state) {
  static const Layout kMean = parse_layout("' Estimated mean: ',F10.2");
  static const Layout kEffectsHeading = parse_layout("'Simulated and estimated genomic values'");
  static const Layout kValuesHeading = parse_layout("//'Simulated and estimated breeding values'");

  open_unit(io, kResultsUnit, kResultsFile);
  write_record(io, kResultsUnit, kMean, {state.sol[0]});
  write_record(io, kResultsUnit, kEffectsHeading);
  // The effects are one statement in the file's layout: with no SNP it
  // still writes one, empty, line.
  if (state.n_snp == 0) write_record(io, kResultsUnit, line_layout());
  for (int32_t j = 0; j < state.n_snp; ++j) {
    write_record(io, kResultsUnit, line_layout(), {j + 1, state.snp_val[j], state.sol[j + 1]});
  }
  write_record(io, kResultsUnit, kValuesHeading);
}

// The training records' lines and statistics from what loading kept: y,
// s_bv and the rows of x, which are the records' codes. Reading the records
// again would give the same values.
SetStatistics training_set(Units& io, const EstimatorState& state) {
  std::vector<float> g_bv = allocate_array<float>(io, row_sums_size(state.x));
  genomic_values(state.x, state.sol, g_bv);
  RunningMoments moments;
  for (int32_t i = 0; i < state.nrec; ++i) {
    write_record(io, kResultsUnit, line_layout(), {i + 1, state.s_bv[i], g_bv[i]});
    moments.add(state.y[i], state.s_bv[i], g_bv[i]);
  }
  return moments.finish();
}

// The independent records, read on from where loading stopped. Their values
// are computed a few record groups at a time, so the lines of a group wait
// for its last record; a failure on the way writes those read before it
// first, as if each line had gone out at once.
SetStatistics independent_set(Units& io, EstimatorState& state) {
  constexpr int64_t kGroupRecords = 4 * DesignMatrix::kTile;
  UnitLines lines(io, kDataUnit);
  RecordReader reader(lines, 2 * int64_t{state.nrec}, state.nrec);
  DesignMatrix records = allocate_matrix(io, std::min<int64_t>(kGroupRecords, state.nrec), state.neq);
  std::vector<int8_t> row = allocate_array<int8_t>(io, state.neq);
  row[0] = 1;
  float y[kGroupRecords], s_bv[kGroupRecords];
  std::vector<float> g_bv = allocate_array<float>(io, row_sums_size(records));
  RunningMoments moments;
  int64_t first = 0;
  int64_t read = 0;
  const auto write_lines = [&] {
    genomic_values(records, state.sol, g_bv);
    for (int64_t r = 0; r < read; ++r) {
      write_record(io, kResultsUnit, line_layout(), {static_cast<int32_t>(first + r + 1), s_bv[r], g_bv[r]});
      moments.add(y[r], s_bv[r], g_bv[r]);
    }
  };
  for (; first < state.nrec; first += kGroupRecords) {
    const int64_t count = std::min(kGroupRecords, state.nrec - first);
    hold_output(io, write_lines);
    for (read = 0; read < count; ++read) {
      read_coded_record(io, reader, y[read], s_bv[read], std::span<int8_t>(row).subspan(1), state.geno);
      records.store_row(read, row.data());
    }
    hold_output(io, nullptr);
    write_lines();
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

void report_results(Units& io, EstimatorState& state, CpuClock cpu_seconds) {
  static const Layout kTrainingHeading = parse_layout("//'Results for training data set'");
  static const Layout kIndependentHeading = parse_layout("//'Results for independent data set'");
  static const Layout kFinished = parse_layout("/'Finished in ',F8.2,' seconds'");

  write_result_header(io, state);
  write_record(io, kConsole, kTrainingHeading);
  print_statistics(io, training_set(io, state));
  write_record(io, kConsole, kIndependentHeading);
  print_statistics(io, independent_set(io, state));

  flush_unit(io, kResultsUnit);
  write_record(io, kConsole, kFinished, {cpu_seconds() - state.start_time});
  state = EstimatorState{};
  end_program(io);
}

}  // namespace gp
