// Helpers of the export's tests: one in-process run of snp2plink, and the
// genotypes of a .bed read back (scratch folders and hand-made study files
// are the shared ones of tests/support).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/scratch.hpp"
#include "support/snp_text.hpp"

namespace gp::plink::testing {

using Scratch = test::ScratchDir;
using test::record_text;
using test::setup_text;

struct ExportRun {
  int status;
  std::string out;
  std::string err;
};

// snp2plink in this process with `args`, in `folder`.
ExportRun run_export(const Scratch& folder, const std::vector<std::string>& args);

// The genotypes of a .bed body (after the 3 magic bytes) as the number of
// code-2 alleles (0, 1, 2; -1 for the missing code): [snp][record].
std::vector<std::vector<int>> decode_bed(const std::string& bed, int32_t n_snp, int64_t records);

// Splits text at LF (a CR before it dropped); no empty last element.
std::vector<std::string> lines_of(const std::string& text);

// Splits a line at runs of blanks and tabs.
std::vector<std::string> words_of(const std::string& line);

}  // namespace gp::plink::testing
