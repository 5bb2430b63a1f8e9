// Whole runs pinned byte for byte. Each folder tests/scenarios/tarvox_*
// holds par_tarvox, the clock's milliseconds ("clock"), the expected console
// output ("console") and the expected SNP_setup and SNP_data; optionally the
// expected report on standard error ("errors") and exit status ("status").
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <vector>

#include "harness.hpp"

namespace gp {
namespace {

namespace fs = std::filesystem;
using test::read_file;

std::vector<fs::path> scenario_folders() {
  std::vector<fs::path> folders;
  for (const auto& entry : fs::directory_iterator(SCENARIO_DIR)) {
    if (entry.path().filename().string().rfind("tarvox_", 0) == 0) folders.push_back(entry.path());
  }
  std::sort(folders.begin(), folders.end());
  return folders;
}

TEST(Scenarios, WholeRunsMatchTheirFilesByteForByte) {
  const std::vector<fs::path> folders = scenario_folders();
  ASSERT_GE(folders.size(), 5u);
  for (const fs::path& folder : folders) {
    SCOPED_TRACE(folder.filename().string());
    const test::ScratchDir scratch_dir("tarvox_test");
    const fs::path scratch = scratch_dir.path();
    fs::copy_file(folder / "par_tarvox", scratch / "par_tarvox");
    const int clock = std::stoi(read_file(folder / "clock"));
    const test::RunResult run = test::run_in_process(scratch, clock);

    const int status = fs::exists(folder / "status") ? std::stoi(read_file(folder / "status")) : 0;
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.output, read_file(folder / "console"));
    EXPECT_EQ(run.errors, fs::exists(folder / "errors") ? read_file(folder / "errors") : "");
    for (const char* name : {"SNP_setup", "SNP_data"}) {
      EXPECT_EQ(fs::exists(scratch / name), fs::exists(folder / name)) << name;
      if (fs::exists(folder / name)) {
        EXPECT_EQ(read_file(scratch / name), read_file(folder / name)) << name;
      }
    }
    if (std::getenv("TARVOX_WRITE_SCENARIOS") != nullptr) {
      test::write_file(folder / "console", run.output);
      for (const char* name : {"SNP_setup", "SNP_data"}) {
        if (fs::exists(scratch / name)) fs::copy_file(scratch / name, folder / name, fs::copy_options::overwrite_existing);
      }
    }
  }
}

// Recomputes the own-records scenario from its parameters with nothing but
// the generator's defining recurrence and single-precision arithmetic, and
// compares every record value with the file.
TEST(Scenarios, OwnRecordsRecomputedIndependently) {
  const fs::path folder = fs::path(SCENARIO_DIR) / "tarvox_own_records";
  // n_snp 12, n_qtl 3, nprog 0, nrec 3, freq 0.05 0.5, snp_range 100,
  // var_a 2, h2 0.4, mean 10.
  const int n = 12, n_qtl = 3, records = 6;
  uint32_t state = 183608127u;
  auto draw = [&] {
    state = state * 69069u + 1u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  };
  for (int i = std::stoi(read_file(folder / "clock")); i > 0; --i) draw();
  std::vector<float> p(n), v(n, 0.0f);
  for (float& f : p) f = (0.5f - 0.05f) * draw() + 0.05f;
  const float range_log = static_cast<float>(std::log(100.0));
  for (int i = 0; i < n_qtl; ++i) {
    float m = static_cast<float>(std::exp(static_cast<double>(static_cast<float>(i) / 2.0f * range_log)));
    if (2.0f * draw() > 1.0f) m = -m;
    v[static_cast<size_t>(n_qtl - 1 - i)] = m;
  }
  float s = 0.0f;
  for (int j = 0; j < n; ++j) s += ((1.0f - p[j]) * (2.0f * p[j])) * (v[j] * v[j]);
  const float c = std::sqrt(2.0f / s);
  for (float& x : v) x *= c;
  const float var_e = ((1.0f - 0.4f) * 2.0f) / 0.4f;

  std::istringstream data(read_file(folder / "SNP_data"));
  std::string line;
  for (int rec = 1; rec <= records; ++rec) {
    std::string digits;
    float s_bv = 0.0f;
    for (int j = 0; j < n; ++j) {
      const int a1 = p[j] > draw() ? 2 : 1;
      const int a2 = p[j] > draw() ? 2 : 1;
      digits += std::to_string(a1) + std::to_string(a2);
      s_bv += static_cast<float>(a1 + a2 - 3) * v[j];
    }
    float sum = 0.0f;
    for (int k = 0; k < 12; ++k) sum += draw();
    const float y = 10.0f + (std::sqrt(var_e) * (sum - 6.0f) + s_bv);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%6d %8.2f%8.2f %s\r", rec, static_cast<double>(y),
                  static_cast<double>(s_bv), digits.c_str());
    ASSERT_TRUE(std::getline(data, line));
    EXPECT_EQ(line, expected) << "record " << rec;
  }
  EXPECT_FALSE(std::getline(data, line));
}

}  // namespace
}  // namespace gp
