// The sampler against its plain reference: the same chain, bit for bit,
// iteration by iteration, for every method and option, on every kernel, at
// record and SNP counts that leave tails in the tiles and the panels.
#include "bayes/sampler.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "bayes/panel_kernels.hpp"
#include "matrices.hpp"
#include "reference_sampler.hpp"

namespace gp::bayes::testing {
namespace {

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Phenotypes from a few large effects and noise, so every method has
// something to find and something to leave out.
std::vector<float> phenotypes(std::mt19937& rng, const Codes& x) {
  std::normal_distribution<double> noise(0.0, 2.0);
  std::vector<float> y(static_cast<size_t>(x.rows));
  for (int64_t i = 0; i < x.rows; ++i) {
    double value = 50.0 + noise(rng);
    for (int64_t j = 1; j < std::min<int64_t>(x.cols, 4); ++j) value += 3.0 * j * x.at(i, j);
    y[static_cast<size_t>(i)] = static_cast<float>(value);
  }
  return y;
}

TEST(Sampler, SameChainAsThePlainReferenceOnEveryKernel) {
  struct Case {
    const char* what;
    Method method;
    bool fix_pi, fix_var;
  };
  const Case cases[] = {
      {"brr", Method::Brr, false, false},           {"brr, variances held", Method::Brr, false, true},
      {"bayescpi", Method::BayesCpi, false, false}, {"bayescpi, pi held", Method::BayesCpi, true, false},
      {"bayesr", Method::BayesR, false, false},     {"bayesr, variances held", Method::BayesR, false, true},
  };
  // Records and SNPs (+ the mean's column) around the tile, the panel and
  // the kernels' tiles in flight; one matrix with a SNP of codes all zero.
  const std::pair<int64_t, int64_t> shapes[] = {{2, 1}, {9, 7}, {37, 13}, {64, 15}, {71, 24}, {130, 41}};
  std::mt19937 rng(11);
  for (const auto& [rows, snps] : shapes) {
    Codes codes = random_codes(rng, rows, snps + 1, true);
    if (snps > 5) {
      for (int64_t i = 0; i < rows; ++i) codes.code[static_cast<size_t>(i * codes.cols + 5)] = 0;
    }
    const PanelMatrix x(packed(codes));
    const std::vector<float> y = phenotypes(rng, codes);
    for (const Case& c : cases) {
      Settings settings;
      settings.method = c.method;
      settings.seed = rng();
      settings.pi = 0.3;
      settings.fix_pi = c.fix_pi;
      settings.fix_var = c.fix_var;
      settings.var_e = 4.0;
      settings.var_b = 0.5;
      for (const PanelKernel* kernel : every_kernel()) {
        Sampler sampler(x, y, settings, *kernel);
        ReferenceSampler reference(codes, y, settings);
        for (int iteration = 1; iteration <= 25; ++iteration) {
          sampler.iterate();
          reference.iterate();
          const auto where = [&] {
            return std::string(c.what) + ", " + std::string(kernel->name) + ", " + std::to_string(rows) + " x " +
                   std::to_string(snps) + ", iteration " + std::to_string(iteration);
          };
          for (int64_t j = 0; j < x.cols(); ++j) {
            ASSERT_TRUE(same_bits(sampler.effects()[j], reference.effects()[j])) << where() << ", column " << j;
          }
          ASSERT_TRUE(same_bits(sampler.var_e(), reference.var_e())) << where();
          ASSERT_TRUE(same_bits(sampler.var_b(), reference.var_b())) << where();
          ASSERT_TRUE(same_bits(sampler.pi(), reference.pi())) << where();
          for (int k = 0; k < kClasses; ++k) {
            ASSERT_TRUE(same_bits(sampler.proportions()[k], reference.proportions()[k])) << where();
          }
        }
        int64_t varying = 0;
        for (int64_t j = 1; j <= snps; ++j) {
          for (int64_t i = 1; i < rows; ++i) {
            if (codes.at(i, j) != codes.at(0, j)) {
              ++varying;
              break;
            }
          }
        }
        EXPECT_EQ(sampler.informative(), varying) << "the SNPs whose codes vary";
      }
    }
  }
}

}  // namespace
}  // namespace gp::bayes::testing
