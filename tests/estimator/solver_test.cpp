// The conjugate-gradient solver against small systems with known solutions
// and against a plain transcription of the method on the float matrix.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/text_io.hpp"
#include "estimator/normal_equations.hpp"
#include "estimator/solver.hpp"
#include "support/design_reference.hpp"

namespace gp {
namespace {

// A state with x, y, xpy and diag set up from the given coded genotypes
// (one row of n_snp codes per record).
EstimatorState make_system(const std::vector<float>& y, const std::vector<std::vector<int>>& codes, float ratio) {
  EstimatorState state;
  state.var_ratio = ratio;
  state.nrec = static_cast<int32_t>(y.size());
  state.n_snp = codes.empty() ? 0 : static_cast<int32_t>(codes[0].size());
  state.neq = state.n_snp + 1;
  state.y = y;
  state.x = test::zero_matrix(state.nrec, state.neq);
  state.xpy.assign(static_cast<size_t>(state.neq), 0.0f);
  state.diag.assign(static_cast<size_t>(state.neq), 0.0f);
  state.sol.assign(static_cast<size_t>(state.neq), 99.0f);
  for (int64_t i = 0; i < state.nrec; ++i) {
    test::set_code(state.x, i, 0, 1);
    for (int64_t j = 0; j < state.n_snp; ++j) test::set_code(state.x, i, j + 1, static_cast<int8_t>(codes[i][j]));
    test::add_record_to_xpy(state, i);
  }
  form_diag(state);
  return state;
}

EstimatorState random_system(unsigned seed, int records, int snps, float ratio) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> code(-1, 1);
  std::uniform_real_distribution<float> noise(-5.0f, 5.0f);
  std::vector<float> y(static_cast<size_t>(records));
  std::vector<std::vector<int>> codes(static_cast<size_t>(records), std::vector<int>(static_cast<size_t>(snps)));
  for (int i = 0; i < records; ++i) {
    y[i] = 100.0f + noise(rng);
    for (int j = 0; j < snps; ++j) codes[i][j] = code(rng);
  }
  return make_system(y, codes, ratio);
}

// The method step by step as it is written down: per-record product on the
// float matrix, single-precision preconditioner and solution.
PcgOutcome literal_pcg(EstimatorState& s) {
  const int n = s.neq;
  std::vector<float> xf(static_cast<size_t>(s.nrec) * static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) {
    for (int i = 0; i < s.nrec; ++i) xf[i + k * s.nrec] = static_cast<float>(test::code_at(s.x, i, k));
  }
  auto product = [&](const std::vector<double>& v) {
    std::vector<double> w(n, 0.0);
    for (int i = 0; i < s.nrec; ++i) {
      double t = 0.0;
      for (int k = 0; k < n; ++k) t = static_cast<double>(xf[i + k * s.nrec]) * v[k] + t;
      for (int j = 0; j < n; ++j) w[j] = static_cast<double>(xf[i + j * s.nrec]) * t + w[j];
    }
    for (int j = 1; j < n; ++j) w[j] = static_cast<double>(s.var_ratio) * v[j] + w[j];
    return w;
  };
  std::vector<double> precon(n), r(n), z(n), p(n), w(n);
  for (int j = 0; j < n; ++j) precon[j] = static_cast<double>(1.0f / (s.var_ratio + s.diag[j]));
  precon[0] = static_cast<double>(1.0f / s.diag[0]);
  for (int j = 0; j < n; ++j) s.sol[j] = 0.0f, r[j] = static_cast<double>(s.xpy[j]);
  double tau_old = 0.0, crit = 0.0;
  int round = 1;
  while (true) {
    double tau = 0.0;
    for (int j = 0; j < n; ++j) z[j] = precon[j] * r[j], tau += r[j] * z[j];
    for (int j = 0; j < n; ++j) p[j] = round == 1 ? z[j] : (tau / tau_old) * p[j] + z[j];
    w = product(p);
    double pw = 0.0;
    for (int j = 0; j < n; ++j) pw += p[j] * w[j];
    const double alpha = tau / pw;
    for (int j = 0; j < n; ++j) s.sol[j] = static_cast<float>(alpha * p[j] + static_cast<double>(s.sol[j]));
    if (round % 100 != 0) {
      for (int j = 0; j < n; ++j) r[j] -= alpha * w[j];
    } else {
      const std::vector<double> u = product(std::vector<double>(s.sol.begin(), s.sol.end()));
      for (int j = 0; j < n; ++j) r[j] = static_cast<double>(s.xpy[j]) - u[j];
    }
    float ssq_rhs = 0.0f;
    for (float value : s.xpy) ssq_rhs += value * value;
    double ssq_r = 0.0;
    for (int j = 0; j < n; ++j) ssq_r += r[j] * r[j];
    crit = ssq_r / static_cast<double>(ssq_rhs);
    if (crit < static_cast<double>(1.0e-14f) || std::isnan(crit)) return {crit, round};
    tau_old = tau;
    if (++round > 110) return {crit, 111};
  }
}

PcgOutcome solve(EstimatorState& state) {
  Units io;
  return iterate_pcg(io, state);
}

TEST(Solver, FourRecordsOneSnpEndInRoundTwo) {
  EstimatorState state = make_system({1, 2, 3, 4}, {{-1}, {0}, {1}, {1}}, 1.0f);
  EXPECT_EQ(state.diag, (std::vector<float>{4, 3}));
  EXPECT_EQ(state.xpy, (std::vector<float>{10, 6}));
  const PcgOutcome outcome = solve(state);
  EXPECT_EQ(outcome.round, 2);
  EXPECT_LT(outcome.crit, static_cast<double>(1.0e-14f));
  EXPECT_EQ(state.sol[0], 34.0f / 15.0f);  // 2.2666667
  EXPECT_EQ(state.sol[1], 14.0f / 15.0f);  // 0.93333334
}

TEST(Solver, MeanOnlyModelEndsInRoundOne) {
  EstimatorState state = make_system({10.5f, 11.25f, 9.0f}, {}, 3.0f);
  const PcgOutcome outcome = solve(state);
  EXPECT_EQ(outcome.round, 1);
  EXPECT_FLOAT_EQ(state.sol[0], 30.75f / 3.0f);
}

TEST(Solver, AllZeroRightHandSideEndsOnNotANumber) {
  EstimatorState state = make_system({0, 0}, {{1}, {-1}}, 1.0f);
  const PcgOutcome outcome = solve(state);
  EXPECT_EQ(outcome.round, 1);
  EXPECT_TRUE(std::isnan(outcome.crit));
}

TEST(Solver, MatchesThePlainMethodBitForBit) {
  struct Case { unsigned seed; int records, snps; float ratio; int round; };  // round 0: not checked
  const Case cases[] = {
      {1, 4, 1, 1.0f, 2},  {2, 30, 5, 0.5f, 0},   {3, 20, 40, 2.0f, 0}, {4, 50, 0, 7.0f, 1},
      {5, 12, 12, 0.0f, 0}, {6, 160, 250, 1.0e-4f, 111},  // far too ill-conditioned for 110 rounds
  };
  for (const Case& c : cases) {
    EstimatorState fast = random_system(c.seed, c.records, c.snps, c.ratio);
    EstimatorState plain = fast;
    const PcgOutcome got = solve(fast);
    const PcgOutcome want = literal_pcg(plain);
    EXPECT_EQ(got.round, want.round) << "seed " << c.seed;
    EXPECT_EQ(std::memcmp(&got.crit, &want.crit, sizeof(double)), 0) << "seed " << c.seed;
    EXPECT_EQ(fast.sol, plain.sol) << "seed " << c.seed;
    if (c.round != 0) {
      EXPECT_EQ(got.round, c.round) << "seed " << c.seed;
    }
  }
}

}  // namespace
}  // namespace gp
