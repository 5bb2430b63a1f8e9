// The one choice of kernels: the processor's widest set, the cap, the names a
// program option takes, and which kernel of a family each level picks.
#include "common/isa.hpp"

#include <gtest/gtest.h>

#include "support/isa_cap.hpp"

namespace gp {
namespace {

int portable_kernel() { return 0; }
int avx2_kernel() { return 2; }
int avx512_kernel() { return 512; }

TEST(Isa, NamesRoundTrip) {
  for (const Isa isa : {Isa::Portable, Isa::Avx2, Isa::Avx512}) EXPECT_EQ(isa_from_name(isa_name(isa)), isa);
  EXPECT_EQ(isa_name(Isa::Avx2), "avx2");
  for (const char* name : {"", "AVX2", "sse2", "avx512 "}) EXPECT_FALSE(isa_from_name(name).has_value()) << name;
}

TEST(Isa, TheCapLowersTheBestSetAndIsLifted) {
  for (const Isa isa : {Isa::Portable, Isa::Avx2, Isa::Avx512}) {
    const test::IsaCap cap(isa);
    EXPECT_EQ(isa_cap(), isa);
    EXPECT_EQ(best_isa(), std::min(isa, processor_isa()));
  }
  EXPECT_EQ(best_isa(), processor_isa());
  if (processor_has_gfni()) {
    EXPECT_EQ(processor_isa(), Isa::Avx512);
  }
}

TEST(Isa, EachLevelPicksTheWidestKernelAFamilyHas) {
  using Kernel = int (*)();
  struct Case { Kernels<Kernel> kernels; int portable, avx2, avx512; };
  const int gfni_avx512 = processor_has_gfni() ? 512 : 2;
  const Case cases[] = {
      {{.portable = portable_kernel}, 0, 0, 0},
      {{.portable = portable_kernel, .avx2 = avx2_kernel}, 0, 2, 2},
      {{.portable = portable_kernel, .avx512 = avx512_kernel}, 0, 0, 512},
      {{.portable = portable_kernel, .avx2 = avx2_kernel, .avx512 = avx512_kernel}, 0, 2, 512},
      {{.portable = portable_kernel, .avx2 = avx2_kernel, .avx512 = avx512_kernel, .avx512_needs_gfni = true}, 0, 2,
       gfni_avx512},
  };
  for (const Case& c : cases) {
    for (const Isa isa : test::processor_isas()) {
      const test::IsaCap cap(isa);
      const int expected = isa == Isa::Portable ? c.portable : isa == Isa::Avx2 ? c.avx2 : c.avx512;
      EXPECT_EQ(pick_kernel(c.kernels)(), expected) << isa_name(isa);
    }
  }
}

}  // namespace
}  // namespace gp
