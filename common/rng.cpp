#include "common/rng.hpp"

namespace gp {

// n steps of x -> a x + c compose to x -> A x + C with A = a^n and
// C = c (a^(n-1) + ... + 1), all mod 2^32; built by squaring, so a skip of
// any length costs at most 64 rounds.
void skip_draws(Generator& g, uint64_t n) {
  uint32_t a = 69069u, c = 1u;
  uint32_t total_a = 1u, total_c = 0u;
  while (n > 0) {
    if (n & 1u) {
      total_a = total_a * a;
      total_c = total_c * a + c;
    }
    c = c * (a + 1u);
    a = a * a;
    n >>= 1;
  }
  g.state = total_a * g.state + total_c;
}

float single_log(float x) { return static_cast<float>(std::log(static_cast<double>(x))); }

float single_exp(float x) { return static_cast<float>(std::exp(static_cast<double>(x))); }

}  // namespace gp
