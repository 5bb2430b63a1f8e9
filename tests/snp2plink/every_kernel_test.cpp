// Exports on every kernel the processor has: a simulated study exported in
// this process with the kernels capped at each instruction set gives the
// same fileset, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"
#include "support.hpp"
#include "support/isa_cap.hpp"

namespace gp::plink::testing {
namespace {

std::map<std::string, std::string> export_on(Isa isa, int32_t n_snp, int32_t nrec) {
  const test::IsaCap cap(isa);
  Scratch folder;
  folder.write("par_tarvox", "n_snp\n" + std::to_string(n_snp) + "\nn_qtl\n" + std::to_string(std::min(n_snp, 3)) + "\nnprog\n0\nnrec\n" + std::to_string(nrec) +
                                 "\nfreq\n0.05 0.5\nrange\n100\nvar_a\n40\nh2\n0.3\nmean\n100\nseed\n1\n");
  ConsoleCapture console;
  {
    Units io(&console, folder.path());
    EXPECT_EQ(run_program(io, [&] { run_tarvox(io, [] { return 271; }); }), 0) << console.errors;
  }
  const ExportRun run = run_export(folder, {"k"});
  EXPECT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::string> files{{"console", run.out}, {"SNP_data", folder.read("SNP_data")}};
  for (const char* extension : {".bed", ".bim", ".fam", ".bv", ".train", ".indep", ".effects"}) {
    files[extension] = folder.read(std::string("k") + extension);
  }
  return files;
}

TEST(EveryKernel, ExportsGiveTheSameBytes) {
  // Across the 64-SNP vectors and the blocks of 256 records.
  for (const auto& [n_snp, nrec] : {std::pair{130, 300}, {64, 7}, {1, 129}}) {
    const auto reference = export_on(Isa::Portable, n_snp, nrec);
    for (const Isa isa : test::processor_isas()) {
      for (const auto& [name, bytes] : export_on(isa, n_snp, nrec)) {
        EXPECT_TRUE(bytes == reference.at(name)) << name << " on " << isa_name(isa) << ", " << n_snp << " SNPs";
      }
    }
  }
}

}  // namespace
}  // namespace gp::plink::testing
