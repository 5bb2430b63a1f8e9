// Helpers of the simulator's tests: parameter files and one run of tarvox
// in-process with a fixed clock (scratch folders and files are the shared
// ones of tests/support).
#pragma once

#include <array>
#include <string>

#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"
#include "support/scratch.hpp"
#include "support/snp_text.hpp"

namespace gp::test {

struct RunResult {
  int status;
  std::string output;
  std::string errors;
};

// Runs tarvox in `directory` with the clock fixed at `milliseconds`.
inline RunResult run_in_process(const std::filesystem::path& directory, int milliseconds) {
  ConsoleCapture console;
  Units io(&console, directory.string());
  const int status = run_program(io, [&] { run_tarvox(io, [=] { return milliseconds; }); });
  return {status, console.output, console.errors};
}

}  // namespace gp::test
