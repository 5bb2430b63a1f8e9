#include "support.hpp"

#include <sstream>
#include <string_view>

#include "snp2plink/snp2plink.hpp"

namespace gp::plink::testing {

ExportRun run_export(const Scratch& folder, const std::vector<std::string>& args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  std::ostringstream out, err;
  const int status = run_snp2plink(views, folder.path(), out, err);
  return {status, out.str(), err.str()};
}

std::vector<std::vector<int>> decode_bed(const std::string& bed, int32_t n_snp, int64_t records) {
  const size_t row = static_cast<size_t>(records + 3) / 4;
  std::vector<std::vector<int>> twos(static_cast<size_t>(n_snp), std::vector<int>(static_cast<size_t>(records)));
  for (size_t j = 0; j < twos.size(); ++j) {
    for (size_t i = 0; i < static_cast<size_t>(records); ++i) {
      const unsigned code = (static_cast<unsigned char>(bed.at(3 + j * row + i / 4)) >> (2 * (i % 4))) & 3u;
      twos[j][i] = code == 0 ? 2 : code == 2 ? 1 : code == 3 ? 0 : -1;
    }
  }
  return twos;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> words_of(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

}  // namespace gp::plink::testing
