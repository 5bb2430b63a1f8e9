// Helpers of snpbayes' whole-run tests: a scratch folder, studies simulated
// by tarvox or written by hand, and runs of snpbayes in this process.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace gp::bayes::testing {

// A fresh folder under /tmp, removed with everything in it at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;  // "<missing>" when absent
  std::vector<std::string> names() const;           // sorted

 private:
  std::string path_;
};

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

// SNP_setup as the simulator lays it out for these counts and effects.
std::string setup_text(int n_snp, int nrec, const std::vector<float>& snp_val);

// One SNP_data line with its CR LF.
std::string record_text(int number, float y, float s_bv, const std::string& digits);

// PREFIX.json without its last three keys (kernel, seconds,
// ms_per_iteration): what a run found, which the inputs fix.
std::string json_findings(const std::string& json);

// A number of PREFIX.json by its key (NaN when absent).
double json_value(const std::string& json, const std::string& key);

// The tab-separated lines of a file, header first, split into fields.
std::vector<std::vector<std::string>> table(const std::string& text);

}  // namespace gp::bayes::testing
