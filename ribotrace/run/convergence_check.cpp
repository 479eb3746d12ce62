#include "run/convergence_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <tuple>

#include "inference/convergence.h"

namespace {

constexpr double kMinEss = 100.0;
constexpr double kMaxPsrf = 1.05;
constexpr double kMaxAsdsf = 0.05;

// Each run's used samples in order, one series per quantity: the
// log-likelihood first, then every parameter.
std::vector<std::vector<std::vector<double>>> SeriesByRun(const PosteriorSample& sample,
                                                          int n_runs) {
  std::vector<std::vector<std::vector<double>>> runs(static_cast<std::size_t>(n_runs));
  for (const UsedSample& used : sample.samples) {
    std::vector<std::vector<double>>& series = runs[static_cast<std::size_t>(used.run)];
    const std::vector<double> values = AllValues(used.parameters);
    series.resize(1 + values.size());
    series[0].push_back(used.mrbayes_log_likelihood);
    for (std::size_t p = 0; p < values.size(); ++p) series[1 + p].push_back(values[p]);
  }
  return runs;
}

}  // namespace

ConvergenceFigures MeasureConvergence(const PosteriorSample& sample,
                                      const std::vector<CladeRecord>& clades, int n_taxa) {
  ConvergenceFigures figures;
  figures.n_runs = static_cast<int>(sample.tree_files.size());
  const auto runs = SeriesByRun(sample, figures.n_runs);
  figures.ess = std::numeric_limits<double>::infinity();
  for (const auto& run : runs) figures.ess = std::min(figures.ess, EffectiveSampleSize(run[0]));

  figures.psrf = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t q = 0; q < runs.front().size(); ++q) {
    std::vector<std::vector<double>> across;
    for (const auto& run : runs) across.push_back(run[q]);
    const double psrf = PotentialScaleReduction(across);
    if (std::isfinite(psrf) && !(psrf <= figures.psrf)) figures.psrf = psrf;
  }

  std::vector<double> run_sizes(runs.size());
  for (std::size_t r = 0; r < runs.size(); ++r)
    run_sizes[r] = static_cast<double>(runs[r][0].size());
  std::vector<std::vector<double>> splits;
  for (const CladeRecord& clade : clades) {
    const int size = clade.taxa.Count();
    if (size < 2 || size > n_taxa - 2) continue;  // a tip's or the root's: in every tree
    std::vector<double> frequencies(runs.size(), 0.0);
    for (const int tree : clade.trees) {
      frequencies[static_cast<std::size_t>(sample.samples[static_cast<std::size_t>(tree)].run)] +=
          1.0;
    }
    for (std::size_t r = 0; r < runs.size(); ++r) frequencies[r] /= std::max(run_sizes[r], 1.0);
    splits.push_back(std::move(frequencies));
  }
  figures.asdsf = AverageSplitDeviation(splits);
  return figures;
}

namespace {

std::string Shown(double value, const char* format) {
  if (!std::isfinite(value)) return "one run: cannot be checked";
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ConvergenceRows(
    const ConvergenceFigures& figures) {
  return {{"ESS of the log-likelihood (mark 100)", Shown(figures.ess, "%.1f")},
          {"largest PSRF (mark 1.05)", Shown(figures.psrf, "%.3f")},
          {"ASDSF (mark 0.05)", Shown(figures.asdsf, "%.4f")}};
}

std::vector<std::pair<std::string, std::string>> ConvergenceRows(
    const SummaryDiagnostics& diagnostics) {
  return {{"smallest ESS in the .pstat (mark 100)", Shown(diagnostics.min_ess, "%.1f")},
          {"largest PSRF in the .pstat (mark 1.05)", Shown(diagnostics.max_psrf, "%.3f")}};
}

void WarnOnSummaryConvergence(const SummaryDiagnostics& diagnostics, const std::string& file) {
  if (std::isnan(diagnostics.max_psrf)) {
    std::fprintf(stderr,
                 "Warning: '%s' summarises one MrBayes run, so whether it has converged cannot "
                 "be checked; run MrBayes with nruns=2 or more.\n",
                 file.c_str());
  }
  std::string missed;
  char figure[64];
  if (diagnostics.min_ess < kMinEss) {
    std::snprintf(figure, sizeof figure, "smallest ESS %.1f (below %g)", diagnostics.min_ess,
                  kMinEss);
    missed += figure;
  }
  if (diagnostics.max_psrf > kMaxPsrf) {
    std::snprintf(figure, sizeof figure, "%slargest PSRF %.3f (above %g)",
                  missed.empty() ? "" : ", ", diagnostics.max_psrf, kMaxPsrf);
    missed += figure;
  }
  if (missed.empty()) return;
  std::fprintf(stderr,
               "Warning: MrBayes's runs have not converged ('%s': %s). The tree and parameters "
               "do not yet represent the posterior; run MrBayes longer (a larger ngen).\n",
               file.c_str(), missed.c_str());
}

void ReportConvergence(const ConvergenceFigures& figures, RunSummary& summary) {
  summary.values.emplace_back("ESS_LnL", figures.ess);
  if (figures.n_runs < 2) {
    std::fputs(
        "Warning: The posterior sample comes from one MrBayes run, so whether it has "
        "converged cannot be checked; run MrBayes with nruns=2 or more.\n",
        stderr);
  } else {
    summary.values.emplace_back("PSRF_max", figures.psrf);
    summary.values.emplace_back("ASDSF", figures.asdsf);
  }
  std::string missed;
  char figure[96];
  if (figures.ess < kMinEss) {
    std::snprintf(figure, sizeof figure, "%sESS of the log-likelihood %.1f (below %g)",
                  missed.empty() ? "" : ", ", figures.ess, kMinEss);
    missed += figure;
  }
  if (figures.n_runs >= 2 && figures.psrf > kMaxPsrf) {
    std::snprintf(figure, sizeof figure, "%slargest PSRF %.3f (above %g)",
                  missed.empty() ? "" : ", ", figures.psrf, kMaxPsrf);
    missed += figure;
  }
  if (figures.n_runs >= 2 && figures.asdsf > kMaxAsdsf) {
    std::snprintf(figure, sizeof figure, "%sASDSF %.3f (above %g)", missed.empty() ? "" : ", ",
                  figures.asdsf, kMaxAsdsf);
    missed += figure;
  }
  if (missed.empty()) return;
  std::fprintf(stderr,
               "Warning: MrBayes's runs have not converged over the samples used: %s. The "
               "results average over a sample that does not yet represent the posterior; run "
               "MrBayes longer (a larger ngen).\n",
               missed.c_str());
}
