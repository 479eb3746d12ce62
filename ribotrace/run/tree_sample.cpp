#include "run/tree_sample.h"

#include <cstdio>

#include "io/parameter_file.h"
#include "io/tree_file.h"
#include "run/convergence_check.h"

TreeSample ReadSummarySample(const RunValues& values, const RunData& data,
                             const NexusText& parameter_text) {
  TreeSample sample;
  sample.from_summary = true;
  UsedSample& only = sample.trees.samples.emplace_back();
  std::string tree_id;
  only.tree = ReadTreeFile(values.tree_file, &tree_id);
  only.parameters = ReadParameterText(parameter_text, values.param_file, data.stems.isStructure);
  WarnOnDifferentAnalyses(values.tree_file, tree_id, values.param_file, parameter_text.analysis_id);
  if (HasGammaRates(only.parameters)) CheckGammaRun(data, values);
  const SummaryDiagnostics diagnostics = ReadSummaryDiagnostics(parameter_text);
  // A maximum-likelihood fit ran no chains whose convergence could be said.
  if (!values.fit) WarnOnSummaryConvergence(diagnostics, values.param_file);
  sample.convergence = ConvergenceRows(diagnostics);
  sample.trees.remaining = 1;
  sample.trees.tree_files = {values.tree_file};
  sample.trees.parameter_files = {values.param_file};
  sample.inputs = {{"data file", values.data_file},
                   {"tree file", values.tree_file},
                   {"parameter file", values.param_file}};
  return sample;
}

TreeSample ReadMrBayesSample(const RunValues& values, const RunData& data,
                             const std::vector<std::string>& parameter_files,
                             const std::vector<NexusText>& parameter_texts) {
  if (!values.marginal) {
    Fail(
        "--classic computes the three-neighbour posteriors of one tree; the run over MrBayes's "
        "sampled trees and parameters (.p files) uses the exact posteriors: run it without "
        "--classic.");
  }
  PosteriorSampleOptions options;
  options.burnin = values.burnin;
  options.n_trees = values.n_trees;
  TreeSample sample;
  sample.trees = ReadPosteriorSample(SplitFileList(values.tree_file), parameter_files,
                                     parameter_texts, data.stems.isStructure, options);
  if (sample.trees.samples.size() < static_cast<std::size_t>(values.n_trees)) {
    std::fprintf(stderr,
                 "Note: %zu samples remain after the burn-in; all of them are used (--trees=%d "
                 "asked for more).\n",
                 sample.trees.samples.size(), values.n_trees);
  }
  if (HasGammaRates(sample.trees.samples.front().parameters)) CheckGammaRun(data, values);
  sample.inputs = {{"data file", values.data_file}};
  for (const std::string& file : sample.trees.tree_files)
    sample.inputs.push_back({"tree file", file});
  for (const std::string& file : sample.trees.parameter_files) {
    sample.inputs.push_back({"parameter file", file});
  }
  return sample;
}

std::string TreeOrigin(const TreeSample& sample, std::size_t s) {
  if (sample.from_summary) return "the tree of '" + sample.trees.tree_files.front() + "'";
  const UsedSample& used = sample.trees.samples[s];
  return "tree gen." + std::to_string(used.generation) + " of '" +
         sample.trees.tree_files[static_cast<std::size_t>(used.run)] + "'";
}

void BuildSampleTree(TreeWorkspace& tree, const TreeSample& sample, std::size_t s,
                     const RunData& data, int is_harmonic, bool listing) {
  OnSampleTree(sample, s,
               [&] { tree.Build(sample.trees.samples[s].tree, data, is_harmonic, listing); });
}
