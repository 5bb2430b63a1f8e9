#include "common/isa.hpp"

#include <algorithm>
#include <atomic>

namespace gp {
namespace {

// The checks see what the operating system enables too: a processor whose
// AVX-512 state the system does not save reports no AVX-512.
Isa detect() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("bmi") &&
                    __builtin_cpu_supports("bmi2");
  const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                      __builtin_cpu_supports("avx512cd") && __builtin_cpu_supports("avx512dq") &&
                      __builtin_cpu_supports("avx512vl");
  return avx512 ? Isa::Avx512 : avx2 ? Isa::Avx2 : Isa::Portable;
#else
  return Isa::Portable;
#endif
}

std::atomic<Isa> cap{Isa::Avx512};

constexpr std::string_view kNames[] = {"portable", "avx2", "avx512"};

}  // namespace

Isa processor_isa() {
  static const Isa isa = detect();
  return isa;
}

bool processor_has_gfni() {
#if defined(__x86_64__) || defined(__i386__)
  static const bool gfni = processor_isa() == Isa::Avx512 && __builtin_cpu_supports("gfni");
  return gfni;
#else
  return false;
#endif
}

Isa best_isa() { return std::min(processor_isa(), cap.load(std::memory_order_relaxed)); }

void cap_isa(Isa isa) { cap.store(isa, std::memory_order_relaxed); }

Isa isa_cap() { return cap.load(std::memory_order_relaxed); }

std::string_view isa_name(Isa isa) { return kNames[static_cast<size_t>(isa)]; }

std::optional<Isa> isa_from_name(std::string_view name) {
  for (size_t k = 0; k < std::size(kNames); ++k) {
    if (kNames[k] == name) return static_cast<Isa>(k);
  }
  return std::nullopt;
}

}  // namespace gp
