// Helpers for tests of the text-record layer: a scratch directory and a
// program run on a captured console.
#pragma once

#include <functional>
#include <string>

#include "common/text_io.hpp"
#include "support/scratch.hpp"

namespace gp::text_test {

using test::ScratchDir;

// The outcome of one program run inside the test.
struct RunResult {
  int status;
  std::string output;
  std::string errors;
};

// Runs `body` as a program's main procedure with `input` on the console and
// file names taken in `directory`.
inline RunResult run_captured(const std::string& input, const std::function<void(Units&)>& body,
                        const std::string& directory = {}) {
  ConsoleCapture console;
  console.input = input;
  Units io(&console, directory);
  const int status = run_program(io, [&] { body(io); });
  return {status, console.output, console.errors};
}

// The report of a failure inside a statement, as the standard error shows it.
inline std::string report_text(const std::string& header, const std::string& message, const std::string& line) {
  std::string text = "? " + header + "\r\n? " + message + "\r\n";
  if (!line.empty()) text += "? " + line + "\n";
  return text;
}

}  // namespace gp::text_test
