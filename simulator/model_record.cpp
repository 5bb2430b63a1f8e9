// The record value of an animal from its breeding value: twelve draws.
#include "simulator/model.hpp"

namespace gp {

float record_value(Generator& g, const SimulationParameters& p, float s_bv) {
  if (p.nprog == 0) return p.mean + normal(g, s_bv, p.var_e);
  const float w = ((4.0f * p.var_e) + (3.0f * p.var_a)) / static_cast<float>(p.nprog);
  const float e = normal(g, 0.0f, w);
  return (p.mean + s_bv) + e;
}

}  // namespace gp
