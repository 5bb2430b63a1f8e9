// Evidence that the samplers sample the right posterior: with the variances
// held, brr's posterior means are kolber's ridge solution at the ratio
// var_e / var_b within their Monte Carlo error; on a simulated study of 10
// QTL in 1 000 SNPs bayescpi and bayesr find the QTL, recover pi and var_e,
// and predict the independent set clearly better than SNP-BLUP. These run
// thousands of iterations, so a sanitizer build (about ten times slower)
// skips them; the bit-for-bit tests cover its code.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>
#include <utility>

#include "bayes/chain.hpp"
#include "bayes/ess.hpp"
#include "bayes/panel_matrix.hpp"
#include "bayes/sampler.hpp"
#include "bayes/study.hpp"
#include "common/text_io.hpp"
#include "estimator/genomic_values.hpp"
#include "estimator/loading.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/results.hpp"
#include "estimator/solver.hpp"
#include "support.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define SKIP_WHEN_SANITIZED() GTEST_SKIP() << "thousands of iterations: too slow under the sanitizers"
#else
#define SKIP_WHEN_SANITIZED() (void)0
#endif

namespace gp::bayes::testing {
namespace {

// kolber's solution (mean first, then the SNPs) at `ratio`, from the
// study in `folder`, as its solver leaves it.
std::vector<float> kolber_solution(const Scratch& folder, float ratio) {
  ConsoleCapture console;
  EstimatorState state;
  state.var_ratio = ratio;
  Units io(&console, folder.path());
  const int status = run_program(io, [&] {
    read_setup(io, state);
    allocate_equations(io, state);
    read_training_records(io, state);
    form_diag(state);
    iterate_pcg(io, state);
  });
  EXPECT_EQ(status, 0) << console.errors;
  return state.sol;
}

// SNP_setup's var_a and var_e, and the true ratio var_e sum 2p(1-p) / var_a.
struct Truth {
  double var_a, var_e, ratio;
};

Truth truth_of(const std::string& setup) {
  std::istringstream lines(setup);
  std::string line;
  for (int k = 0; k < 4; ++k) std::getline(lines, line);
  Truth truth{};
  std::istringstream(line) >> truth.var_a >> truth.var_e;
  std::getline(lines, line);  // "snp_freq"
  double heterozygosity = 0.0;
  while (std::getline(lines, line) && line.find("snp_val") == std::string::npos) {
    std::istringstream values(line);
    for (double p; values >> p;) heterozygosity += 2.0 * p * (1.0 - p);
  }
  truth.ratio = truth.var_e * heterozygosity / truth.var_a;
  return truth;
}

TEST(Posterior, BrrWithHeldVariancesIsKolbersSolutionWithinMonteCarloError) {
  SKIP_WHEN_SANITIZED();
  Scratch folder;
  simulate(folder, {.n_snp = 60, .n_qtl = 60, .nrec = 300, .snp_range = 3, .h2 = 0.5}, 71);
  constexpr double kVarE = 10.0, kVarB = 0.5;  // the ratio 20
  const std::vector<float> solution = kolber_solution(folder, static_cast<float>(kVarE / kVarB));

  Study study(folder.path());
  TrainingSet train = study.read_training();
  Settings settings;
  settings.method = Method::Brr;
  settings.fix_var = true;
  settings.var_e = kVarE;
  settings.var_b = kVarB;
  settings.seed = 5;
  const PanelMatrix x(std::move(train.x));
  Sampler sampler(x, train.y, settings, panel_kernel());
  constexpr int kBurnIn = 500, kSamples = 20000;
  std::vector<std::vector<double>> draws(61, std::vector<double>(kSamples));
  for (int t = -kBurnIn; t < kSamples; ++t) {
    sampler.iterate();
    for (int j = 0; t >= 0 && j <= 60; ++j) draws[j][t] = j == 0 ? sampler.mu() : sampler.effects()[j];
  }
  // z = (posterior mean - solution) / its Monte Carlo error, from each
  // chain's standard deviation and effective sample size.
  double sum_z2 = 0.0, largest = 0.0;
  for (int j = 0; j <= 60; ++j) {
    const std::vector<double>& chain = draws[j];
    const double mean = std::accumulate(chain.begin(), chain.end(), 0.0) / kSamples;
    double squares = 0.0;
    for (double v : chain) squares += (v - mean) * (v - mean);
    const double error = std::sqrt(squares / (kSamples - 1) / effective_sample_size(chain));
    const double z = (mean - solution[j]) / error;
    sum_z2 += z * z;
    largest = std::max(largest, std::abs(z));
  }
  // The sum of 61 squared standard normals: 61 +- 11; and no single |z| past 4.5.
  EXPECT_GT(sum_z2, 30.0);
  EXPECT_LT(sum_z2, 100.0);
  EXPECT_LT(largest, 4.5);
}

// SNP-BLUP's accuracy on the independent set at the true ratio, g_bv by
// kolber's rule.
double snp_blup_accuracy(const Scratch& folder, int n_snp) {
  const std::vector<float> blup = kolber_solution(folder, static_cast<float>(truth_of(folder.read("SNP_setup")).ratio));
  Study study(folder.path());
  study.read_training();
  DesignMatrix group = zero_codes(Study::kGroupRecords, n_snp + 1);
  float y[Study::kGroupRecords], s_bv[Study::kGroupRecords];
  std::vector<float> g(static_cast<size_t>(Study::kGroupRecords));
  RunningMoments moments;
  for (int64_t count; (count = study.read_independent(group, y, s_bv)) > 0;) {
    genomic_values(group, blup, g);
    for (int64_t r = 0; r < count; ++r) moments.add(y[r], s_bv[r], g[static_cast<size_t>(r)]);
  }
  return moments.finish().corr;
}

// The variance of y - s_bv over the training records of a run's PREFIX.gbv:
// the residual variance the sample holds.
double realised_var_e(const std::string& gbv) {
  double sum = 0.0, squares = 0.0;
  int n = 0;
  for (const auto& row : table(gbv)) {
    if (row[0] != "train") continue;
    const double e = std::stod(row[2]) - std::stod(row[3]);
    sum += e;
    squares += e * e;
    ++n;
  }
  return squares / n - (sum / n) * (sum / n);
}

TEST(Posterior, TenQtlFoundWithPiAndVarEAndBetterThanSnpBlup) {
  SKIP_WHEN_SANITIZED();
  Scratch folder;
  simulate(folder, {.n_snp = 1000, .n_qtl = 10, .nrec = 1000, .snp_range = 10, .h2 = 0.5}, 248);
  const double blup_accuracy = snp_blup_accuracy(folder, 1000);
  for (const std::string method : {"bayescpi", "bayesr"}) {
    const RunResult run =
        run_snpbayes_in(folder, {"--method", method, "--iterations", "3000", "--burn-in", "1000", "--quiet"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string json = folder.read(method + ".json");
    EXPECT_GT(json_value(json, "acc_indep"), blup_accuracy + 0.1) << method << " against SNP-BLUP's " << blup_accuracy;
    const auto effects = table(folder.read(method + ".effects"));
    // The five largest QTL all but surely in the model; the SNPs without an
    // effect rarely, though BayesR's smallest classes (1e-4 and 1e-3 of
    // var_g) take in many SNPs whose effects stay next to nothing.
    for (int j = 1; j <= 5; ++j) EXPECT_GT(std::stod(effects[j][4]), 0.95) << method << ", QTL " << j;
    double outside = 0.0;
    for (int j = 11; j <= 1000; ++j) outside += std::stod(effects[j][4]) / 990.0;
    EXPECT_LT(outside, method == "bayescpi" ? 0.02 : 0.25) << method;
    // Those small effects also take up some of the residual in BayesR.
    EXPECT_NEAR(json_value(json, "var_e") / realised_var_e(folder.read(method + ".gbv")), 1.0,
                method == "bayescpi" ? 0.06 : 0.12)
        << method;
    if (method == "bayescpi") {
      // 10 SNPs of 1000 have an effect: pi = 0.99 (the smallest QTL, a tenth
      // of the largest, may stay unseen).
      EXPECT_GT(json_value(json, "pi"), 0.975);
      EXPECT_LT(json_value(json, "pi"), 0.997);
    }
  }
}

// Every SNP with an effect of much the same size: the ridge's own case.
TEST(Posterior, PolygenicBrrRecoversVarEAndPredictsAsSnpBlup) {
  SKIP_WHEN_SANITIZED();
  Scratch folder;
  simulate(folder, {.n_snp = 500, .n_qtl = 500, .nrec = 1000, .snp_range = 2, .h2 = 0.5}, 744);
  const double blup_accuracy = snp_blup_accuracy(folder, 500);
  const RunResult run = run_snpbayes_in(folder, {"--method", "brr", "--iterations", "2000", "--quiet"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string json = folder.read("brr.json");
  EXPECT_NEAR(json_value(json, "acc_indep"), blup_accuracy, 0.02);
  EXPECT_NEAR(json_value(json, "var_e") / realised_var_e(folder.read("brr.gbv")), 1.0, 0.06);
  // var_e / var_b is the ridge's ratio: near the true one.
  EXPECT_NEAR(json_value(json, "var_e") / json_value(json, "var_b") / truth_of(folder.read("SNP_setup")).ratio, 1.0, 0.3);
}

}  // namespace
}  // namespace gp::bayes::testing
