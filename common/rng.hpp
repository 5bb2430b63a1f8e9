// The random-number generator: one 32-bit linear congruential stream whose 24
// high bits give a single-precision number in [0, 1), and the two derived
// operations the population model draws from.
//
// Every operation is IEEE single precision with the grouping written here; the
// build forbids fused multiply-add, so each step rounds on its own.
#pragma once

#include <cmath>
#include <cstdint>

namespace gp {

// State of the stream when a program starts.
inline constexpr uint32_t kInitialState = 183608127u;  // 0x0AF1A33F

// The stream's state. A program holds one and passes it to every draw.
struct Generator {
  uint32_t state = kInitialState;
};

// One step: state <- state x 69069 + 1 (mod 2^32); returns the 24 high bits
// of the new state times 2^-24, a value in [0, 1) that is exact in single.
inline float base_draw(Generator& g) {
  g.state = g.state * 69069u + 1u;
  return static_cast<float>(g.state >> 8) * 0x1p-24f;
}

// One draw: ((b - a) x u) + a.
inline float uniform(Generator& g, float a, float b) {
  const float u = base_draw(g);
  float r = b - a;
  r = r * u;
  return r + a;
}

// Twelve draws: sqrt(v) x (u1 + ... + u12 - 6) + m, v being a variance.
// A negative v gives not-a-number.
inline float normal(Generator& g, float m, float v) {
  float u[12];
  for (float& x : u) x = base_draw(g);
  float s = 0.0f;
  for (float x : u) s = s + x;
  const float z = s - 6.0f;
  const float d = std::sqrt(v);
  const float r = d * z;
  return r + m;
}

// Moves the stream n draws ahead, as n calls of base_draw would.
void skip_draws(Generator& g, uint64_t n);

// Natural logarithm and exponential of a single-precision value, correctly
// rounded: evaluated in double and rounded to single once.
float single_log(float x);
float single_exp(float x);

}  // namespace gp
