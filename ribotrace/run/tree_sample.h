// The trees a run analyses, each with its own parameters: MrBayes's
// parameter summary (.pstat) on the tree file's tree is a sample of one;
// MrBayes's sampled trees and parameters (.t and .p) a sample of many.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "bailout/bailout.h"
#include "io/nexus_text.h"
#include "io/posterior_sample.h"
#include "output/output_set.h"
#include "run/run_values.h"
#include "run/tree_workspace.h"

struct TreeSample {
  PosteriorSample trees;
  // One tree with MrBayes's parameter summary: its nodes are the results,
  // and MrBayes recorded no log-likelihood to compare with.
  bool from_summary = false;
  std::vector<RunInput> inputs;  // the files that no output may overwrite
  // The convergence that the summary reports (figure, value), for the report.
  std::vector<std::pair<std::string, std::string>> convergence;
};

// The tree file's (last) tree with the summary's means; warns when the two
// files come from different analyses or the summary shows no convergence.
TreeSample ReadSummarySample(const RunValues& values, const RunData& data,
                             const NexusText& parameter_text);

// The runs' trees (values.tree_file, a list) paired with their already read
// .p texts, the burn-in dropped and values.n_trees used.
TreeSample ReadMrBayesSample(const RunValues& values, const RunData& data,
                             const std::vector<std::string>& parameter_files,
                             const std::vector<NexusText>& parameter_texts);

// Where tree s comes from, for messages: "the tree of 'x.con.tre'" or
// "tree gen.500 of 'x.run1.t'".
std::string TreeOrigin(const TreeSample& sample, std::size_t s);

// Builds tree s in `tree` (printed with `listing`); a failure names the
// tree's file (and generation).
void BuildSampleTree(TreeWorkspace& tree, const TreeSample& sample, std::size_t s,
                     const RunData& data, int is_harmonic, bool listing = false);

// Runs `step` on tree s, its failures named as BuildSampleTree's are.
template <typename Step>
auto OnSampleTree(const TreeSample& sample, std::size_t s, const Step& step) {
  try {
    return step();
  } catch (const FatalError& error) {
    throw FatalError(std::string(error.what()) + "\n(In " + TreeOrigin(sample, s) + ".)",
                     error.form());
  }
}
