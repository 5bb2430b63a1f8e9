#include "bayes/snpbayes.hpp"

#include <chrono>
#include <new>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "bayes/chain.hpp"
#include "bayes/interrupt.hpp"
#include "bayes/options.hpp"
#include "bayes/panel_matrix.hpp"
#include "bayes/report.hpp"
#include "bayes/sampler.hpp"
#include "bayes/study.hpp"
#include "common/isa.hpp"
#include "common/output_files.hpp"
#include "common/paths.hpp"
#include "common/refusal.hpp"
#include "estimator/genomic_values.hpp"
#include "estimator/kolber.hpp"
#include "estimator/lhs_product.hpp"

namespace gp::bayes {

namespace {

// The cap of --kernel while a run lasts: in-process runs follow each other.
class KernelCap {
 public:
  explicit KernelCap(const std::string& name) : before_(isa_cap()) {
    if (const std::optional<Isa> isa = isa_from_name(name)) cap_isa(*isa);
  }
  ~KernelCap() { cap_isa(before_); }
  KernelCap(const KernelCap&) = delete;
  KernelCap& operator=(const KernelCap&) = delete;

 private:
  Isa before_;
};

// A study the sampler cannot work on, in words.
struct Unusable {
  std::string text;
};

void require_usable(const TrainingSet& set) {
  if (set.y.size() < 2) {
    throw Unusable{"SNP_setup: nrec = " + std::to_string(set.y.size()) + ", the sampler needs 2 training records or more"};
  }
  if (!(sample_variance(set.y) > 0.0)) {
    throw Unusable{"SNP_data: y is " + number("%g", set.y[0]) + " in every training record, nothing to explain"};
  }
}

// The progress lines: after each further tenth of the iterations (at most
// one a second) and every 30 seconds, with the processor time per iteration
// and the wall time left.
class Progress {
 public:
  Progress(std::ostream& out, bool quiet, int64_t iterations)
      : out_(out), quiet_(quiet), iterations_(iterations), start_cpu_(cpu_seconds()), start_(Clock::now()),
        last_(start_) {}

  void after(int64_t done) {
    if (quiet_) return;
    const auto now = Clock::now();
    const bool tenth = done * 10 / iterations_ > (done - 1) * 10 / iterations_;
    if (now - last_ < std::chrono::seconds(tenth ? 1 : 30) || done == iterations_) return;
    last_ = now;
    const double wall = std::chrono::duration<double>(now - start_).count();
    out_ << "  iteration " << done << " of " << iterations_ << ", " << number("%.2f", ms_per_iteration(done))
         << " ms per iteration, " << number("%.0f", wall / static_cast<double>(done) * static_cast<double>(iterations_ - done))
         << " s left" << std::endl;
  }

  double ms_per_iteration(int64_t done) const {
    return (cpu_seconds() - start_cpu_) * 1000.0 / static_cast<double>(done);
  }

