// Arbitrary bytes through the whole of snpbayes: the command line, then
// SNP_setup, then SNP_data. Input: the first line holds the arguments,
// separated by blanks; the rest is SNP_setup up to a line "~~", then SNP_data
// (no "~~" line: no SNP_data). Inputs whose arguments or SNP_setup hold a
// digit run longer than two are skipped, so counts and iterations stay below
// 100, and so are arguments holding a '/', so every file stays in the
// scratch folder.
#pragma once

#include <filesystem>
#include <map>
#include <sstream>

#include "bayes/options.hpp"
#include "bayes/snpbayes.hpp"
#include "fuzz/harness.hpp"

namespace gp::fuzz {

// Every file of a folder by name.
inline std::map<std::string, std::string> folder_files(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    files[entry.path().filename().string()] = read_file(entry.path());
  }
  return files;
}

inline std::string check_snpbayes(std::string_view input) {
  static const ScratchDir scratch("snpbayes_input");
  const std::string& folder = scratch.path();
  const size_t line_end = input.find('\n');
  const std::string_view line = input.substr(0, line_end);
  const std::string_view files = line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);
  const size_t separator = files.find("~~\n");
  const std::string_view setup = files.substr(0, separator);
  if (longest_digit_run(line) > 2 || longest_digit_run(setup) > 2 || line.find('/') != std::string_view::npos) return {};

  std::vector<std::string> words;
  std::istringstream split{std::string(line)};
  for (std::string word; split >> word;) words.push_back(word);
  const std::vector<std::string_view> args(words.begin(), words.end());

  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  write_file(folder + "/SNP_setup", setup);
  if (separator != std::string_view::npos) write_file(folder + "/SNP_data", files.substr(separator + 3));
  for (const char* prefix : {"brr", "bayescpi", "bayesr"}) {
    for (const char* extension : {".effects", ".gbv", ".trace", ".json"}) {
      write_file(folder + "/" + prefix + extension, "earlier\n");
    }
  }
  const std::map<std::string, std::string> before = folder_files(folder);

  std::ostringstream out, err;
  const int status = bayes::run_snpbayes(args, folder, out, err);
  const std::map<std::string, std::string> after = folder_files(folder);
  const std::string error = err.str();
  if (status == bayes::kUsage) {
    const std::string_view usage = bayes::kUsageText;
    if (out.str().empty() && (error.size() < usage.size() || error.compare(error.size() - usage.size(), usage.size(), usage) != 0)) {
      return "status 2 without the usage: " + error;
    }
    return after == before ? std::string() : "a usage error changed a file";
  }
  if (status == bayes::kRefused) {
    if (error.rfind("snpbayes: ", 0) != 0 || error.find('\n') != error.size() - 1) {
      return "a refusal that is not one line: " + error;
    }
    return after == before ? std::string() : "a refused run changed a file: " + error;
  }
  if (status != bayes::kWritten) return "exit status " + std::to_string(status);
  if (!error.empty()) return "a written run with standard error: " + error;
  // The four files of the run's prefix changed, nothing else.
  size_t changed = 0;
  for (const auto& [name, bytes] : after) {
    const auto earlier = before.find(name);
    if (earlier == before.end()) {
      if (name.front() == '.') return "a temporary was left: " + name;
      ++changed;
    } else if (earlier->second != bytes) {
      ++changed;
    }
  }
  if (changed != 4 || after.size() < before.size()) return "a written run changed " + std::to_string(changed) + " files";
  return {};
}

}  // namespace gp::fuzz
