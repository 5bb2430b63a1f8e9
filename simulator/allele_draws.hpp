// The hot kernels of a record: the allele draws of one animal, written as the
// digits of its SNP_data line, and its breeding value taken from those digits.
#pragma once

#include <cstddef>
#include <span>

#include "common/rng.hpp"

namespace gp {

// The allele draws compare snp_freq(j) > u, u = k x 2^-24 for the draw's 24
// high bits k. `thresholds` receives, for every SNP twice (alleles 1 and 2),
// the number of values k that pass: the comparison becomes k < threshold.
// thresholds has 2 x snp_freq.size() elements.
void allele_thresholds(std::span<const float> snp_freq, std::span<int32_t> thresholds);

// For SNP j = 1 ... n and allele k = 1 then 2, one draw u = uniform(0, 1);
// the allele's digit is '2' when snp_freq(j) > u, else '1'. `thresholds`
// comes from allele_thresholds; `digits` receives thresholds.size()
// characters, allele 1 of SNP 1 first. Runs the kernel of the widest
// instruction set usable (isa.hpp).
void draw_allele_digits(Generator& g, std::span<const int32_t> thresholds, char* digits);

// The portable kernel: one draw at a time against the thresholds.
void draw_allele_digits_portable(Generator& g, std::span<const int32_t> thresholds, char* digits);

// The same digits and the same final state, drawn eight lanes at a time.
// Needs Isa::Avx2.
void draw_allele_digits_avx2(Generator& g, std::span<const int32_t> thresholds, char* digits);

// How many leading effects the breeding value needs: one past the last
// non-zero effect when every effect is finite, otherwise all of them.
size_t effects_in_use(std::span<const float> snp_val);

// s_bv = sum over j of x(j) x snp_val(j), x(j) = digit(2j) + digit(2j+1) - 3
// from the allele digits, in single precision, SNP 1 first. Pass
// snp_val.first(effects_in_use(snp_val)): the effects after the last
// non-zero one add only zeros, which leave the sum as it is.
float breeding_value_of_digits(const char* digits, std::span<const float> snp_val);

}  // namespace gp
