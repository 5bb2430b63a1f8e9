// Running kolber inside a test (fixed clock, console in memory) or as a
// process, in a scratch directory holding hand-written SNP files.
#pragma once

#include <string>
#include <vector>

namespace gp::testing {

// A fresh directory under /tmp, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;  // "<missing>" when absent
  bool exists(const std::string& name) const;

 private:
  std::string path_;
};

struct RunResult {
  int status;
  std::string console;
  std::string errors;
};

// kolber in this process with every clock reading 12.5 s, so elapsed times
// print as zero.
RunResult run_in_process(const ScratchDir& dir, const std::string& answer);

// The kolber binary with `answer` on standard input, in `dir`.
RunResult run_process(const std::string& program, const ScratchDir& dir, const std::string& answer);

// Lines joined with CR LF, each one ended.
std::string crlf(const std::vector<std::string>& lines);

// The error report as it reaches standard error; `statement` empty for none.
std::string report(const std::string& header, const std::string& message, const std::string& statement);

// SNP_setup as the simulator lays it out, for the given effects (frequencies
// all 0.50).
std::string setup_file(int n_snp, int nrec, const std::vector<float>& snp_val);

// One SNP_data line: "I6,1X,2F8.2,1X" then the allele digits as given.
std::string data_line(int rec_id, float y, float s_bv, const std::string& alleles);

// A file of the scenario folder tests/scenarios/<scenario>.
std::string scenario_file(const std::string& scenario, const std::string& file);

// Copies the scenario's input files (all but "answer" and "expected_*").
void copy_scenario_inputs(const ScratchDir& dir, const std::string& scenario);

// The console with the three elapsed times blanked out.
std::string mask_times(const std::string& console);

}  // namespace gp::testing
