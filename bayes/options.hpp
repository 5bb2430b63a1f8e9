// The command line of snpbayes: its usage text and the one parser of it.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "bayes/settings.hpp"

namespace gp::bayes {

extern const std::string_view kUsageText;
extern const std::string_view kVersionText;

struct Command {
  enum class Kind { Run, Help, Version, Usage };
  Kind kind = Kind::Usage;
  Settings settings;
  std::string error;  // Usage: what is wrong, one line (empty when nothing was given)
};

// The arguments after the program name. Options take their value as the
// next argument or after "=" (--seed=7); each may be given once.
Command parse_command(std::span<const std::string_view> args);

}  // namespace gp::bayes
