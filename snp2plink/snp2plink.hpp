// snp2plink PREFIX: a study folder's SNP_setup and SNP_data as a PLINK 1
// binary fileset with its companion files.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

namespace gp::plink {

// Exit statuses: written, input refused or a file not written, usage shown.
inline constexpr int kExported = 0;
inline constexpr int kRefused = 1;
inline constexpr int kUsage = 2;

// The usage text (--help on standard output, otherwise standard error).
extern const std::string_view kUsageText;

// One run with the command-line arguments after the program name. Files are
// taken in `directory` (empty: the current directory); `out` gets the
// summary or --help, `err` the refusal or the usage. Returns the exit status.
int run_snp2plink(std::span<const std::string_view> args, const std::string& directory, std::ostream& out,
                  std::ostream& err);

}  // namespace gp::plink
