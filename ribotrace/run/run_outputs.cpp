#include "run/run_outputs.h"

#include <cstdio>
#include <string>
#include <vector>

#include "inference/node_posteriors.h"

namespace {

// The mean of the samples' parameters (the one tree's own for a summary).
ModelParams MeanParameters(const PosteriorSample& trees) {
  ModelParams mean;
  const std::vector<ParamField> fields = AllFields();
  for (const ParamField field : fields) At(mean, field) = 0.0;
  const auto n_trees = static_cast<double>(trees.samples.size());
  for (const UsedSample& used : trees.samples) {
    for (const ParamField field : fields) At(mean, field) += At(used.parameters, field) / n_trees;
  }
  return mean;
}

std::string Shortest(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The run's values as the report lists them.
void AddRunValues(ReportRun& run, const RunValues& values) {
  run.title = values.out_file;
  run.inputs = {{"data file", values.data_file},
                {"tree file", values.tree_file},
                {"parameter file", values.param_file},
                {"results", values.out_file}};
  run.mode = values.marginal ? "exact marginal posteriors" : "classic (--classic)";
  run.values = {{"is_harmonic", std::to_string(values.is_harmonic)},
                {"lambda", Shortest(values.lambda)},
                {"n_samples", std::to_string(values.n_samples)},
                {"include_data", std::to_string(values.include_data)},
                {"condition_on_pairs", std::to_string(values.condition_on_pairs)}};
  if (!values.outgroup.empty()) {
    std::string outgroup;
    for (const std::string& name : values.outgroup)
      outgroup += (outgroup.empty() ? "" : ",") + name;
    run.values.emplace_back("outgroup", outgroup);
  }
}

ReportRun ReportOfRun(const SampleAnalysis& analysis, const RunValues& values, std::int32_t seed) {
  ReportRun run;
  AddRunValues(run, values);
  run.seed = seed;
  const TreeSample& sample = analysis.sample();
  if (sample.from_summary) {
    run.convergence = sample.convergence;
  } else {
    run.convergence = ConvergenceRows(*analysis.convergence());
    run.mode = "exact marginal posteriors over " + std::to_string(analysis.n_trees()) +
               " samples of MrBayes's trees and parameters: each clade's posteriors averaged "
               "over the trees that hold it, on their majority-rule consensus (means of the "
               "samples below)";
    run.values.emplace_back("trees", std::to_string(analysis.n_trees()));
  }
  run.parameters = MeanParameters(sample.trees);
  run.log_likelihood = analysis.log_likelihood();
  return run;
}

RunSummary SummaryOfRun(const SampleAnalysis& analysis, const RunValues& values) {
  RunSummary summary{
      analysis.scaled_length(), values.n_samples, values.lambda, values.is_harmonic, {}};
  // The summary names the rate when the samples' gaps follow it.
  if (values.gaps_on_tree && values.gap_model == GapModel::kTwoState) {
    summary.values.emplace_back("gap_rate", analysis.gap_rate());
  }
  if (values.gaps_on_tree && values.gap_model == GapModel::kIndel) {
    summary.values.emplace_back("insertion_rate", analysis.insertion_rate());
    summary.values.emplace_back("deletion_rate", analysis.deletion_rate());
  }
  if (analysis.convergence()) ReportConvergence(*analysis.convergence(), summary);
  if (values.fitted) {
    const double free = values.fitted->n_free;
    summary.values.emplace_back("fit_log_likelihood", values.fitted->log_likelihood);
    summary.values.emplace_back("fit_free_parameters", free);
    summary.values.emplace_back("fit_AIC", 2.0 * free - 2.0 * values.fitted->log_likelihood);
  }
  return summary;
}

}  // namespace

OutputChoice ChosenOutputs(const RunValues& values, const TreeSample& sample) {
  return {values.state_tables, values.report, values.changes, !sample.from_summary};
}

void HandUnits(const SampleAnalysis& analysis, OutputWriters& outputs) {
  const ResultUnits& units = analysis.units();
  const RunData& data = analysis.data();
  const PosteriorLayout layout(data.alignment.structure, data.SS);
  for (const std::size_t j : units.table_order()) {
    const std::vector<double> p_gap = analysis.means().Gaps(j);
    outputs.Unit({units.name(j), units.report_index(j),
                  NodePosteriors(analysis.means().Posteriors(j).data(), layout), p_gap});
  }
}

RunResults GatherResults(const SampleAnalysis& analysis, const RunValues& values,
                         std::int32_t seed) {
  const ResultUnits& units = analysis.units();
  RunResults results;
  results.summary = SummaryOfRun(analysis, values);
  results.tree_text = units.tree_text();
  if (units.over_clades()) results.clades = units.clades().clades;
  if (analysis.has_changes()) {
    const BranchChangeMeans& means = analysis.changes();
    std::vector<ChangeBranch>& branches = results.branches.emplace();
    for (std::size_t b = 0; b < means.size(); ++b) {
      branches.push_back({means.name(b), means.length(b), means.figures(b), means.present(b)});
    }
  }
  if (values.report) {
    results.report = ReportOfRun(analysis, values, seed);
    results.report_tree = units.report_tree();
    results.sampled_pairs = &*analysis.pair_counts();
  }
  return results;
}
