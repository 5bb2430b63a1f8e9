// Helpers of the simulator's tests: scratch directories, files, parameter
// files, and one run of tarvox in-process with a fixed clock.
#pragma once

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"

namespace gp::test {

inline std::filesystem::path scratch_directory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarvox_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// A parameter file: each value line after a label line of its own.
inline std::string par_text(const std::array<std::string, 10>& values) {
  static const char* const labels[10] = {"number of SNP",     "number of QTL", "number of progenies",
                                         "number of records", "freq range",    "SNP range",
                                         "additive variance", "heritability",  "mean",
                                         "seed"};
  std::string text;
  for (size_t i = 0; i < values.size(); ++i) text += std::string(labels[i]) + "\n" + values[i] + "\n";
  return text;
}

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
