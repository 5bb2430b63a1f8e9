// Helpers for tests of the text-record layer: a scratch directory and a
// program run on a captured console.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "common/text_io.hpp"

namespace gp::text_test {

// A fresh directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "text_io_XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream(file(name), std::ios::binary) << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

 private:
  std::string path_;
};

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
