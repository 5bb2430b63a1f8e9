// Whole runs of snpbayes in this process: the files and their layout, the
// same bytes from a seed on every kernel, the usage, every refused input and
// an interrupted run, each leaving no file of its prefix changed.
#include <gtest/gtest.h>

#include <csignal>
#include <sstream>

#include "bayes/interrupt.hpp"
#include "bayes/snpbayes.hpp"
#include "support.hpp"
#include "support/isa_cap.hpp"
#include "support/snp_text.hpp"

namespace gp::bayes::testing {
namespace {

const Simulation kSmall{.n_snp = 37, .n_qtl = 4, .nrec = 61, .snp_range = 10, .h2 = 0.5};

std::vector<std::string> short_run(const std::string& method) {
  return {"--method", method, "--iterations", "60", "--burn-in", "20", "--thin", "4", "--seed", "42", "--quiet"};
}

TEST(SnpbayesRun, FilesOfEachMethod) {
  struct Case {
    std::string method;
    std::string effects_header, trace_header;
  };
  const Case cases[] = {
      {"brr", "snp\tsim_effect\teffect\tsd", "iteration\tmu\tvar_e\tvar_b\tsnps_in_model"},
      {"bayescpi", "snp\tsim_effect\teffect\tsd\tp_nonzero", "iteration\tmu\tvar_e\tvar_b\tpi\tsnps_in_model"},
      {"bayesr", "snp\tsim_effect\teffect\tsd\tp_nonzero\tp_class0\tp_class1\tp_class2\tp_class3",
       "iteration\tmu\tvar_e\tvar_g\tp_class0\tp_class1\tp_class2\tp_class3\tsnps_in_model"},
  };
  Scratch folder;
  simulate(folder, kSmall, 12);
  for (const Case& c : cases) {
    const RunResult run = run_snpbayes_in(folder, short_run(c.method));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "") << "--quiet";
    const auto effects = table(folder.read(c.method + ".effects"));
    ASSERT_EQ(effects.size(), 38u) << c.method;
    EXPECT_EQ(folder.read(c.method + ".effects").substr(0, c.effects_header.size() + 1), c.effects_header + "\n");
    EXPECT_EQ(effects[1][0], "1");
    EXPECT_EQ(effects[37][0], "37");
    const auto gbv = table(folder.read(c.method + ".gbv"));
    ASSERT_EQ(gbv.size(), 1 + 2 * 61u);
    EXPECT_EQ(gbv[0], (std::vector<std::string>{"set", "record", "y", "s_bv", "g_bv"}));
    EXPECT_EQ(gbv[1][0] + " " + gbv[1][1], "train 1");
    EXPECT_EQ(gbv[61][0] + " " + gbv[61][1], "train 61");
    EXPECT_EQ(gbv[62][0] + " " + gbv[62][1], "indep 62");
    EXPECT_EQ(gbv[122][0] + " " + gbv[122][1], "indep 122");
    // Iterations 24, 28, ..., 60 after a burn-in of 20.
    const auto trace = table(folder.read(c.method + ".trace"));
    EXPECT_EQ(folder.read(c.method + ".trace").substr(0, c.trace_header.size() + 1), c.trace_header + "\n");
    ASSERT_EQ(trace.size(), 11u);
    EXPECT_EQ(trace[1][0], "24");
    EXPECT_EQ(trace[10][0], "60");
    const std::string json = folder.read(c.method + ".json");
    for (const char* key : {"method", "seed", "iterations", "burn_in", "thin", "var_e", "ess", "acc_train", "acc_indep",
                            "slope_indep", "train", "indep", "seconds", "ms_per_iteration", "kernel"}) {
      EXPECT_NE(json.find("\"" + std::string(key) + "\": "), std::string::npos) << c.method << ": " << key;
    }
    EXPECT_EQ(json_value(json, "samples"), 40);
    EXPECT_EQ(json_value(json, "seed"), 42);
  }
  EXPECT_EQ(folder.names(), (std::vector<std::string>{
                                "SNP_data", "SNP_setup", "bayescpi.effects", "bayescpi.gbv", "bayescpi.json",
                                "bayescpi.trace", "bayesr.effects", "bayesr.gbv", "bayesr.json", "bayesr.trace",
                                "brr.effects", "brr.gbv", "brr.json", "brr.trace", "par_tarvox"}))
      << "the method's name is the default prefix, and no temporary is left";
}

TEST(SnpbayesRun, ASeedGivesTheSameFilesOnEveryKernel) {
  Scratch folder;
  // Records and SNPs off the tiles, the panels and the independent groups.
  simulate(folder, {.n_snp = 45, .n_qtl = 5, .nrec = 77, .snp_range = 20, .h2 = 0.4}, 500);
  for (const std::string method : {"brr", "bayescpi", "bayesr"}) {
    std::vector<std::string> args = short_run(method);
    args.insert(args.end(), {"--out", "reference", "--kernel", "portable"});
    ASSERT_EQ(run_snpbayes_in(folder, args).status, 0);
    auto reference = outputs(folder, "reference");
    reference[".json"] = json_findings(reference[".json"]);
    for (const Isa isa : test::processor_isas()) {
      std::vector<std::string> capped = short_run(method);
      capped.insert(capped.end(), {"--out", "capped", "--kernel", std::string(isa_name(isa))});
      ASSERT_EQ(run_snpbayes_in(folder, capped).status, 0);
      auto files = outputs(folder, "capped");
      EXPECT_NE(files[".json"].find("\"kernel\": \"" + std::string(isa_name(isa)) + "\""), std::string::npos);
      files[".json"] = json_findings(files[".json"]);
      for (const auto& [extension, bytes] : files) {
        EXPECT_TRUE(bytes == reference[extension]) << method << extension << " on " << isa_name(isa);
      }
    }
    EXPECT_EQ(isa_cap(), Isa::Avx512) << "the cap is lifted after the run";
  }
  // Another seed, another chain.
  std::vector<std::string> other = short_run("bayescpi");
  other[9] = "43";
  ASSERT_EQ(run_snpbayes_in(folder, other).status, 0);
  EXPECT_NE(folder.read("bayescpi.effects"), folder.read("reference.effects"));
}

TEST(SnpbayesRun, UsageHelpAndVersion) {
  struct Case {
    std::vector<std::string> args;
    std::string error;  // the line before the usage; empty for none
  };
  const Case cases[] = {
      {{}, ""},
      {{"--method"}, "--method needs a value"},
      {{"--iterations", "100"}, "--method is needed: bayescpi, bayesr or brr"},
      {{"--method", "bayesb"}, "--method is bayescpi, bayesr or brr, not \"bayesb\""},
      {{"--method", "brr", "--iterations", "0"}, "--iterations takes a whole number from 1 to 1000000000, not \"0\""},
      {{"--method", "brr", "--iterations", "1e4"}, "--iterations takes a whole number from 1 to 1000000000, not \"1e4\""},
      {{"--method", "brr", "--thin", "-1"}, "--thin takes a whole number from 1 to 1000000000, not \"-1\""},
      {{"--method", "brr", "--seed", "x"}, "--seed takes a whole number from 0 to 18446744073709551615, not \"x\""},
      {{"--method", "brr", "--iterations", "100", "--burn-in", "100"}, "--burn-in 100 leaves none of 100 iterations to keep"},
      {{"--method", "bayescpi", "--pi", "1"}, "--pi takes a probability above 0 and below 1, not \"1\""},
      {{"--method", "brr", "--pi", "0.9"}, "--pi and --fix-pi are options of bayescpi only"},
      {{"--method", "bayesr", "--fix-pi"}, "--pi and --fix-pi are options of bayescpi only"},
      {{"--method", "brr", "--fix-var", "2"}, "--fix-var takes two positive numbers VAR_E,VAR_B, not \"2\""},
      {{"--method", "brr", "--fix-var", "2,-1"}, "--fix-var takes two positive numbers VAR_E,VAR_B, not \"2,-1\""},
      {{"--method", "brr", "--kernel", "sse"}, "--kernel is portable, avx2 or avx512, not \"sse\""},
      {{"--method", "brr", "--out", "runs/"}, "\"runs/\" is not a PREFIX"},
      {{"--method", "brr", "--quiet=yes"}, "--quiet takes no value"},
      {{"--method", "brr", "--seed", "1", "--seed=2"}, "--seed is given twice"},
      {{"--method", "brr", "extra"}, "\"extra\" is not an option; options begin with --"},
      {{"--method", "brr", "--verbose"}, "\"--verbose\" is not an option of snpbayes"},
  };
  Scratch folder;
  for (const Case& c : cases) {
    const RunResult run = run_snpbayes_in(folder, c.args);
    EXPECT_EQ(run.status, kUsage) << c.error;
    EXPECT_EQ(run.out, "");
    const std::string line = c.error.empty() ? "" : "snpbayes: " + c.error + "\n";
    EXPECT_EQ(run.err.substr(0, line.size()), line);
    EXPECT_EQ(run.err.substr(line.size(), 6), "usage:") << c.error;
  }
  const RunResult help = run_snpbayes_in(folder, {"--help"});
  EXPECT_EQ(help.status, kUsage);
  EXPECT_EQ(help.out.substr(0, 6), "usage:");
  EXPECT_EQ(help.err, "");
  const RunResult version = run_snpbayes_in(folder, {"--version"});
  EXPECT_EQ(version.status, kWritten);
  EXPECT_EQ(version.out, "snpbayes 1.0\n");
  EXPECT_EQ(folder.names(), std::vector<std::string>{});
}

// Each refused study: its one line, and the earlier files of the prefix as
// they were, with no temporary beside them.
TEST(SnpbayesRun, RefusedInputLeavesTheEarlierFiles) {
  const std::string setup = test::setup_text(3, 2, {1.0f, -0.5f, 0.25f});
  const std::string good[] = {test::record_text(1, 10.5f, 1, "121122"), test::record_text(2, 12.0f, 0, "221112"),
                              test::record_text(3, 9.5f, 0, "111111"), test::record_text(4, 11.0f, 2, "222222")};
  const auto data = [&](int replaced, const std::string& line) {
    std::string text;
    for (int k = 0; k < 4; ++k) text += k == replaced ? line : good[k];
    return text;
  };
  struct Case {
    std::string setup, data, error;
  };
  const Case cases[] = {
      {"", data(-1, ""), "SNP_setup line 1: missing, the file ends after 0 lines"},
      {test::setup_text(-3, 2, {}), data(-1, ""), "SNP_setup line 2: n_snp = -3, counts must be 0 or more"},
      {test::setup_text(3, 500000, {1, 2, 3}), data(-1, ""),
       "SNP_setup line 2: nrec = 500000, more than the 999999 records that SNP_data can number"},
      {setup, data(3, ""), "SNP_data record 4: missing, the file ends after 3 of 2 x nrec = 4 records"},
      {setup, data(1, test::record_text(2, 12.0f, 0, "22111")), "SNP_data record 2: 5 allele digits, 6 expected"},
      {setup, data(3, test::record_text(4, 11.0f, 2, "2222x2")), "SNP_data record 4: allele digit 5 (SNP 3) is 'x', not 1 or 2"},
      {setup, data(2, test::record_text(7, 9.5f, 0, "111111")), "SNP_data record 3: record number \"     7\", 3 expected"},
      {setup, data(0, "     1 10.5\r\n"), "SNP_data record 1: 11 characters, at least 23 expected"},
      {setup, data(-1, "").substr(0, data(-1, "").size() - 2), "SNP_data record 4: the file ends inside it (no line end)"},
      {setup, data(1, test::record_text(2, 10.5f, 0, "221112")),
       "SNP_data: y is 10.5 in every training record, nothing to explain"},
      {test::setup_text(3, 1, {1, 2, 3}), good[0] + good[1], "SNP_setup: nrec = 1, the sampler needs 2 training records or more"},
  };
  for (const Case& c : cases) {
    Scratch folder;
    folder.write("SNP_setup", c.setup);
    folder.write("SNP_data", c.data);
    for (const char* extension : {".effects", ".gbv", ".trace", ".json"}) folder.write(std::string("old") + extension, "earlier\n");
    const RunResult run = run_snpbayes_in(folder, {"--method", "bayescpi", "--iterations", "5", "--out", "old"});
    EXPECT_EQ(run.status, kRefused) << c.error;
    EXPECT_EQ(run.err, "snpbayes: " + c.error + "\n");
    for (const auto& [extension, bytes] : outputs(folder, "old")) EXPECT_EQ(bytes, "earlier\n") << c.error << extension;
    EXPECT_EQ(folder.names().size(), 6u) << c.error << ": a temporary was left";
  }
  Scratch empty;
  EXPECT_EQ(run_snpbayes_in(empty, {"--method", "brr"}).err, "snpbayes: SNP_setup: cannot open (No such file or directory)\n");
}

TEST(SnpbayesRun, AFolderThatCannotBeWrittenIsRefused) {
  Scratch folder;
  simulate(folder, kSmall, 3);
  const RunResult run = run_snpbayes_in(folder, {"--method", "brr", "--iterations", "3", "--out", "missing/run"});
  EXPECT_EQ(run.status, kRefused);
  EXPECT_EQ(run.err, "snpbayes: missing/run.effects: cannot write (No such file or directory)\n");
}

// An ostream that notes a signal when a line it is given holds `trigger`:
// the signal arrives while the run is at that point.
class SignalAt : public std::stringbuf {
 public:
  explicit SignalAt(std::string trigger) : trigger_(std::move(trigger)) {}

 protected:
  int sync() override {
    if (str().find(trigger_) != std::string::npos) note_interrupt(SIGINT);
    return 0;
  }

 private:
  std::string trigger_;
};

TEST(SnpbayesRun, AnInterruptedRunLeavesNoFile) {
  Scratch folder;
  simulate(folder, kSmall, 7);
  folder.write("cut.json", "earlier\n");
  // Signalled while sampling (after the first line), and while writing
  // (after the line that ends the sampling).
  for (const std::string trigger : {"snpbayes: bayescpi", "ms of processor time per iteration"}) {
    SignalAt buffer(trigger);
    std::ostream out(&buffer);
    std::ostringstream err;
    const std::vector<std::string_view> args = {"--method", "bayescpi", "--iterations", "50", "--out", "cut"};
    EXPECT_EQ(run_snpbayes(args, folder.path(), out, err), kSignalled + SIGINT) << trigger;
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(folder.names(), (std::vector<std::string>{"SNP_data", "SNP_setup", "cut.json", "par_tarvox"})) << trigger;
    EXPECT_EQ(folder.read("cut.json"), "earlier\n");
  }
}

}  // namespace
}  // namespace gp::bayes::testing
