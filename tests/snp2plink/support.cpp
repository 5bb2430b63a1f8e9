#include "support.hpp"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "common/format.hpp"
#include "snp2plink/snp2plink.hpp"

namespace gp::plink::testing {

namespace fs = std::filesystem;

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "snp2plink_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

Scratch::~Scratch() { fs::remove_all(path_); }

void Scratch::write(const std::string& name, const std::string& content) const {
  std::ofstream(at(name), std::ios::binary) << content;
}

std::string Scratch::read(const std::string& name) const {
  std::ifstream in(at(name), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::vector<std::string> Scratch::names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    names.push_back(fs::relative(entry.path(), path_).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

ExportRun run_export(const Scratch& folder, const std::vector<std::string>& args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  std::ostringstream out, err;
  const int status = run_snp2plink(views, folder.path(), out, err);
  return {status, out.str(), err.str()};
}

namespace {

std::string int_field(int32_t value, int width) {
  char buffer[32];
  return std::string(buffer, write_int(buffer, value, width));
}

std::string fixed_field(float value, int width) {
  char buffer[96];
  return std::string(buffer, write_fixed(buffer, value, width, 2));
}

// Ten fields per line, one line even with no value.
std::string ten_per_line(const std::vector<float>& values, int width) {
  std::string text;
  for (size_t j = 0; j < values.size(); ++j) {
    text += fixed_field(values[j], width);
    if (j % 10 == 9 || j + 1 == values.size()) text += "\r\n";
  }
  return values.empty() ? "\r\n" : text;
}

}  // namespace

std::string setup_text(int32_t n_snp, int32_t nrec, const std::vector<float>& snp_val) {
  std::string text = " n_snp  n_qtl nrec nprog nrec\r\n";
  for (int32_t v : {n_snp, 0, nrec, 0, nrec}) text += int_field(v, 8);
  text += "\r\n var_a,var_e, sim_var \r\n" + fixed_field(1, 10) + fixed_field(2, 10) + fixed_field(3, 10) + "\r\n";
  text += " snp_freq\r\n" + ten_per_line(std::vector<float>(static_cast<size_t>(std::max(n_snp, 0)), 0.5f), 5);
  return text + " snp_val\r\n" + ten_per_line(snp_val, 8);
}

std::string record_text(int32_t rec_id, float y, float s_bv, const std::string& digits) {
  return int_field(rec_id, 6) + " " + fixed_field(y, 8) + fixed_field(s_bv, 8) + (digits.empty() ? "" : " ") + digits +
         "\r\n";
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
