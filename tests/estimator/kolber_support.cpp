#include "estimator/kolber_support.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "common/text_io.hpp"
#include "estimator/kolber.hpp"

namespace gp::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "kolber-test.XXXXXX").string();
  path_ = mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string& name, const std::string& content) const {
  std::ofstream(path_ + "/" + name, std::ios::binary) << content;
}

std::string ScratchDir::read(const std::string& name) const {
  std::ifstream in(path_ + "/" + name, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool ScratchDir::exists(const std::string& name) const { return fs::exists(path_ + "/" + name); }

RunResult run_in_process(const ScratchDir& dir, const std::string& answer) {
  ConsoleCapture capture;
  capture.input = answer;
  int status = 0;
  {
    Units io(&capture, dir.path());
    status = run_program(io, [&io] { run_kolber(io, [] { return 12.5f; }); });
  }
  return {status, capture.output, capture.errors};
}

RunResult run_process(const std::string& program, const ScratchDir& dir, const std::string& answer) {
  dir.write(".answer", answer);
  const std::string command =
      "cd '" + dir.path() + "' && '" + program + "' < .answer > .stdout 2> .stderr";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, dir.read(".stdout"), dir.read(".stderr")};
}

std::string crlf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::string report(const std::string& header, const std::string& message, const std::string& statement) {
  std::string text = "? " + header + "\r\n? " + message + "\r\n";
  if (!statement.empty()) text += "? " + statement + "\n";
  return text;
}

namespace {

std::string fixed(float value, int width) {
  char field[64];
  std::snprintf(field, sizeof field, "%*.2f", width, static_cast<double>(value));
  return field;
}

// Values ten to a line, each in `width` columns; one empty line for none.
std::string ten_per_line(const std::vector<float>& values, int width) {
  std::string text;
  for (size_t k = 0; k < values.size(); ++k) {
    text += fixed(values[k], width);
    if (k % 10 == 9 || k + 1 == values.size()) text += "\r\n";
  }
  return values.empty() ? "\r\n" : text;
}

}  // namespace

std::string setup_file(int n_snp, int nrec, const std::vector<float>& snp_val) {
  char counts[64];
  std::snprintf(counts, sizeof counts, "%8d%8d%8d%8d%8d", n_snp, n_snp, nrec, 0, nrec);
  return " n_snp  n_qtl nrec nprog nrec\r\n" + std::string(counts) + "\r\n var_a,var_e, sim_var \r\n" +
         "     40.00     60.00     39.50\r\n snp_freq\r\n" +
         ten_per_line(std::vector<float>(static_cast<size_t>(std::max(n_snp, 0)), 0.5f), 5) + " snp_val\r\n" +
         ten_per_line(snp_val, 8);
}

std::string data_line(int rec_id, float y, float s_bv, const std::string& alleles) {
  char head[64];
  std::snprintf(head, sizeof head, "%6d ", rec_id);
  return head + fixed(y, 8) + fixed(s_bv, 8) + (alleles.empty() ? "" : " " + alleles) + "\r\n";
}

std::string scenario_file(const std::string& scenario, const std::string& file) {
  std::ifstream in(fs::path(SCENARIO_DIR) / scenario / file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void copy_scenario_inputs(const ScratchDir& dir, const std::string& scenario) {
  for (const auto& entry : fs::directory_iterator(fs::path(SCENARIO_DIR) / scenario)) {
    const std::string file = entry.path().filename().string();
    if (file != "answer" && !file.starts_with("expected_")) dir.write(file, scenario_file(scenario, file));
  }
}

std::string mask_times(const std::string& console) {
  static const std::regex started("Iteration started at +[0-9.]+ seconds");
  static const std::regex rounds("rounds and [0-9.]+ seconds");
  static const std::regex finished("Finished in +[0-9.]+ seconds");
  std::string text = std::regex_replace(console, started, "Iteration started at <time> seconds");
  text = std::regex_replace(text, rounds, "rounds and <time> seconds");
  return std::regex_replace(text, finished, "Finished in <time> seconds");
}

}  // namespace gp::testing
