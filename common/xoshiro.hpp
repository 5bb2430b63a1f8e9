// xoshiro256++ (Blackman and Vigna, "Scrambled linear pseudorandom number
// generators", ACM TOMS 2021): 256 bits of state, period 2^256 - 1, seeded
// through splitmix64 as its authors advise. The samplers' source of
// randomness; the simulator keeps its own generator (rng.hpp).
#pragma once

#include <bit>
#include <cstdint>

namespace gp {

// One step of splitmix64 (Steele, Lea and Flood 2014): advances `state` by
// the golden-ratio increment and returns the mixed value.
inline uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

class Xoshiro256pp {
 public:
  // The four state words are four successive splitmix64 outputs from `seed`
  // (never all zero).
  explicit Xoshiro256pp(uint64_t seed) {
    for (uint64_t& word : s_) word = splitmix64(seed);
  }

  uint64_t next() {
    const uint64_t result = std::rotl(s_[0] + s_[3], 23) + s_[0];
    const uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = std::rotl(s_[3], 45);
    return result;
  }

  // A double in [0, 1): the top 53 bits times 2^-53, every value exact.
  double uniform() { return static_cast<double>(next() >> 11) * 0x1p-53; }

  // A double in (0, 1): the top 53 bits plus one half, times 2^-53.
  double uniform_open() { return (static_cast<double>(next() >> 11) + 0.5) * 0x1p-53; }

  // For tests: a generator in a given state.
  static Xoshiro256pp from_state(uint64_t s0, uint64_t s1, uint64_t s2, uint64_t s3) {
    Xoshiro256pp g(0);
    g.s_[0] = s0, g.s_[1] = s1, g.s_[2] = s2, g.s_[3] = s3;
    return g;
  }

 private:
  uint64_t s_[4];
};

}  // namespace gp
