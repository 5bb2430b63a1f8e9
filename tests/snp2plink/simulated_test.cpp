// A study simulated by tarvox, exported and read back record by record; and,
// when PLINK 1.9 (and PLINK 2) are installed, the fileset read by them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/snp_files.hpp"
#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"
#include "support.hpp"

namespace gp::plink::testing {
namespace {

struct Study {
  int32_t n_snp, n_qtl, nrec;
};
void PrintTo(const Study& s, std::ostream* os) { *os << s.n_snp << " SNPs, nrec " << s.nrec; }

// SNP_data as it stands, parsed here on its own (the columns from the
// layout, the reading not through the shared reader): y, s_bv and the digits.
struct Records {
  std::vector<float> y, s_bv;
  std::vector<std::string> digits;
};

Records parse_data(const std::string& text) {
  Records records;
  for (const std::string& line : lines_of(text)) {
    records.y.push_back(std::stof(line.substr(kYColumn, kRecordRealWidth)));
    records.s_bv.push_back(std::stof(line.substr(kSbvColumn, kRecordRealWidth)));
    records.digits.push_back(line.size() > kFirstDigitColumn ? line.substr(kFirstDigitColumn) : "");
  }
  return records;
}

// The effects of SNP_setup: every number after the "snp_val" line.
std::vector<float> parse_effects(const std::string& setup) {
  std::vector<float> effects;
  bool after = false;
  for (const std::string& line : lines_of(setup)) {
    if (after) {
      for (const std::string& word : words_of(line)) effects.push_back(std::stof(word));
    }
    after = after || line == std::string(" ") + kEffectHeading;
  }
  return effects;
}

void simulate(const Scratch& folder, const Study& study) {
  folder.write("par_tarvox", test::par_text({std::to_string(study.n_snp), std::to_string(study.n_qtl), "0",
                                             std::to_string(study.nrec), "0.05 0.5", "100", "40", "0.3", "100", "1"}));
  ConsoleCapture console;
  Units io(&console, folder.path());
  ASSERT_EQ(run_program(io, [&] { run_tarvox(io, [] { return 417; }); }), 0) << console.errors;
}

int twos(const std::string& digits, size_t j) { return (digits[2 * j] == '2') + (digits[2 * j + 1] == '2'); }

class SimulatedStudy : public ::testing::TestWithParam<Study> {
 protected:
  void SetUp() override {
    simulate(folder_, GetParam());
    const ExportRun run = run_export(folder_, {"st"});
    ASSERT_EQ(run.status, 0) << run.err;
    records_ = parse_data(folder_.read("SNP_data"));
    ASSERT_EQ(records_.y.size(), 2 * static_cast<size_t>(GetParam().nrec));
  }
  Scratch folder_;
  Records records_;
};

TEST_P(SimulatedStudy, FilesetReadBackRecordByRecord) {
  const Study study = GetParam();
  const size_t records = records_.y.size();
  const auto bed = decode_bed(folder_.read("st.bed"), study.n_snp, static_cast<int64_t>(records));
  const std::vector<std::string> fam = lines_of(folder_.read("st.fam"));
  const std::vector<std::string> bv = lines_of(folder_.read("st.bv"));
  ASSERT_EQ(fam.size(), records);
  ASSERT_EQ(bv.size(), records + 1);
  EXPECT_EQ(bv[0], "FID IID y s_bv");
  for (size_t i = 0; i < records; ++i) {
    const std::string id = std::to_string(i + 1);
    const std::vector<std::string> f = words_of(fam[i]);
    ASSERT_EQ(f.size(), 6u);
    EXPECT_EQ(f[0] + f[1] + f[2] + f[3] + f[4], id + id + "000");
    EXPECT_EQ(std::stof(f[5]), records_.y[i]) << fam[i];
    const std::vector<std::string> b = words_of(bv[i + 1]);
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(std::stof(b[2]), records_.y[i]);
    EXPECT_EQ(std::stof(b[3]), records_.s_bv[i]);
    for (size_t j = 0; j < static_cast<size_t>(study.n_snp); ++j) {
      ASSERT_EQ(bed[j][i], twos(records_.digits[i], j)) << "record " << i + 1 << " SNP " << j + 1;
    }
  }
  const std::vector<float> effects = parse_effects(folder_.read("SNP_setup"));
  const std::vector<std::string> lines = lines_of(folder_.read("st.effects"));
  ASSERT_EQ(lines.size(), effects.size());
  for (size_t j = 0; j < lines.size(); ++j) {
    const std::vector<std::string> e = words_of(lines[j]);
    EXPECT_EQ(e[0] + " " + e[1], "snp" + std::to_string(j + 1) + " 2");
    EXPECT_EQ(std::stof(e[2]), effects[j]);
  }
}

bool on_path(const char* program) {
  return std::system(("command -v " + std::string(program) + " > /dev/null 2>&1").c_str()) == 0;
}

// Runs PLINK in the study folder on fileset "st", output "o"; fails the
// test on a non-zero status or a warning in its log.
void plink(const Scratch& folder, const std::string& program, const std::string& args) {
  const std::string command = "cd '" + folder.path() + "' && " + program + " --bfile st " + args +
                              " --out o > plink.console 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << folder.read("plink.console");
  for (const std::string& line : lines_of(folder.read("o.log"))) {
    EXPECT_EQ(line.find("Warning"), std::string::npos) << args << ": " << line;
  }
}

const char* const kPlink1 = "plink1.9 --allow-no-sex --keep-allele-order";

TEST_P(SimulatedStudy, Plink19CountsEveryAllele) {
  if (!on_path("plink1.9")) GTEST_SKIP() << "plink1.9 is not installed";
  plink(folder_, kPlink1, "--freq counts");
  const std::vector<std::string> lines = lines_of(folder_.read("o.frq.counts"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(GetParam().n_snp) + 1);
  for (size_t j = 0; j + 1 < lines.size(); ++j) {
    int count2 = 0;
    for (const std::string& digits : records_.digits) count2 += twos(digits, j);
    const std::vector<std::string> w = words_of(lines[j + 1]);
    const int all = 2 * static_cast<int>(records_.digits.size());
    EXPECT_EQ(w[1] + " " + w[2] + " " + w[3] + " " + w[4] + " " + w[5],
              "snp" + std::to_string(j + 1) + " 2 1 " + std::to_string(count2) + " " + std::to_string(all - count2));
  }
}

TEST_P(SimulatedStudy, Plink19RecodesEveryGenotypeAndPhenotype) {
  if (!on_path("plink1.9")) GTEST_SKIP() << "plink1.9 is not installed";
  plink(folder_, kPlink1, "--recode A");
  const std::vector<std::string> lines = lines_of(folder_.read("o.raw"));
  ASSERT_EQ(lines.size(), records_.digits.size() + 1);
  const std::vector<std::string> header = words_of(lines[0]);
  ASSERT_EQ(header.size(), 6 + static_cast<size_t>(GetParam().n_snp));
  EXPECT_EQ(header[6], "snp1_2");
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    const std::vector<std::string> w = words_of(lines[i + 1]);
    ASSERT_EQ(w.size(), header.size());
    EXPECT_EQ(w[1], std::to_string(i + 1));
    EXPECT_EQ(std::stof(w[5]), records_.y[i]);
    for (size_t j = 0; j < static_cast<size_t>(GetParam().n_snp); ++j) {
      ASSERT_EQ(w[6 + j], std::to_string(twos(records_.digits[i], j))) << "record " << i + 1 << " SNP " << j + 1;
    }
  }
}

TEST_P(SimulatedStudy, Plink19KeepsEachSet) {
  if (!on_path("plink1.9")) GTEST_SKIP() << "plink1.9 is not installed";
  const int64_t nrec = GetParam().nrec;
  for (const auto& [file, first] : {std::pair<std::string, int64_t>{"st.train", 1}, {"st.indep", nrec + 1}}) {
    plink(folder_, kPlink1, "--keep " + file + " --recode A");
    const std::vector<std::string> lines = lines_of(folder_.read("o.raw"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(nrec) + 1) << file;
    for (int64_t i = 0; i < nrec; ++i) EXPECT_EQ(words_of(lines[static_cast<size_t>(i) + 1])[1], std::to_string(first + i));
  }
}

// SCORESUM = sum of effect x (code-2 alleles) = s_bv + sum of effects, up to
// the two-decimal rounding of s_bv and of each non-zero effect.
TEST_P(SimulatedStudy, Plink19ScoreReproducesTheBreedingValues) {
  if (!on_path("plink1.9")) GTEST_SKIP() << "plink1.9 is not installed";
  plink(folder_, kPlink1, "--score st.effects 1 2 3 sum");
  double sum_of_effects = 0.0;
  for (float e : parse_effects(folder_.read("SNP_setup"))) sum_of_effects += e;
  const double rounding = 0.005 * (1 + GetParam().n_qtl);
  const std::vector<std::string> lines = lines_of(folder_.read("o.profile"));
  ASSERT_EQ(lines.size(), records_.s_bv.size() + 1);
  EXPECT_EQ(words_of(lines[0]).back(), "SCORESUM");
  for (size_t i = 0; i < records_.s_bv.size(); ++i) {
    const double score = std::stod(words_of(lines[i + 1]).back());
    EXPECT_NEAR(score, records_.s_bv[i] + sum_of_effects, rounding + 1e-5 * std::fabs(score)) << "record " << i + 1;
  }
}

TEST_P(SimulatedStudy, Plink2CountsEveryAllele) {
  if (!on_path("plink2")) GTEST_SKIP() << "plink2 is not installed";
  plink(folder_, "plink2", "--freq counts");
  const std::vector<std::string> lines = lines_of(folder_.read("o.acount"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(GetParam().n_snp) + 1);
  for (size_t j = 0; j + 1 < lines.size(); ++j) {
    int count2 = 0;
    for (const std::string& digits : records_.digits) count2 += twos(digits, j);
    const std::vector<std::string> w = words_of(lines[j + 1]);
    EXPECT_EQ(w[1] + " " + w[2] + " " + w[3] + " " + w[4], "snp" + std::to_string(j + 1) + " 1 2 " + std::to_string(count2));
  }
}

INSTANTIATE_TEST_SUITE_P(Studies, SimulatedStudy,
                         ::testing::Values(Study{120, 20, 61}, Study{10002, 10, 3}),
                         [](const auto& info) { return "snps" + std::to_string(info.param.n_snp); });

}  // namespace
}  // namespace gp::plink::testing
