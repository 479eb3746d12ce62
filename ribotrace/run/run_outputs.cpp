#include "run/run_outputs.h"

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
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
  if (values.gaps_on_tree && values.gap_model == GapModel::kTwoState) {
    WriteSummaryValue(files, "gap_rate", analysis.gap_rate());
  }
  if (values.gaps_on_tree && values.gap_model == GapModel::kIndel) {
    WriteSummaryValue(files, "insertion_rate", analysis.insertion_rate());
    WriteSummaryValue(files, "deletion_rate", analysis.deletion_rate());
  }
  if (analysis.convergence()) ReportConvergence(*analysis.convergence(), files);
  if (values.fitted) {
    const double free = values.fitted->n_free;
    WriteSummaryValue(files, "fit_log_likelihood", values.fitted->log_likelihood);
    WriteSummaryValue(files, "fit_free_parameters", free);
    WriteSummaryValue(files, "fit_AIC", 2.0 * free - 2.0 * values.fitted->log_likelihood);
  }
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

namespace {

// Each branch's expected compensatory changes, over the whole branch and
// per helix, for the page's tree (matched by name: the page's tree names
// its nodes as the tables do) and its list of the busiest branches.
ReportChanges ChangesForReport(const BranchChangeMeans& changes, const ReportData& data,
                               const BlockLayout& layout) {
  constexpr std::size_t kListed = 5;
  std::map<std::string_view, int> index_of;
  for (std::size_t i = 0; i < data.tree.size(); ++i)
    index_of[data.tree[i].name] = static_cast<int>(i);
  std::vector<int> helix_of(data.partners.size(), -1);
  for (std::size_t h = 0; h < data.helices.size(); ++h) {
    for (int k = 0; k < data.helices[h].n_pairs; ++k) {
      helix_of[static_cast<std::size_t>(data.helices[h].first5 + k)] = static_cast<int>(h);
    }
  }
  ReportChanges report{std::vector<double>(data.tree.size(), -1.0),
                       std::vector<std::vector<std::pair<int, double>>>(data.helices.size())};
  for (std::size_t branch = 0; branch < changes.size(); ++branch) {
    const auto found = index_of.find(changes.name(branch));
    if (found == index_of.end()) continue;
    std::vector<double> by_helix(data.helices.size(), 0.0);
    for (int b = 0; b < layout.n_blocks(); ++b) {
      const int helix = helix_of[static_cast<std::size_t>(layout.Column(b))];
      if (!layout.IsDoublet(b) || helix < 0) continue;
      const auto block = static_cast<std::size_t>(b);
      by_helix[static_cast<std::size_t>(helix)] +=
          changes.figures(branch)[block].p_cbc * changes.present(branch)[block];
    }
    double total = 0.0;
    for (std::size_t h = 0; h < by_helix.size(); ++h) {
      total += by_helix[h];
      report.helix_top[h].emplace_back(found->second, by_helix[h]);
    }
    report.branch_cbc[static_cast<std::size_t>(found->second)] = total;
  }
  for (auto& top : report.helix_top) {
    std::stable_sort(top.begin(), top.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    // A branch with next to no expected change in the helix is no lead.
    std::erase_if(top, [](const auto& entry) { return entry.second < 0.005; });
    top.resize(std::min(top.size(), kListed));
  }
  return report;
}

}  // namespace

void WriteReport(RunReport& report, const SampleAnalysis& analysis, SafeOutputFile& file) {
  report.sampled_pairs() = *analysis.pair_counts();
  if (analysis.has_changes()) {
    report.data().changes = ChangesForReport(analysis.changes(), report.data(),
                                             BlockLayout(analysis.data().alignment.structure));
  }
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
