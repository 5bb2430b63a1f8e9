#include "support.hpp"

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "bayes/snpbayes.hpp"
#include "common/format.hpp"
#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"

namespace gp::bayes::testing {

namespace fs = std::filesystem;

Scratch::Scratch() {
  std::string pattern = (fs::temp_directory_path() / "snpbayes_test_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

Scratch::~Scratch() { fs::remove_all(path_); }

void Scratch::write(const std::string& name, const std::string& content) const {
  std::ofstream(path_ + "/" + name, std::ios::binary) << content;
}

std::string Scratch::read(const std::string& name) const {
  std::ifstream in(path_ + "/" + name, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::vector<std::string> Scratch::names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult run_snpbayes_in(const Scratch& folder, const std::vector<std::string>& args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  std::ostringstream out, err;
  const int status = run_snpbayes(views, folder.path(), out, err);
  return {status, out.str(), err.str()};
}

std::map<std::string, std::string> outputs(const Scratch& folder, const std::string& prefix) {
  std::map<std::string, std::string> files;
  for (const char* extension : {".effects", ".gbv", ".trace", ".json"}) files[extension] = folder.read(prefix + extension);
  return files;
}

void simulate(const Scratch& folder, const Simulation& s, int warmup) {
  std::ostringstream parameters;
  parameters << "n_snp\n" << s.n_snp << "\nn_qtl\n" << s.n_qtl << "\nnprog\n0\nnrec\n" << s.nrec
             << "\nfrequencies\n0.05 0.5\nsnp_range\n" << s.snp_range << "\nvar_a\n40\nh2\n" << s.h2
             << "\nmean\n100\nseed\n1\n";
  folder.write("par_tarvox", parameters.str());
  ConsoleCapture console;
  Units io(&console, folder.path());
  if (run_program(io, [&] { run_tarvox(io, [warmup] { return warmup; }); }) != 0) {
    throw std::runtime_error("tarvox failed: " + console.errors);
  }
}

namespace {

std::string fixed_field(float value, int width) {
  char buffer[96];
  return std::string(buffer, write_fixed(buffer, value, width, 2));
}

std::string ten_per_line(const std::vector<float>& values, int width) {
  std::string text;
  for (size_t j = 0; j < values.size(); ++j) {
    text += fixed_field(values[j], width);
    if (j % 10 == 9 || j + 1 == values.size()) text += "\r\n";
  }
  return values.empty() ? "\r\n" : text;
}

}  // namespace

std::string setup_text(int n_snp, int nrec, const std::vector<float>& snp_val) {
  char counts[64];
  std::snprintf(counts, sizeof counts, "%8d%8d%8d%8d%8d", n_snp, n_snp, nrec, 0, nrec);
  return " n_snp  n_qtl nrec nprog nrec\r\n" + std::string(counts) + "\r\n var_a,var_e, sim_var \r\n" +
         "     40.00     60.00     39.50\r\n snp_freq\r\n" +
         ten_per_line(std::vector<float>(static_cast<size_t>(std::max(n_snp, 0)), 0.5f), 5) + " snp_val\r\n" +
         ten_per_line(snp_val, 8);
}

std::string record_text(int number, float y, float s_bv, const std::string& digits) {
  char head[16];
  std::snprintf(head, sizeof head, "%6d ", number);
  return head + fixed_field(y, 8) + fixed_field(s_bv, 8) + (digits.empty() ? "" : " " + digits) + "\r\n";
}

std::string json_findings(const std::string& json) {
  const size_t kernel = json.find("  \"kernel\"");
  return kernel == std::string::npos ? json : json.substr(0, kernel);
}

double json_value(const std::string& json, const std::string& key) {
  const size_t at = json.find("\"" + key + "\": ");
  if (at == std::string::npos) return NAN;
  return std::strtod(json.c_str() + at + key.size() + 4, nullptr);
}

std::vector<std::vector<std::string>> table(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, '\t');) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

}  // namespace gp::bayes::testing
