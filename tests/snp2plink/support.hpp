// Helpers of the export's tests: a scratch folder, hand-made study files,
// one in-process run of snp2plink, and the genotypes of a .bed read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gp::plink::testing {

// A fresh folder under /tmp, removed with everything in it at the end.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& path() const { return path_; }
  std::string at(const std::string& name) const { return path_ + "/" + name; }
  void write(const std::string& name, const std::string& content) const;
  std::string read(const std::string& name) const;  // "<missing>" when absent
  std::vector<std::string> names() const;           // sorted, every entry of the folder

 private:
  std::string path_;
};

struct ExportRun {
  int status;
  std::string out;
  std::string err;
};

// snp2plink in this process with `args`, in `folder`.
ExportRun run_export(const Scratch& folder, const std::vector<std::string>& args);

// SNP_setup as the simulator lays it out (frequencies all 0.50, var 1, 2, 3).
std::string setup_text(int32_t n_snp, int32_t nrec, const std::vector<float>& snp_val);

// One SNP_data line with its CR LF: I6, 1X, 2F8.2, 1X, then `digits`.
std::string record_text(int32_t rec_id, float y, float s_bv, const std::string& digits);

// The genotypes of a .bed body (after the 3 magic bytes) as the number of
// code-2 alleles (0, 1, 2; -1 for the missing code): [snp][record].
std::vector<std::vector<int>> decode_bed(const std::string& bed, int32_t n_snp, int64_t records);

// Splits text at LF (a CR before it dropped); no empty last element.
std::vector<std::string> lines_of(const std::string& text);

// Splits a line at runs of blanks and tabs.
std::vector<std::string> words_of(const std::string& line);

}  // namespace gp::plink::testing
