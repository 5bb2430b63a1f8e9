// The layout facts the workflow's Python holds, for the tests that tie them
// to the C++ ones: the "name value" lines of `outputs.py facts FILE`.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdint>
#include <map>
#include <sstream>
#include <string>

namespace gp::test {

inline constexpr const char* kFactsPython = "/usr/bin/python3";

// FILE is "snp" (SNP_setup and SNP_data) or "results" (SNP_results).
inline std::map<std::string, int64_t> python_facts(const std::string& file) {
  const std::string command =
      std::string(kFactsPython) + " " + SOURCE_DIR + "/workflow/scripts/outputs.py facts " + file;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::string text;
  char buffer[512];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, got);
  EXPECT_EQ(::pclose(pipe), 0) << command;
  std::map<std::string, int64_t> facts;
  std::istringstream lines(text);
  std::string name;
  for (int64_t value = 0; lines >> name >> value;) facts[name] = value;
  return facts;
}

}  // namespace gp::test
