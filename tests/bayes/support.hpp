// Helpers of snpbayes' whole-run tests: studies simulated by tarvox, runs
// of snpbayes in this process, and what they wrote.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/scratch.hpp"

namespace gp::bayes::testing {

using Scratch = test::ScratchDir;

struct RunResult {
  int status;
  std::string out, err;
};

// snpbayes in this process with `args`, in `folder`.
RunResult run_snpbayes_in(const Scratch& folder, const std::vector<std::string>& args);

// The four files of a prefix by extension.
std::map<std::string, std::string> outputs(const Scratch& folder, const std::string& prefix);

// A study simulated by tarvox in `folder` from its ten parameters; `warmup`
// picks the replicate (the clock's milliseconds).
struct Simulation {
  int n_snp, n_qtl, nrec;
  double snp_range, h2;
};
void simulate(const Scratch& folder, const Simulation& study, int warmup);

// PREFIX.json without its last three keys (kernel, seconds,
// ms_per_iteration): what a run found, which the inputs fix.
std::string json_findings(const std::string& json);

// A number of PREFIX.json by its key (NaN when absent).
double json_value(const std::string& json, const std::string& key);

// The tab-separated lines of a file, header first, split into fields.
std::vector<std::vector<std::string>> table(const std::string& text);

}  // namespace gp::bayes::testing
