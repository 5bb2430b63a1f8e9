// Whole studies on every kernel the processor has: tarvox and kolber in this
// process with the kernels capped at each instruction set give the same
// files and consoles, byte for byte.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "common/text_io.hpp"
#include "estimator/kolber_support.hpp"
#include "simulator/tarvox.hpp"
#include "support/isa_cap.hpp"

namespace gp::testing {
namespace {

std::map<std::string, std::string> study_on(Isa isa, const std::string& parameters) {
  const test::IsaCap cap(isa);
  ScratchDir dir;
  dir.write("par_tarvox", parameters);
  ConsoleCapture console;
  {
    Units io(&console, dir.path());
    EXPECT_EQ(run_program(io, [&] { run_tarvox(io, [] { return 333; }); }), 0) << console.errors;
  }
  const RunResult kolber = run_in_process(dir, "7.25\n");
  EXPECT_EQ(kolber.status, 0) << kolber.errors;
  return {{"tarvox console", console.output}, {"kolber console", kolber.console},
          {"SNP_setup", dir.read("SNP_setup")}, {"SNP_data", dir.read("SNP_data")},
          {"SNP_results", dir.read("SNP_results")}};
}

TEST(EveryKernel, WholeStudiesGiveTheSameBytes) {
  // SNP and record counts off every vector width and tile.
  for (const auto& [n_snp, nrec] : {std::pair{517, 301}, {33, 1000}, {1, 9}}) {
    const std::string parameters = "n_snp\n" + std::to_string(n_snp) + "\nn_qtl\n" + std::to_string((n_snp + 1) / 2) +
                                   "\nnprog\n0\nnrec\n" + std::to_string(nrec) +
                                   "\nfreq\n0.05 0.5\nrange\n50\nvar_a\n40\nh2\n0.4\nmean\n100\nseed\n1\n";
    const auto reference = study_on(Isa::Portable, parameters);
    for (const Isa isa : test::processor_isas()) {
      for (const auto& [name, bytes] : study_on(isa, parameters)) {
        EXPECT_TRUE(bytes == reference.at(name)) << name << " on " << isa_name(isa) << ", " << n_snp << " SNPs";
      }
    }
  }
}

}  // namespace
}  // namespace gp::testing
