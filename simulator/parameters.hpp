// The simulator's parameters: read from par_tarvox with their echo on the
// console, and checked before anything is simulated.
#pragma once

#include <cstdint>

#include "common/text_io.hpp"

namespace gp {

inline constexpr int kParameterUnit = 3;

// The ten values of par_tarvox in file order, and the two derived values
// that the set-up steps of the model fill in.
struct SimulationParameters {
  int32_t n_snp = 0;
  int32_t n_qtl = 0;
  int32_t nprog = 0;
  int32_t nrec = 0;
  float freq_min = 0.0f;
  float freq_max = 0.5f;
  float snp_range = 0.0f;
  float var_a = 0.0f;
  float h2 = 0.0f;
  float mean = 0.0f;
  int32_t seed = 0;
  float var_e = 0.0f;
  float sim_var = 0.0f;
};

// Opens par_tarvox on unit 3, reads its ten label/value pairs and echoes
// each value on the console as soon as it is read.
SimulationParameters read_parameters(Units& io);

// Ends the run with an input error naming the first parameter that the model
// cannot simulate, its value and what is accepted; returns when all are fine.
void check_parameters(Units& io, const SimulationParameters& p);

}  // namespace gp
