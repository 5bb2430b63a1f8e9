// What every run on arbitrary input must show, shared by the libFuzzer
// targets and the GoogleTest replay of their corpus. A check returns an
// empty string when the run held and a description of the fault otherwise.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/text_io.hpp"
#include "support/scratch.hpp"

namespace gp::fuzz {

// Each target works in one scratch folder per process, reused by every run
// (the programs replace the files they write, and the checks write the
// inputs afresh) and removed with its files when the process ends.
using test::read_file;
using test::ScratchDir;
using test::write_file;

// Length of the longest run of decimal digits: the targets skip inputs whose
// numbers could ask for a huge simulation or matrix.
inline size_t longest_digit_run(std::string_view text) {
  size_t longest = 0;
  size_t run = 0;
  for (char c : text) {
    run = (c >= '0' && c <= '9') ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return longest;
}

// The end of a run: status 0 with nothing on standard error, or status 255
// with the report, whose every line starts with "? ".
inline std::string check_outcome(int status, const ConsoleCapture& console) {
  if (status == kExitOk) {
    if (console.errors.empty()) return {};
    return "orderly end with standard error: " + console.errors;
  }
  if (status != kExitFailure) return "exit status " + std::to_string(status);
  if (console.errors.rfind("? ", 0) != 0) return "status 255 without the report: " + console.errors;
  size_t lines = 0;
  for (size_t start = 0; start < console.errors.size(); ++lines) {
    if (console.errors.compare(start, 2, "? ") != 0) return "report line without \"? \": " + console.errors;
    const size_t end = console.errors.find('\n', start);
    if (end == std::string::npos) return "report not ended by a line feed: " + console.errors;
    start = end + 1;
  }
  if (lines < 2 || lines > 3) return "report of " + std::to_string(lines) + " lines: " + console.errors;
  return {};
}

// Every record of a file ends in CR LF: a report flushes complete records
// only. Files other than SNP_data are small, so the whole text is checked.
inline std::string check_complete_records(const std::string& path, const char* name) {
  const std::string text = read_file(path);
  if (text.empty()) return {};
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) {
    return std::string(name) + " ends inside a record";
  }
  return {};
}

// An input array with guard elements behind it: a statement handed the
// span must leave the guards as they were.
template <class T>
class Guarded {
 public:
  explicit Guarded(size_t count) : count_(count), store_(count + kGuards) {
    std::memset(store_.data() + count_, kPattern, kGuards * sizeof(T));
  }
  std::span<T> span() { return {store_.data(), count_}; }
  bool intact() const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(store_.data() + count_);
    for (size_t i = 0; i < kGuards * sizeof(T); ++i) {
      if (bytes[i] != kPattern) return false;
    }
    return true;
  }

 private:
  static constexpr size_t kGuards = 4;
  static constexpr unsigned char kPattern = 0xA5;
  size_t count_;
  std::vector<T> store_;
};

}  // namespace gp::fuzz
