// Whole runs against the plain record path: SNP_data rebuilt with
// draw_genotypes, breeding_value over every effect and one write_data_record
// statement per record, for parameter sets of many shapes.
#include <gtest/gtest.h>

#include "common/snp_files.hpp"
#include "harness.hpp"
#include "simulator/model.hpp"
#include "support/model_reference.hpp"
#include "support/record_reference.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;

struct Shape {
  int32_t n_snp, n_qtl, nprog, nrec;
  float freq_min, freq_max, snp_range, var_a, h2, mean;
  int clock;
};

std::array<std::string, 10> values_of(const Shape& s) {
  const auto real = [](float v) { return std::to_string(v); };
  return {std::to_string(s.n_snp), std::to_string(s.n_qtl), std::to_string(s.nprog), std::to_string(s.nrec),
          real(s.freq_min) + " " + real(s.freq_max), real(s.snp_range), real(s.var_a), real(s.h2), real(s.mean), "1"};
}

// The records the plain path writes from the parameters tarvox echoed into
// SNP_setup's run (the same reading of par_tarvox, the same clock).
std::string plain_records(const fs::path& dir, const Shape& shape) {
  ConsoleCapture console;
  Units io(&console, dir.string());
  const int status = run_program(io, [&] {
    SimulationParameters p = read_parameters(io);
    const size_t n = static_cast<size_t>(p.n_snp);
    std::vector<float> freq(n), val(n, 0.0f);
    std::vector<int32_t> geno(2 * n);
    Generator g;
    warm_up(g, shape.clock);
    draw_frequencies(g, p, freq);
    draw_effects(g, p, val);
    p.sim_var = genetic_variance(freq, val);
    scale_effects(p.var_a, p.sim_var, val);
    p.var_e = residual_variance(p.h2, p.var_a);
    open_unit(io, kDataUnit, "plain_data");
    const Layout layout = data_layout(p.n_snp);
    for (int32_t i = 1; i <= 2 * p.nrec; ++i) {
      test::draw_genotypes(g, freq, geno);
      const float s_bv = test::breeding_value(geno, val);
      const float y = record_value(g, p, s_bv);
      test::write_data_record(io, layout, i, y, s_bv, geno);
    }
    end_program(io);
  });
  EXPECT_EQ(status, 0) << console.errors;
  return test::read_file(dir / "plain_data");
}

TEST(RecordPath, WholeRunsMatchThePlainPath) {
  const Shape shapes[] = {
      {1, 1, 0, 3, 0.05f, 0.5f, 1.0f, 1.0f, 0.5f, 0.0f, 0},
      {15, 3, 0, 7, 0.05f, 0.5f, 100.0f, 40.0f, 0.3f, 100.0f, 1},
      {16, 16, 10, 5, 0.0f, 1.0f, 8.0f, 2.0f, 0.9f, -3.0f, 999},
      {17, 2, 0, 4, 0.5f, 0.05f, 3.0f, 0.5f, 0.25f, 7.5f, 500},
      {333, 333, 4, 6, 0.01f, 0.99f, 1000.0f, 10.0f, 0.6f, 50.0f, 17},
      {1000, 100, 0, 40, 0.05f, 0.5f, 100.0f, 40.0f, 0.3f, 100.0f, 321},
      {1000, 1, 0, 5, 0.2f, 0.2f, 0.5f, 1.0f, 1.0f, 0.0f, 42},
      {10000, 1000, 0, 60, 0.05f, 0.5f, 100.0f, 40.0f, 0.3f, 100.0f, 123},
      {10003, 7, 2, 3, 0.3f, 0.7f, 5.0f, 3.0f, 0.5f, 1.0f, 77},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(::testing::Message() << shape.n_snp << " SNPs, " << shape.n_qtl << " QTL, nprog " << shape.nprog);
    const test::ScratchDir dir_scratch("tarvox_test");
    const fs::path dir = dir_scratch.path();
    test::write_file(dir / "par_tarvox", test::par_text(values_of(shape)));
    const test::RunResult run = test::run_in_process(dir, shape.clock);
    ASSERT_EQ(run.status, 0) << run.errors;
    const std::string data = test::read_file(dir / "SNP_data");
    const std::string plain = plain_records(dir, shape);
    EXPECT_EQ(data.size(), plain.size());
    EXPECT_TRUE(data == plain);
  }
}

}  // namespace
}  // namespace gp