 private:
  using Clock = std::chrono::steady_clock;
  std::ostream& out_;
  bool quiet_;
  int64_t iterations_;
  double start_cpu_;
  Clock::time_point start_, last_;
};

// The genomic values of a matrix's records by kolber's rule, from the
// posterior mean effects `sol` (sol[0], the mean, is left out).
std::vector<float> genomic_values_of(const DesignMatrix& x, std::span<const float> sol) {
  std::vector<float> g(static_cast<size_t>(row_sums_size(x)));
  genomic_values(x, sol, g);
  g.resize(static_cast<size_t>(x.rows));
  return g;
}

// The chain: every iteration, kept as chain.hpp says; the processor
// milliseconds per iteration.
double sample(const Settings& settings, Sampler& sampler, Chain& chain, std::ostream& out) {
  Progress progress(out, settings.quiet, settings.iterations);
  for (int64_t iteration = 1; iteration <= settings.iterations; ++iteration) {
    check_interrupt();
    sampler.iterate();
    chain.add(iteration, sampler);
    progress.after(iteration);
  }
  const double ms_per_iteration = progress.ms_per_iteration(settings.iterations);
  if (!settings.quiet) {
    out << "  " << settings.iterations << " iterations, " << number("%.2f", ms_per_iteration)
        << " ms of processor time per iteration" << std::endl;
  }
  return ms_per_iteration;
}

// PREFIX.gbv: the training records' values from their matrix, then the
// independent records' a group at a time as they are read, so that set is
// never held whole; each set's moments on the way.
void write_gbv(TemporaryFile& file, Study& study, const TrainingSet& train, std::span<const float> sol,
               RunningMoments& train_moments, RunningMoments& indep_moments) {
  write_gbv_header(file);
  const std::vector<float> g = genomic_values_of(train.x, sol);
  for (size_t i = 0; i < g.size(); ++i) train_moments.add(train.y[i], train.s_bv[i], g[i]);
  write_gbv_lines(file, "train", 1, train.y, train.s_bv, g);
  DesignMatrix group = zero_codes(Study::kGroupRecords, train.x.cols);
  float y[Study::kGroupRecords], s_bv[Study::kGroupRecords];
  int64_t first = int64_t{study.nrec()} + 1;
  for (int64_t count; check_interrupt(), (count = study.read_independent(group, y, s_bv)) > 0; first += count) {
    const std::vector<float> g_group = genomic_values_of(group, sol);
    for (int64_t r = 0; r < count; ++r) indep_moments.add(y[r], s_bv[r], g_group[static_cast<size_t>(r)]);
    const auto n = static_cast<size_t>(count);
    write_gbv_lines(file, "indep", first, {y, n}, {s_bv, n}, {g_group.data(), n});
  }
}

void run(const Settings& settings, const std::string& directory, std::ostream& out) {
  const double start_cpu = cpu_seconds();
  Study study(directory);
  TrainingSet train = study.read_training();
  require_usable(train);
  const PanelKernel& kernel = panel_kernel();
  Chain chain(settings, train.x.cols);
  Priors priors;
  int64_t informative = 0;
  double ms_per_iteration = 0.0;
  {
    // The sampler reads the matrix's tiles transposed, in the same memory;
    // the genomic values read them as stored.
    PanelMatrix panels(std::move(train.x));
    Sampler sampler(panels, train.y, settings, kernel);
    if (!settings.quiet) {
      out << "snpbayes: " << method_name(settings.method) << ", " << study.n_snp() << " SNPs x " << study.nrec()
          << " training records, " << settings.iterations << " iterations (burn-in " << settings.burn_in
          << ", thin " << settings.thin << "), seed " << settings.seed << ", kernel " << kernel.name << std::endl;
    }
    ms_per_iteration = sample(settings, sampler, chain, out);
    priors = sampler.priors();
    informative = sampler.informative();
    train.x = panels.release();
  }

  std::vector<float> sol(static_cast<size_t>(train.x.cols));
  for (int64_t j = 0; j < train.x.cols; ++j) sol[static_cast<size_t>(j)] = static_cast<float>(chain.mean(j));
  OutputFiles files(in_directory(directory, settings.out), settings.out, "snpbayes");
  files.write(".effects", [&](TemporaryFile& file) { write_effects(file, settings, chain, study.snp_val()); });
  RunningMoments train_moments, indep_moments;
  files.write(".gbv", [&](TemporaryFile& file) { write_gbv(file, study, train, sol, train_moments, indep_moments); });
  files.write(".trace", [&](TemporaryFile& file) { write_trace(file, settings, chain); });
  const Outcome outcome{.settings = settings,
                        .chain = chain,
                        .priors = priors,
                        .n_snp = study.n_snp(),
                        .nrec = study.nrec(),
                        .informative = informative,
                        .ess = trace_ess(settings, chain),
                        .train = summarise(train_moments),
                        .indep = summarise(indep_moments),
                        .kernel = kernel.name,
                        .seconds = cpu_seconds() - start_cpu,
                        .ms_per_iteration = ms_per_iteration};
  files.write(".json", [&](TemporaryFile& file) { file.append(json_text(outcome)); });
  check_interrupt();
  files.rename_all();
  if (!settings.quiet) print_report(out, outcome);
}

}  // namespace

int run_snpbayes(std::span<const std::string_view> args, const std::string& directory, std::ostream& out,
                 std::ostream& err) {
  const Command command = parse_command(args);
  switch (command.kind) {
    case Command::Kind::Help:
      out << kUsageText;
      return kUsage;
    case Command::Kind::Version:
      out << kVersionText;
      return kWritten;
    case Command::Kind::Usage:
      if (!command.error.empty()) err << "snpbayes: " << command.error << "\n";
      err << kUsageText;
      return kUsage;
    case Command::Kind::Run:
      break;
  }
  const InterruptGuard guard;
  const KernelCap cap(command.settings.kernel);
  try {
    run(command.settings, directory, out);
  } catch (const Refusal& refusal) {
    err << refusal_text(refusal, "snpbayes") << '\n';
    return kRefused;
  } catch (const Unusable& unusable) {
    err << "snpbayes: " << unusable.text << '\n';
    return kRefused;
  } catch (const Interrupted& interrupted) {
    return kSignalled + interrupted.signal;
  } catch (const std::bad_alloc&) {
    err << "snpbayes: not enough memory for " << command.settings.iterations << " iterations kept every "
        << command.settings.thin << " in the trace, and the study\n";
    return kRefused;
  }
  return kWritten;
}

}  // namespace gp::bayes
