#include "run/run_outputs.h"

#include <string>
#include <vector>

#include "inference/node_posteriors.h"
#include "inference/likelihood_blocks.h"
#include "io/change_tables.h"
#include "io/clade_output.h"
#include "run/node_files.h"
#include "run/run_report.h"

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

RunReport GatherReport(const SampleAnalysis& analysis, const RunValues& values, std::int32_t seed) {
  const ResultUnits& units = analysis.units();
  std::vector<ReportNodeSource> nodes;
  for (const std::size_t j : units.table_order()) {
    nodes.push_back(
        {units.report_index(j), analysis.means().Posteriors(j).data(), analysis.means().Gaps(j)});
  }
  const RunData& data = analysis.data();
  RunReport report(data.alignment, data.SS, units.report_tree(), nodes, values, seed);
  ReportData& page = report.data();
  const TreeSample& sample = analysis.sample();
  if (sample.from_summary) {
    page.convergence = sample.convergence;
  } else {
    page.convergence = ConvergenceRows(*analysis.convergence());
    page.mode = "exact marginal posteriors over " + std::to_string(analysis.n_trees()) +
                " samples of MrBayes's trees and parameters: each clade's posteriors averaged "
                "over the trees that hold it, on their majority-rule consensus (means of the "
                "samples below)";
    page.values.emplace_back("trees", std::to_string(analysis.n_trees()));
  }
  page.parameters = MeanParameters(sample.trees);
  page.log_likelihood = analysis.log_likelihood();
  return report;
}

}  // namespace

void WriteSummary(const SampleAnalysis& analysis, const RunValues& values, ResultsFiles& files) {
  WriteResultsSummary(files, analysis.scaled_length(), values.n_samples, values.lambda,
                      values.is_harmonic);
  // The summary names the rate when the samples' gaps follow it.
  if (values.gaps_on_tree) WriteSummaryValue(files, "gap_rate", analysis.gap_rate());
  if (analysis.convergence()) ReportConvergence(*analysis.convergence(), files);
}

std::optional<RunReport> WriteUnitFiles(const SampleAnalysis& analysis, const RunValues& values,
                                        std::int32_t seed, ResultsFiles& files) {
  const ResultUnits& units = analysis.units();
  const RunData& data = analysis.data();
  files.tree.Write(units.tree_text());
  if (units.over_clades()) {
    files.clades->Write(CladeListText(units.clades().clades, data.alignment.Names));
  }
  const PosteriorLayout layout(data.alignment.structure, data.SS);
  NodeRecordWriter writer(files);
  for (const std::size_t j : units.table_order()) {
    writer.Write(NodePosteriors(analysis.means().Posteriors(j).data(), layout), units.name(j),
                 analysis.means().Gaps(j));
  }
  if (files.report == nullptr) return std::nullopt;
  return GatherReport(analysis, values, seed);
}

void WriteReport(RunReport& report, const SampleAnalysis& analysis, SafeOutputFile& file) {
  report.sampled_pairs() = *analysis.pair_counts();
  report.Write(file);
}

void WriteChangeTables(const SampleAnalysis& analysis, ResultsFiles& files) {
  const BranchChangeMeans& means = analysis.changes();
  std::vector<ChangeBranch> branches;
  for (std::size_t b = 0; b < means.size(); ++b) {
    branches.push_back({means.name(b), means.length(b), means.figures(b), means.present(b)});
  }
  const std::vector<int>& structure = analysis.data().alignment.structure;
  const BlockLayout layout(structure);
  const PosteriorLayout columns(structure, analysis.data().SS);
  std::vector<int> partners(columns.n_sites());
  for (std::size_t c = 0; c < partners.size(); ++c) partners[c] = columns.Partner(c);
  WritePairChanges(branches, layout, partners, *files.changes);
  WriteBranchSums(branches, layout, *files.branches);
}
