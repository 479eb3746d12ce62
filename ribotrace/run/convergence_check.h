// The convergence of the MrBayes runs behind a run over their posterior
// sample: the figures, and a warning when they miss the usual marks.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "io/parameter_file.h"
#include "io/posterior_sample.h"
#include "io/run_results.h"
#include "tree/clade_summary.h"

struct ConvergenceFigures {
  double ess = 0.0;    // of the log-likelihood, the smallest over the runs
  double psrf = 0.0;   // the largest over the log-likelihood and every parameter (NaN: one run)
  double asdsf = 0.0;  // over the splits seen in 10% of some run's trees (NaN: one run)
  int n_runs = 0;
};

// From the used samples and every clade of their trees (rooted alike, so
// that each clade is a split).
ConvergenceFigures MeasureConvergence(const PosteriorSample& sample,
                                      const std::vector<CladeRecord>& clades, int n_taxa);

// Appends the figures to the summary (ESS_LnL, PSRF_max, ASDSF) and warns on
// standard error when they miss MrBayes's usual marks (ESS 100, PSRF 1.05,
// ASDSF 0.05), or when one run cannot show convergence at all.
void ReportConvergence(const ConvergenceFigures& figures, RunSummary& summary);

// The figures as the report's rows (figure, value).
std::vector<std::pair<std::string, std::string>> ConvergenceRows(const ConvergenceFigures& figures);
std::vector<std::pair<std::string, std::string>> ConvergenceRows(
    const SummaryDiagnostics& diagnostics);

// The same warnings from the figures MrBayes wrote in the parameter
// summary `file`.
void WarnOnSummaryConvergence(const SummaryDiagnostics& diagnostics, const std::string& file);
