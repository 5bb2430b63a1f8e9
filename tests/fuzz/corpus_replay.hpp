// Replays every file of a fuzz target's corpus (the seeds and the inputs of
// earlier findings) through its check, so a build without clang still runs
// them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "fuzz/harness.hpp"

namespace gp::fuzz {

inline void replay_corpus(const std::string& target, const std::function<std::string(std::string_view)>& check) {
  const std::filesystem::path folder = std::filesystem::path(FUZZ_CORPUS_DIR) / target;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << folder;
  for (const auto& file : files) {
    EXPECT_EQ(check(read_file(file.string())), "") << file.filename();
  }
}

}  // namespace gp::fuzz
