// Whole runs of kolber on hand-written SNP files: the console, SNP_results,
// and the error report for each kind of bad input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "estimator/kolber_support.hpp"

namespace gp::testing {
namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool has_line(const std::string& text, const std::string& line) {
  for (const std::string& candidate : lines_of(text)) {
    if (candidate == line) return true;
  }
  return false;
}

// Random genotypes, one line of alleles per record.
std::string random_data(int records, int snps, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> allele(1, 2);
  std::uniform_real_distribution<float> noise(-5.0f, 5.0f);
  std::string text;
  for (int i = 1; i <= records; ++i) {
    std::string alleles;
    for (int k = 0; k < 2 * snps; ++k) alleles += static_cast<char>('0' + allele(rng));
    text += record_text(i, 100.0f + noise(rng), noise(rng), alleles);
  }
  return text;
}

TEST(KolberRun, NoRecordsPrintsNotANumberStatistics) {
  ScratchDir dir;
  dir.write("SNP_setup", setup_text(2, 0, {1.0f, -1.0f}));
  dir.write("SNP_data", "");
  const RunResult run = run_in_process(dir, "1\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(has_line(run.console, " mean                NaN            NaN            NaN")) << run.console;
  EXPECT_TRUE(has_line(run.console, " corr(s_bv,g_bv):  NaN")) << run.console;
}

TEST(KolberRun, IllConditionedSystemStopsAtTheRoundLimit) {
  ScratchDir dir;
  dir.write("SNP_setup", setup_text(300, 250, std::vector<float>(300, 0.1f)));
  dir.write("SNP_data", random_data(500, 300, 6));
  const RunResult run = run_in_process(dir, "0.0001\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_NE(run.console.find(" reached in   111 rounds and .00 seconds"), std::string::npos) << run.console;
}

TEST(KolberRun, CountsAndEffectsSpreadOverSeveralLines) {
  ScratchDir dir;
  std::vector<float> effects;
  for (int j = 1; j <= 25; ++j) effects.push_back(0.25f * j - 3.0f);
  dir.write("SNP_setup", setup_text(25, 2000, effects));
  dir.write("SNP_data", random_data(4000, 25, 11));
  const RunResult run = run_in_process(dir, "10\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(has_line(run.console, " Read 2000 records with 25 SNP effects"));
  const std::vector<std::string> results = lines_of(dir.read("SNP_results"));
  ASSERT_EQ(results.size(), 1 + 1 + 25 + 2 + 1 + 2 * 2000u);
  EXPECT_EQ(results[2].substr(0, 16), "     1     -2.75");
  EXPECT_EQ(results[26].substr(0, 16), "    25      3.25");
  EXPECT_EQ(results.back().substr(0, 6), "  2000");
}

TEST(KolberRun, MoreThanTenThousandSnpsKeepOneLinePerRecord) {
  ScratchDir dir;
  const int snps = 10003;
  dir.write("SNP_setup", setup_text(snps, 3, std::vector<float>(snps, 0.01f)));
  dir.write("SNP_data", random_data(6, snps, 12));
  const RunResult run = run_in_process(dir, "1000\n");
  ASSERT_EQ(run.status, 0) << run.errors;
  const std::vector<std::string> results = lines_of(dir.read("SNP_results"));
  ASSERT_EQ(results.size(), 1 + 1 + static_cast<size_t>(snps) + 2 + 1 + 6);
  EXPECT_EQ(results[2 + snps - 1].substr(0, 16), " 10003      0.01");
}

TEST(KolberRun, ExistingResultsAreReplacedWhole) {
  ScratchDir dir;
  copy_scenario_inputs(dir, "kolber_four_records");
  dir.write("SNP_results", std::string(5000, 'x') + "\r\n");
  ASSERT_EQ(run_in_process(dir, "1\n").status, 0);
  EXPECT_EQ(dir.read("SNP_results"), scenario_file("kolber_four_records", "expected_SNP_results"));
}

TEST(KolberRun, FailureAmongTheIndependentRecordsKeepsEveryLineBeforeIt) {
  // The independent records' values are computed 32 records at a time; a
  // failure at any place in a group, or at a group's edge, must leave the
  // lines of every record before it, and only those.
  const int nrec = 70, snps = 5;
  const size_t line_chars = 24 + 2 * snps + 2;
  const std::string data = random_data(2 * nrec, snps, 21);
  ScratchDir full_dir;
  full_dir.write("SNP_setup", setup_text(snps, nrec, {0.5f, -0.25f, 1.0f, 0.0f, 2.0f}));
  full_dir.write("SNP_data", data);
  ASSERT_EQ(run_in_process(full_dir, "2\n").status, 0);
  const std::string full = full_dir.read("SNP_results");
  for (const int before : {0, 1, 31, 32, 33, 63, 64, 69}) {
    const size_t bad_line = (static_cast<size_t>(nrec) + before) * line_chars;
    std::string bad_allele = data;
    bad_allele[bad_line + 24] = '3';
    for (const std::string& bad_data : {bad_allele, data.substr(0, bad_line)}) {
      ScratchDir dir;
      dir.write("SNP_setup", full_dir.read("SNP_setup"));
      dir.write("SNP_data", bad_data);
      EXPECT_EQ(run_in_process(dir, "2\n").status, 255) << before;
      const std::vector<std::string> lines = lines_of(dir.read("SNP_results"));
      EXPECT_EQ(lines.size(), 1 + 1 + snps + 2 + 1 + nrec + static_cast<size_t>(before)) << before;
      EXPECT_EQ(dir.read("SNP_results"), full.substr(0, dir.read("SNP_results").size())) << before;
    }
  }
}

struct BadInput {
  const char* name;
  std::string answer;
  std::string setup;  // "<none>": no file
  std::string data;   // "<none>": no file
  std::string errors;
};

TEST(KolberRun, BadInputEndsInTheErrorReport) {
  const std::string setup = setup_text(2, 2, {1.0f, -1.0f});
  const std::string good = record_text(1, 1, 0, "1122") + record_text(2, 2, 0, "1221") + record_text(3, 3, 0, "2211") +
                           record_text(4, 4, 0, "1212");
  const std::string runtime = "KALDREN Runtime Error:";
  const std::string past_end = "Attempt to read past end of file";
  const std::string illegal = "Illegal character in numeric input";
  const BadInput cases[] = {
      {"answer not a number", "abc\n", setup, good, report(runtime, illegal, "READ(UNIT=*,...")},
      {"no answer", "", setup, good, report(runtime, past_end, "READ(UNIT=*,...")},
      {"no SNP_setup", "1\n", "<none>", good, report(runtime, past_end, "READ(UNIT=1,...")},
      {"no SNP_data", "1\n", setup, "<none>", report(runtime, past_end, "READ(UNIT=2,...")},
      {"effects missing", "1\n", setup.substr(0, setup.rfind(" snp_val")), good,
       report(runtime, past_end, "READ(UNIT=1,...")},
      {"last effect line without line feed", "1\n", setup.substr(0, setup.size() - 2), good,
       report(runtime, past_end, "READ(UNIT=1,...")},
      {"count not a number", "1\n", std::string(setup).replace(36, 1, "x"), good,
       report(runtime, illegal, "READ(UNIT=1,...")},
      {"too few records", "1\n", setup, good.substr(0, good.size() / 2 + 10),
       report(runtime, past_end, "READ(UNIT=2,...")},
      {"phenotype not a number", "1\n", setup, record_text(1, 1, 0, "1122").replace(10, 1, "?") + good,
       report(runtime, illegal, "READ(UNIT=2,...")},
      {"negative SNP count", "1\n", setup_text(-3, 2, {}), good,
       report("Input Error:", "SNP_setup gives n_snp = -3; counts must be 0 or more", "READ(UNIT=1,...")},
      {"negative record count", "1\n", setup_text(2, -1, {1.0f, 1.0f}), good,
       report("Input Error:", "SNP_setup gives nrec = -1; counts must be 0 or more", "READ(UNIT=1,...")},
      {"allele code 3", "1\n", setup, record_text(1, 1, 0, "1132") + good,
       report("Input Error:",
              "Allele code 3 for SNP 2 in record 1 of SNP_data; allele codes are 1 or 2 (a blank or a missing "
              "digit reads as 0)",
              "READ(UNIT=2,...")},
      {"too few allele digits", "1\n", setup, record_text(1, 1, 0, "1122") + record_text(2, 2, 0, "121") + good,
       report("Input Error:",
              "Allele code 0 for SNP 2 in record 2 of SNP_data; allele codes are 1 or 2 (a blank or a missing "
              "digit reads as 0)",
              "READ(UNIT=2,...")},
      {"allele code 0 among the independent records", "1\n", setup,
       good.substr(0, good.size() / 2) + record_text(3, 3, 0, "2201") + record_text(4, 4, 0, "1212"),
       report("Input Error:",
              "Allele code 0 for SNP 2 in record 3 of SNP_data; allele codes are 1 or 2 (a blank or a missing "
              "digit reads as 0)",
              "READ(UNIT=2,...")},
  };
  for (const BadInput& c : cases) {
    ScratchDir dir;
    if (c.setup != "<none>") dir.write("SNP_setup", c.setup);
    if (c.data != "<none>") dir.write("SNP_data", c.data);
    const RunResult run = run_in_process(dir, c.answer);
    EXPECT_EQ(run.status, 255) << c.name;
    EXPECT_EQ(run.errors, c.errors) << c.name;
  }
}

TEST(KolberRun, FailureBeforeTheSolverLeavesEarlierResultsUntouched) {
  ScratchDir dir;
  copy_scenario_inputs(dir, "kolber_four_records");
  dir.write("SNP_data", record_text(1, 1, 0, "13"));
  dir.write("SNP_results", "earlier results\r\n");
  EXPECT_EQ(run_in_process(dir, "1\n").status, 255);
  EXPECT_EQ(dir.read("SNP_results"), "earlier results\r\n");
}

#ifdef KOLBER_PATH
TEST(KolberProcess, AnswersOnStandardInputAndExitsZero) {
  ScratchDir dir;
  copy_scenario_inputs(dir, "kolber_four_records");
  const RunResult run = run_process(KOLBER_PATH, dir, "1\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.errors, "");
  EXPECT_EQ(mask_times(run.console), mask_times(scenario_file("kolber_four_records", "expected_console")));
  EXPECT_EQ(dir.read("SNP_results"), scenario_file("kolber_four_records", "expected_SNP_results"));
}

TEST(KolberProcess, BadAnswerExitsWithTheReport) {
  ScratchDir dir;
  copy_scenario_inputs(dir, "kolber_four_records");
  const RunResult run = run_process(KOLBER_PATH, dir, "one\n");
  EXPECT_EQ(run.status, 255);
  EXPECT_EQ(run.console, crlf({"Program KOLBER 1.1 (Halvenor, QRT)", " variance ratio?"}));
  EXPECT_EQ(run.errors, report("KALDREN Runtime Error:", "Illegal character in numeric input", "READ(UNIT=*,..."));
  EXPECT_FALSE(dir.exists("SNP_results"));
}
#endif

#if defined(KOLBER_PATH) && defined(TARVOX_PATH)
TEST(KolberProcess, SimulatedStudyRunsEndToEnd) {
  ScratchDir dir;
  dir.write("par_tarvox",
            "Number of SNP\n30\nNumber of QTL\n5\nProgenies per sire\n0\nRecords per data set\n50\n"
            "Range of the minor allele frequencies\n0.05 0.5\nRatio of largest to smallest QTL effect\n10\n"
            "Additive genetic variance\n40\nHeritability\n0.5\nOverall mean\n100\nRandom seed\n7\n");
  const RunResult simulation = run_process(TARVOX_PATH, dir, "");
  ASSERT_EQ(simulation.status, 0) << simulation.errors;
  const RunResult run = run_process(KOLBER_PATH, dir, "5\n");
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(run.errors, "");
  EXPECT_TRUE(has_line(run.console, " Read 50 records with 30 SNP effects")) << run.console;
  EXPECT_NE(run.console.find("Finished in"), std::string::npos);
  EXPECT_EQ(lines_of(dir.read("SNP_results")).size(), 1 + 1 + 30 + 2 + 1 + 100u);
}
#endif

}  // namespace
}  // namespace gp::testing
