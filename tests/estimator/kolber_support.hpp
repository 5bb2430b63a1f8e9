// Running kolber inside a test (fixed clock, console in memory) or as a
// process, in a scratch directory holding hand-written SNP files.
#pragma once

#include <string>
#include <vector>

#include "support/scratch.hpp"
#include "support/snp_text.hpp"

namespace gp::testing {

using test::ScratchDir;
using test::record_text;
using test::setup_text;

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

// A file of the scenario folder tests/scenarios/<scenario>.
std::string scenario_file(const std::string& scenario, const std::string& file);

// Copies the scenario's input files (all but "answer" and "expected_*").
void copy_scenario_inputs(const ScratchDir& dir, const std::string& scenario);

// The console with the three elapsed times blanked out.
std::string mask_times(const std::string& console);

}  // namespace gp::testing
