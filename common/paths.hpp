// The paths of a run's files: the programs that run in-process take their
// study folder as a directory, and name their output files by a PREFIX.
#pragma once

#include <string>
#include <string_view>

namespace gp {

// `name` in `directory` (empty: the current one); an absolute name as it is.
inline std::string in_directory(const std::string& directory, std::string_view name) {
  if (directory.empty() || name.starts_with('/')) return std::string(name);
  return directory + "/" + std::string(name);
}

// A PREFIX names files: not empty, not an option, not a folder.
inline bool usable_prefix(std::string_view prefix) {
  return !prefix.empty() && prefix.front() != '-' && prefix.back() != '/';
}

}  // namespace gp
