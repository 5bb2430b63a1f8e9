// The population model: the set-up steps (warm-up, frequencies, effects,
// scaling, residual variance) and the record steps (alleles, breeding value,
// record) of one animal. Every random value comes from the caller's
// generator, consumed in the fixed order of these steps.
#pragma once

#include <cstdint>
#include <span>

#include "common/rng.hpp"
#include "simulator/parameters.hpp"

namespace gp {

// Set-up steps, in the order the driver calls them.

// Discards `count` draws (the milliseconds of the clock at start).
void warm_up(Generator& g, int count);

// snp_freq(j) = uniform(freq_min, freq_max) for every SNP, SNP 1 first.
void draw_frequencies(Generator& g, const SimulationParameters& p, std::span<float> snp_freq);

// Sets the unscaled effects in the zero-filled snp_val. snp_range <= 1: SNP 1
// gets 1.0 and nothing is drawn. Otherwise the first n_qtl SNPs get the
// magnitudes snp_range^((n_qtl - k) / (n_qtl - 1)) (1 for a single QTL), and
// a sign drawn for each from SNP n_qtl down to SNP 1. Needs n_qtl <= size
// when snp_range > 1 and a non-empty snp_val otherwise.
void draw_effects(Generator& g, const SimulationParameters& p, std::span<float> snp_val);

// The genetic variance of the effects: sum over SNPs of ((1 - p) x 2p) x v^2.
float genetic_variance(std::span<const float> snp_freq, std::span<const float> snp_val);

// Multiplies every effect by sqrt(var_a / sim_var).
void scale_effects(float var_a, float sim_var, std::span<float> snp_val);

// ((1 - h2) x var_a) / h2.
float residual_variance(float h2, float var_a);

// Record steps of one animal: the run draws the alleles and sums the
// breeding value with the kernels of allele_draws.hpp, then forms the record.

// y: mean + normal(s_bv, var_e) for own records (nprog = 0), else
// (mean + s_bv) + normal(0, ((4 var_e) + (3 var_a)) / nprog). Twelve draws.
float record_value(Generator& g, const SimulationParameters& p, float s_bv);

}  // namespace gp
