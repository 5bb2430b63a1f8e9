// The scenario folders tests/scenarios/kolber_*: each holds the answer to
// the prompt and the input files, and the expected console, error report and
// SNP_results (expected_console, expected_errors, expected_SNP_results). A
// missing expected_errors means an orderly end with nothing on standard
// error; a missing expected_SNP_results means no SNP_results is written.
// Elapsed times print as zero: the run uses a fixed clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "estimator/kolber_support.hpp"

namespace gp::testing {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> kolber_scenarios() {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(SCENARIO_DIR)) {
    if (entry.is_directory() && entry.path().filename().string().starts_with("kolber_")) {
      folders.push_back(entry.path());
    }
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

TEST(KolberScenarios, EveryFolderReproducesItsExpectedOutput) {
  const std::vector<fs::path> folders = kolber_scenarios();
  EXPECT_GE(folders.size(), 5u);
  for (const fs::path& folder : folders) {
    const std::string name = folder.filename().string();
    ScratchDir dir;
    copy_scenario_inputs(dir, name);
    const RunResult run = run_in_process(dir, scenario_file(name, "answer"));
    const bool fails = fs::exists(folder / "expected_errors");
    EXPECT_EQ(run.status, fails ? 255 : 0) << name;
    EXPECT_EQ(run.console, scenario_file(name, "expected_console")) << name;
    EXPECT_EQ(run.errors, fails ? scenario_file(name, "expected_errors") : "") << name;
    if (fs::exists(folder / "expected_SNP_results")) {
      EXPECT_EQ(dir.read("SNP_results"), scenario_file(name, "expected_SNP_results")) << name;
    } else {
      EXPECT_FALSE(dir.exists("SNP_results")) << name;
    }
  }
}

}  // namespace
}  // namespace gp::testing
