#include "estimator/kolber_support.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/text_io.hpp"
#include "estimator/kolber.hpp"

namespace gp::testing {

namespace fs = std::filesystem;

RunResult run_in_process(const ScratchDir& dir, const std::string& answer) {
  ConsoleCapture capture;
  capture.input = answer;
  int status = 0;
  {
    Units io(&capture, dir.path());
    status = run_program(io, [&io] { run_kolber(io, [] { return 12.5f; }); });
  }
  return {status, capture.output, capture.errors};
}

RunResult run_process(const std::string& program, const ScratchDir& dir, const std::string& answer) {
  dir.write(".answer", answer);
  const std::string command =
      "cd '" + dir.path() + "' && '" + program + "' < .answer > .stdout 2> .stderr";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.read(".stdout"), dir.read(".stderr")};
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string report(const std::string& header, const std::string& message, const std::string& statement) {
  std::string text = "? " + header + "\r\n? " + message + "\r\n";
  if (!statement.empty()) text += "? " + statement + "\n";
  return text;
}

std::string scenario_file(const std::string& scenario, const std::string& file) {
  std::ifstream in(fs::path(SCENARIO_DIR) / scenario / file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void copy_scenario_inputs(const ScratchDir& dir, const std::string& scenario) {
  for (const auto& entry : fs::directory_iterator(fs::path(SCENARIO_DIR) / scenario)) {
    const std::string file = entry.path().filename().string();
    if (file != "answer" && !file.starts_with("expected_")) dir.write(file, scenario_file(scenario, file));
  }
}

std::string mask_times(const std::string& console) {
  static const std::regex started("Iteration started at +[0-9.]+ seconds");
  static const std::regex rounds("rounds and [0-9.]+ seconds");
  static const std::regex finished("Finished in +[0-9.]+ seconds");
  std::string text = std::regex_replace(console, started, "Iteration started at <time> seconds");
  text = std::regex_replace(text, rounds, "rounds and <time> seconds");
  return std::regex_replace(text, finished, "Finished in <time> seconds");
}

}  // namespace gp::testing
