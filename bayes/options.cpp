#include "bayes/options.hpp"

#include "common/isa.hpp"
#include "common/paths.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <set>

namespace gp::bayes {

const std::string_view kVersionText = "snpbayes 1.0\n";

const std::string_view kUsageText =
    "usage: snpbayes --method bayescpi|bayesr|brr [--iterations N] [--burn-in N] [--thin N]\n"
    "                [--seed S] [--pi P] [--fix-pi] [--fix-var VAR_E,VAR_B] [--out PREFIX]\n"
    "                [--kernel portable|avx2|avx512] [--quiet]\n"
    "\n"
    "Run in a study folder: samples the SNP effects of the training records (1..nrec of\n"
    "SNP_data) by Gibbs sampling and predicts both sets.\n"
    "  --method      brr (Bayesian ridge regression), bayescpi (pi = the probability of no\n"
    "                effect, sampled) or bayesr (four classes of effect variance)\n"
    "  --iterations  iterations of the chain (default 10000)\n"
    "  --burn-in     iterations before the samples kept (default a fifth of --iterations)\n"
    "  --thin        every thin-th kept iteration goes to the trace (default 10)\n"
    "  --seed        the random numbers' seed, 0 to 2^64-1 (default 1)\n"
    "  --pi          bayescpi: the starting value of pi, 0 < P < 1 (default 0.5)\n"
    "  --fix-pi      bayescpi: hold pi at --pi\n"
    "  --fix-var     hold var_e and var_b (bayesr: var_g) at these positive values\n"
    "  --out         the files' PREFIX (default the method's name)\n"
    "  --kernel      the widest kernel to use (default the widest the processor has)\n"
    "  --quiet       print nothing on standard output\n"
    "Writes PREFIX.effects, PREFIX.gbv, PREFIX.trace (tab-separated, with a header) and\n"
    "PREFIX.json. Exit status 0 when written (and after --version), 1 when the input\n"
    "is refused or a file cannot be written (no PREFIX file is then changed), 2 after\n"
    "this text.\n";

namespace {

constexpr int64_t kMaxIterations = 1'000'000'000;

template <class Number>
std::optional<Number> whole_number(std::string_view text) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> real_number(std::string_view text) {
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// The options that stand alone; every other one takes a value.
constexpr std::string_view kFlags[] = {"--fix-pi", "--quiet"};
constexpr std::string_view kValued[] = {"--method", "--iterations", "--burn-in", "--thin", "--seed",
                                        "--pi",     "--fix-var",    "--kernel",  "--out"};

bool known(std::string_view option) {
  return std::find(std::begin(kFlags), std::end(kFlags), option) != std::end(kFlags) ||
         std::find(std::begin(kValued), std::end(kValued), option) != std::end(kValued);
}

bool takes_value(std::string_view option) {
  return std::find(std::begin(kValued), std::end(kValued), option) != std::end(kValued);
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// Applies one option; the reason when it cannot be applied.
std::string apply(std::string_view option, std::string_view value, Settings& s, bool& burn_in_given) {
  const auto count = [&](int64_t low, int64_t& into) -> std::string {
    const auto n = whole_number<int64_t>(value);
    if (!n || *n < low || *n > kMaxIterations) {
      return std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
             std::to_string(kMaxIterations) + ", not " + quoted(value);
    }
    into = *n;
    return {};
  };
  if (option == "--method") {
    if (value == "brr") s.method = Method::Brr;
    else if (value == "bayescpi") s.method = Method::BayesCpi;
    else if (value == "bayesr") s.method = Method::BayesR;
    else return "--method is bayescpi, bayesr or brr, not " + quoted(value);
    return {};
  }
  if (option == "--iterations") return count(1, s.iterations);
  if (option == "--burn-in") {
    burn_in_given = true;
    return count(0, s.burn_in);
  }
  if (option == "--thin") return count(1, s.thin);
  if (option == "--seed") {
    const auto seed = whole_number<uint64_t>(value);
    if (!seed) return "--seed takes a whole number from 0 to 18446744073709551615, not " + quoted(value);
    s.seed = *seed;
    return {};
  }
  if (option == "--pi") {
    const auto pi = real_number(value);
    if (!pi || !(*pi > 0.0 && *pi < 1.0)) return "--pi takes a probability above 0 and below 1, not " + quoted(value);
    s.pi = *pi;
    return {};
  }
  if (option == "--fix-var") {
    const size_t comma = value.find(',');
    const auto var_e = real_number(value.substr(0, comma));
    const auto var_b = comma == std::string_view::npos ? std::nullopt : real_number(value.substr(comma + 1));
    if (!var_e || !var_b || !(*var_e > 0.0) || !(*var_b > 0.0)) {
      return "--fix-var takes two positive numbers VAR_E,VAR_B, not " + quoted(value);
    }
    s.fix_var = true;
    s.var_e = *var_e;
    s.var_b = *var_b;
    return {};
  }
  if (option == "--kernel") {
    if (!isa_from_name(value)) {
      return "--kernel is portable, avx2 or avx512, not " + quoted(value);
    }
    s.kernel = std::string(value);
    return {};
  }
  if (option == "--out") {
    if (!usable_prefix(value)) return quoted(value) + " is not a PREFIX";
    s.out = std::string(value);
    return {};
  }
  if (option == "--fix-pi") s.fix_pi = true;
  if (option == "--quiet") s.quiet = true;
  return {};
}

Command command_of(Command::Kind kind, std::string error = {}) {
  Command command;
  command.kind = kind;
  command.error = std::move(error);
  return command;
}

Command usage(std::string error) { return command_of(Command::Kind::Usage, std::move(error)); }

}  // namespace

Command parse_command(std::span<const std::string_view> args) {
  if (args.size() == 1 && args[0] == "--help") return command_of(Command::Kind::Help);
  if (args.size() == 1 && args[0] == "--version") return command_of(Command::Kind::Version);
  if (args.empty()) return usage({});
  Command command = command_of(Command::Kind::Run);
  Settings& s = command.settings;
  std::set<std::string_view> given;
  bool burn_in_given = false;
  for (size_t k = 0; k < args.size(); ++k) {
    std::string_view option = args[k];
    std::optional<std::string_view> value;
    if (const size_t equals = option.find('='); option.starts_with("--") && equals != std::string_view::npos) {
      value = option.substr(equals + 1);
      option = option.substr(0, equals);
    }
    if (!option.starts_with("--")) return usage(quoted(option) + " is not an option; options begin with --");
    if (!known(option)) return usage(quoted(option) + " is not an option of snpbayes");
    if (!given.insert(option).second) return usage(std::string(option) + " is given twice");
    if (takes_value(option) && !value) {
      if (k + 1 == args.size()) return usage(std::string(option) + " needs a value");
      value = args[++k];
    }
    if (!takes_value(option) && value) return usage(std::string(option) + " takes no value");
    if (const std::string error = apply(option, value.value_or(""), s, burn_in_given); !error.empty()) {
      return usage(error);
    }
  }
  if (!given.contains("--method")) return usage("--method is needed: bayescpi, bayesr or brr");
  if (s.method != Method::BayesCpi && (given.contains("--pi") || s.fix_pi)) {
    return usage("--pi and --fix-pi are options of bayescpi only");
  }
  if (!burn_in_given) s.burn_in = s.iterations / 5;
  if (s.burn_in >= s.iterations) {
    return usage("--burn-in " + std::to_string(s.burn_in) + " leaves none of " + std::to_string(s.iterations) +
                 " iterations to keep");
  }
  if (s.out.empty()) s.out = std::string(method_name(s.method));
  return command;
}

std::string_view method_name(Method method) {
  switch (method) {
    case Method::Brr:
      return "brr";
    case Method::BayesCpi:
      return "bayescpi";
    case Method::BayesR:
      return "bayesr";
  }
  return "";
}

}  // namespace gp::bayes
