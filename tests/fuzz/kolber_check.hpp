// Arbitrary bytes through the whole estimator: the console answer, then
// SNP_setup, then SNP_data. Input: the answer is the first line; the rest is
// SNP_setup up to a line "~~", then SNP_data (no "~~" line: no SNP_data).
// Inputs whose SNP_setup holds a digit run longer than two are skipped, so
// the counts stay below 100 SNPs and 100 records.
#pragma once

#include <cstdio>

#include "estimator/kolber.hpp"
#include "fuzz/harness.hpp"

namespace gp::fuzz {

inline constexpr std::string_view kFileSeparator = "~~\n";
inline constexpr const char* kEarlierResults = "earlier results\r\n";

inline std::string check_kolber(std::string_view input) {
  static const ScratchDir scratch("kolber_input");
  const std::string& directory = scratch.path();
  const size_t answer_end = input.find('\n');
  const std::string_view answer = input.substr(0, answer_end == std::string_view::npos ? input.size() : answer_end + 1);
  const std::string_view files = input.substr(answer.size());
  const size_t separator = files.find(kFileSeparator);
  const std::string_view setup = files.substr(0, separator);
  if (longest_digit_run(setup) > 2) return {};
  write_file(directory + "/SNP_setup", setup);
  const std::string data_path = directory + "/SNP_data";
  std::remove(data_path.c_str());
  if (separator != std::string_view::npos) write_file(data_path, files.substr(separator + kFileSeparator.size()));
  const std::string data_before = read_file(data_path);
  write_file(directory + "/SNP_results", kEarlierResults);

  ConsoleCapture console;
  console.input = std::string(answer);
  int status;
  {
    Units io(&console, directory);
    status = run_program(io, [&] { run_kolber(io, [] { return 12.5f; }); });
  }
  if (const std::string outcome = check_outcome(status, console); !outcome.empty()) return outcome;
  if (read_file(directory + "/SNP_setup") != setup) return "SNP_setup was changed";
  if (read_file(data_path) != data_before) return "SNP_data was changed";
  const bool solved = console.output.find("convergence of ") != std::string::npos;
  if (!solved && read_file(directory + "/SNP_results") != kEarlierResults) {
    return "SNP_results changed before the results stage";
  }
  if (const std::string fault = check_complete_records(directory + "/SNP_results", "SNP_results"); !fault.empty()) {
    return fault;
  }
  if (status == kExitOk && console.output.find("Finished in") == std::string::npos) {
    return "orderly end without the closing line";
  }
  return {};
}

}  // namespace gp::fuzz
