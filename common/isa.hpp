// Which instruction sets the processor has, the one way every kernel family
// picks its kernel, and a cap on them for the whole process: a program
// option (such as --kernel portable) or a test that proves every kernel
// gives the same bytes runs the narrower kernels on a wider processor.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace gp {

// Instruction sets the kernels are written for, narrowest first. Avx2: AVX2,
// FMA, BMI and BMI2. Avx512: those and AVX-512 F, BW, CD, DQ and VL.
enum class Isa : uint8_t { Portable, Avx2, Avx512 };

// The widest set this processor (and its operating system) runs.
Isa processor_isa();

// GFNI beside AVX-512, which the estimator's AVX-512 product kernel needs.
bool processor_has_gfni();

// The widest set kernels may use now: the processor's, or the cap when lower.
Isa best_isa();

// Caps the kernels of this process at `cap`; Isa::Avx512 lifts the cap.
void cap_isa(Isa cap);
Isa isa_cap();

// "portable", "avx2", "avx512", and back (nothing for another name).
std::string_view isa_name(Isa isa);
std::optional<Isa> isa_from_name(std::string_view name);

// Compile targets of kernels built from one body for each set: the features
// processor_isa() checks.
#define GP_TARGET_AVX2 __attribute__((target("avx2,fma,bmi,bmi2")))
#define GP_TARGET_AVX512 __attribute__((target("avx2,fma,bmi,bmi2,avx512f,avx512bw,avx512cd,avx512dq,avx512vl")))

// One family's kernels by set; a family without a kernel for a set leaves it
// null, and one whose AVX-512 kernel also needs GFNI says so.
template <class Kernel>
struct Kernels {
  Kernel portable;
  Kernel avx2 = nullptr;
  Kernel avx512 = nullptr;
  bool avx512_needs_gfni = false;
};

// The family's kernel for the widest set usable now.
template <class Kernel>
Kernel pick_kernel(const Kernels<Kernel>& kernels) {
  const Isa isa = best_isa();
  if (isa == Isa::Avx512 && kernels.avx512 != nullptr && (!kernels.avx512_needs_gfni || processor_has_gfni())) {
    return kernels.avx512;
  }
  if (isa >= Isa::Avx2 && kernels.avx2 != nullptr) return kernels.avx2;
  return kernels.portable;
}

}  // namespace gp
