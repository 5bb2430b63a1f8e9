// What a run of snpbayes is asked to do: the method and its options, with
// their defaults.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace gp::bayes {

enum class Method : uint8_t { Brr, BayesCpi, BayesR };

// "brr", "bayescpi", "bayesr".
std::string_view method_name(Method method);

// BayesR's classes: effect variances gamma_k * var_g.
inline constexpr int kClasses = 4;
inline constexpr double kGamma[kClasses] = {0.0, 1.0e-4, 1.0e-3, 1.0e-2};

struct Settings {
  Method method = Method::BayesCpi;
  int64_t iterations = 10000;
  int64_t burn_in = 2000;
  int64_t thin = 10;
  uint64_t seed = 1;
  double pi = 0.5;      // bayescpi: the starting value of pi, held there with fix_pi
  bool fix_pi = false;
  bool fix_var = false;  // hold var_e and var_b (var_g for bayesr) at these:
  double var_e = 0.0;
  double var_b = 0.0;
  std::string kernel;  // the widest kernel allowed; empty: the widest there is
  std::string out;     // PREFIX; empty: the method's name
  bool quiet = false;
};

}  // namespace gp::bayes
