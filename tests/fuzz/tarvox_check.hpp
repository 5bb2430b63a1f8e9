// Arbitrary bytes as par_tarvox through the whole simulator: parameter
// input, echo, checks, set-up, SNP_setup and the records of SNP_data.
// Inputs with a digit run longer than three are skipped, so no count asks
// for more than 999 SNPs or 2 x 999 records.
#pragma once

#include "fuzz/harness.hpp"
#include "simulator/tarvox.hpp"

namespace gp::fuzz {

inline std::string check_tarvox(std::string_view input) {
  static const ScratchDir scratch("tarvox_input");
  const std::string& directory = scratch.path();
  if (longest_digit_run(input) > 3) return {};
  write_file(directory + "/par_tarvox", input);
  write_file(directory + "/SNP_setup", "old setup\r\n");
  write_file(directory + "/SNP_data", "old data\r\n");

  ConsoleCapture console;
  int status;
  {
    Units io(&console, directory);
    status = run_program(io, [&] { run_tarvox(io, [] { return 417; }); });
  }
  if (const std::string outcome = check_outcome(status, console); !outcome.empty()) return outcome;
  if (read_file(directory + "/par_tarvox") != input) return "par_tarvox was changed";
  const bool before_files = console.errors.find("UNIT=3") != std::string::npos ||
                            console.errors.find("? Parameter ") != std::string::npos;
  if (status == kExitFailure && before_files) {
    if (read_file(directory + "/SNP_setup") != "old setup\r\n") return "SNP_setup lost before it was opened";
    if (read_file(directory + "/SNP_data") != "old data\r\n") return "SNP_data lost before it was opened";
    return {};
  }
  if (const std::string fault = check_complete_records(directory + "/SNP_setup", "SNP_setup"); !fault.empty()) {
    return fault;
  }
  if (const std::string fault = check_complete_records(directory + "/SNP_data", "SNP_data"); !fault.empty()) {
    return fault;
  }
  if (status == kExitOk && console.output.find("Simulated records are in file SNP_data\r\n") == std::string::npos) {
    return "orderly end without the report";
  }
  return {};
}

}  // namespace gp::fuzz
