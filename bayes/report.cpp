#include "bayes/report.hpp"

#include <cmath>
#include <cstdio>

#include "bayes/ess.hpp"
#include "common/format.hpp"

namespace gp::bayes {

namespace {

// A column of the trace: its name and its value in a row.
struct TraceColumn {
  std::string name;
  double (*value)(const HyperParameters&);
};

std::vector<TraceColumn> trace_columns(Method method) {
  std::vector<TraceColumn> columns = {
      {"mu", [](const HyperParameters& h) { return h.mu; }},
      {"var_e", [](const HyperParameters& h) { return h.var_e; }},
      {method == Method::BayesR ? "var_g" : "var_b", [](const HyperParameters& h) { return h.var_b; }},
  };
  if (method == Method::BayesCpi) columns.push_back({"pi", [](const HyperParameters& h) { return h.pi; }});
  if (method == Method::BayesR) {
    columns.push_back({"p_class0", [](const HyperParameters& h) { return h.proportions[0]; }});
    columns.push_back({"p_class1", [](const HyperParameters& h) { return h.proportions[1]; }});
    columns.push_back({"p_class2", [](const HyperParameters& h) { return h.proportions[2]; }});
    columns.push_back({"p_class3", [](const HyperParameters& h) { return h.proportions[3]; }});
  }
  columns.push_back({"snps_in_model", [](const HyperParameters& h) { return h.in_model; }});
  return columns;
}

// JSON has no NaN or infinity: null. Floats with the digits of a float.
template <class Real>
std::string json_number(Real value) {
  if (!std::isfinite(value)) return "null";
  char text[40];
  return std::string(text, put_real(text, value));
}

// A time, to the microsecond.
std::string json_time(double value) { return number("%.6f", value); }

std::string json_number(int64_t value) { return std::to_string(value); }
std::string json_string(std::string_view text) { return "\"" + std::string(text) + "\""; }

std::string json_object(const std::vector<NamedValue>& values) {
  std::string text = "{";
  for (size_t k = 0; k < values.size(); ++k) {
    text += (k == 0 ? "" : ", ") + json_string(values[k].name) + ": " + json_number(values[k].value);
  }
  return text + "}";
}

std::string set_object(const SetSummary& s) {
  const char* names[] = {"y", "s_bv", "g_bv"};
  std::string text = "{";
  for (int k = 0; k < 3; ++k) text += std::string(k == 0 ? "" : ", ") + "\"mean_" + names[k] + "\": " + json_number(s.stats.mean[k]);
  for (int k = 0; k < 3; ++k) text += std::string(", ") + "\"var_" + names[k] + "\": " + json_number(s.stats.var[k]);
  return text + "}";
}

}  // namespace

std::string number(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

SetSummary summarise(const RunningMoments& moments) {
  SetSummary summary{.stats = moments.finish()};
  const SetStatistics& s = summary.stats;
  summary.slope = static_cast<double>(s.corr) * std::sqrt(static_cast<double>(s.var[1])) /
                  std::sqrt(static_cast<double>(s.var[2]));
  return summary;
}

void write_effects(TemporaryFile& file, const Settings& settings, const Chain& chain, std::span<const float> snp_val) {
  const bool classes = settings.method != Method::Brr;
  const bool mixture = settings.method == Method::BayesR;
  std::string header = "snp\tsim_effect\teffect\tsd";
  if (classes) header += "\tp_nonzero";
  if (mixture) header += "\tp_class0\tp_class1\tp_class2\tp_class3";
  file.append(header + "\n");
  file.lines(1, static_cast<int64_t>(snp_val.size()), [&](char* out, int64_t j) {
    out = put(put_real(put(put_int(out, j), "\t"), snp_val[static_cast<size_t>(j - 1)]), "\t");
    out = put_real(put(put_real(out, chain.mean(j)), "\t"), chain.sd(j));
    if (classes) out = put_real(put(out, "\t"), chain.nonzero_share(j));
    for (int k = 0; mixture && k < kClasses; ++k) out = put_real(put(out, "\t"), chain.class_share(j, k));
    return put(out, "\n");
  });
}

void write_gbv_header(TemporaryFile& file) { file.append(std::string_view("set\trecord\ty\ts_bv\tg_bv\n")); }

void write_gbv_lines(TemporaryFile& file, std::string_view set, int64_t first_record, std::span<const float> y,
                     std::span<const float> s_bv, std::span<const float> g_bv) {
  file.lines(0, static_cast<int64_t>(y.size()) - 1, [&](char* out, int64_t r) {
    const size_t i = static_cast<size_t>(r);
    out = put(put_int(put(put(out, set), "\t"), first_record + r), "\t");
    out = put(put_real(put(put_real(out, y[i]), "\t"), s_bv[i]), "\t");
    return put(put_real(out, g_bv[i]), "\n");
  });
}

void write_trace(TemporaryFile& file, const Settings& settings, const Chain& chain) {
  const std::vector<TraceColumn> columns = trace_columns(settings.method);
  std::string header = "iteration";
  for (const TraceColumn& column : columns) header += "\t" + column.name;
  file.append(header + "\n");
  const auto& rows = chain.trace();
  file.lines(0, static_cast<int64_t>(rows.size()) - 1, [&](char* out, int64_t r) {
    const TraceRow& row = rows[static_cast<size_t>(r)];
    out = put_int(out, row.iteration);
    for (const TraceColumn& column : columns) out = put_real(put(out, "\t"), column.value(row.values));
    return put(out, "\n");
  });
}

std::vector<NamedValue> trace_ess(const Settings& settings, const Chain& chain) {
  std::vector<NamedValue> ess;
  std::vector<double> values(chain.trace().size());
  for (const TraceColumn& column : trace_columns(settings.method)) {
    for (size_t r = 0; r < values.size(); ++r) values[r] = column.value(chain.trace()[r].values);
    const double n = effective_sample_size(values);
    if (std::isfinite(n)) ess.push_back({column.name, n});
  }
  return ess;
}

std::string json_text(const Outcome& o) {
  const Settings& s = o.settings;
  const HyperParameters mean = o.chain.means();
  const std::vector<NamedValue>& ess = o.ess;
  double smallest = NAN;
  for (const NamedValue& v : ess) smallest = std::isnan(smallest) || v.value < smallest ? v.value : smallest;

  std::vector<std::pair<std::string, std::string>> keys = {
      {"program", json_string("snpbayes")},
      {"method", json_string(method_name(s.method))},
      {"seed", std::to_string(s.seed)},
      {"iterations", json_number(s.iterations)},
      {"burn_in", json_number(s.burn_in)},
      {"thin", json_number(s.thin)},
      {"samples", json_number(o.chain.samples())},
      {"kept", json_number(static_cast<int64_t>(o.chain.trace().size()))},
      {"n_snp", json_number(int64_t{o.n_snp})},
      {"nrec", json_number(int64_t{o.nrec})},
      {"informative_snps", json_number(o.informative)},
      {"fix_var", s.fix_var ? "true" : "false"},
      {"prior_df", json_number(Priors::kDf)},
      {"prior_r2", json_number(Priors::kR2)},
      {"prior_scale_var_e", json_number(o.priors.scale_e)},
      {s.method == Method::BayesR ? "prior_scale_var_g" : "prior_scale_var_b", json_number(o.priors.scale_b)},
      {"mu", json_number(mean.mu)},
      {"var_e", json_number(mean.var_e)},
      {s.method == Method::BayesR ? "var_g" : "var_b", json_number(mean.var_b)},
  };
  if (s.method == Method::Brr) keys.push_back({"ratio", json_number(mean.var_e / mean.var_b)});
  if (s.method == Method::BayesCpi) {
    keys.push_back({"pi", json_number(mean.pi)});
    keys.push_back({"pi_start", json_number(s.pi)});
    keys.push_back({"fix_pi", s.fix_pi ? "true" : "false"});
  }
  if (s.method == Method::BayesR) {
    std::string list = "[";
    for (int k = 0; k < kClasses; ++k) list += (k == 0 ? "" : ", ") + json_number(mean.proportions[k]);
    keys.push_back({"proportions", list + "]"});
    list = "[";
    for (int k = 0; k < kClasses; ++k) list += (k == 0 ? "" : ", ") + json_number(kGamma[k]);
    keys.push_back({"gamma", list + "]"});
  }
  keys.push_back({"snps_in_model", json_number(mean.in_model)});
  keys.push_back({"ess", json_object(ess)});
  keys.push_back({"ess_min", json_number(smallest)});
  keys.push_back({"acc_train", json_number(o.train.stats.corr)});
  keys.push_back({"acc_indep", json_number(o.indep.stats.corr)});
  keys.push_back({"slope_train", json_number(o.train.slope)});
  keys.push_back({"slope_indep", json_number(o.indep.slope)});
  keys.push_back({"train", set_object(o.train)});
  keys.push_back({"indep", set_object(o.indep)});
  keys.push_back({"kernel", json_string(o.kernel)});
  keys.push_back({"seconds", json_time(o.seconds)});
  keys.push_back({"ms_per_iteration", json_time(o.ms_per_iteration)});

  std::string text = "{\n";
  for (size_t k = 0; k < keys.size(); ++k) {
    text += "  " + json_string(keys[k].first) + ": " + keys[k].second + (k + 1 < keys.size() ? ",\n" : "\n");
  }
  return text + "}\n";
}

namespace {

// One set's block, as kolber prints it.
void print_set(std::ostream& out, std::string_view heading, const SetSummary& summary) {
  const auto fixed = [](float value, int width, int decimals) {
    char field[kMaxFixedChars];
    return std::string(field, write_fixed(field, value, width, decimals));
  };
  const SetStatistics& s = summary.stats;
  out << "\n\n" << heading << "\n                    y           simulated_bv     genomic_bv\n";
  out << " mean    " << fixed(s.mean[0], 15, 2) << fixed(s.mean[1], 15, 2) << fixed(s.mean[2], 15, 2) << "\n";
  out << " var     " << fixed(s.var[0], 15, 2) << fixed(s.var[1], 15, 2) << fixed(s.var[2], 15, 2) << "\n";
  out << " corr(s_bv,g_bv):" << fixed(s.corr, 5, 3) << "\n";
}

}  // namespace

void print_report(std::ostream& out, const Outcome& o) {
  const Settings& s = o.settings;
  print_set(out, "Results for training data set", o.train);
  print_set(out, "Results for independent data set", o.indep);
  const HyperParameters mean = o.chain.means();
  out << "\nPosterior means: var_e " << number("%.6g", mean.var_e)
      << (s.method == Method::BayesR ? ", var_g " : ", var_b ") << number("%.6g", mean.var_b);
  if (s.method == Method::BayesCpi) out << ", pi " << number("%.6g", mean.pi);
  out << ", SNPs in the model " << number("%.1f", mean.in_model) << "\n";
  const std::vector<NamedValue>& ess = o.ess;
  if (!ess.empty()) {
    out << "Effective sample sizes of the " << o.chain.trace().size() << " kept samples:";
    for (const NamedValue& v : ess) out << " " << v.name << " " << number("%.0f", v.value);
    out << "\n";
  }
  out << "Finished in " << number("%.2f", o.seconds) << " processor seconds: " << s.out << ".effects .gbv .trace .json"
      << std::endl;
}

}  // namespace gp::bayes
