#include "support.hpp"

#include <cmath>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "bayes/snpbayes.hpp"
#include "common/text_io.hpp"
#include "simulator/tarvox.hpp"
#include "support/snp_text.hpp"

namespace gp::bayes::testing {

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
  const auto text = [](double value) { return (std::ostringstream() << value).str(); };
  folder.write("par_tarvox", test::par_text({text(s.n_snp), text(s.n_qtl), "0", text(s.nrec), "0.05 0.5",
                                             text(s.snp_range), "40", text(s.h2), "100", "1"}));
  ConsoleCapture console;
  Units io(&console, folder.path());
  if (run_program(io, [&] { run_tarvox(io, [warmup] { return warmup; }); }) != 0) {
    throw std::runtime_error("tarvox failed: " + console.errors);
  }
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
