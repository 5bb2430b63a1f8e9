// SNP_results' line layout has two owners, estimator/results.hpp and the
// workflow's outputs.py: a change on one side fails here until the other
// follows.
#include <gtest/gtest.h>
#include <unistd.h>

#include "estimator/results.hpp"
#include "support/python_facts.hpp"

namespace gp {
namespace {

TEST(ResultsLayoutFacts, PythonHoldsTheSameAsCpp) {
  if (::access(test::kFactsPython, X_OK) != 0) GTEST_SKIP() << test::kFactsPython << " is not installed";
  const std::map<std::string, int64_t> cpp = {
      {"result_number_width", kResultNumberWidth},
      {"result_real_width", kResultRealWidth},
      {"result_decimals", kResultDecimals},
  };
  EXPECT_EQ(test::python_facts("results"), cpp);
}

}  // namespace
}  // namespace gp
