// The one analysis of a run: every tree of its sample with its own
// parameters, through the same passes, its result units' posteriors and
// gaps averaged over the trees that hold them, its rows drawn tree by tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

#include "base/stage_timings.h"
#include "inference/gap_reconstruction.h"
#include "inference/log_likelihood.h"
#include "inference/node_vectors.h"
#include "run/branch_change_means.h"
#include "run/run_values.h"
#include "run/convergence_check.h"
#include "run/log_likelihood_check.h"
#include "run/result_units.h"
#include "run/row_drawing.h"
#include "run/tree_sample.h"
#include "run/tree_workspace.h"
#include "run/unit_means.h"

class SampleAnalysis {
 public:
  // Builds every tree once, quietly, to find the result units: the one
  // tree's nodes, or the clades in at least values.min_clade of the trees
  // (which must be rooted alike: data.outgroup is given).
  SampleAnalysis(const RunValues& values, const RunData& data, TreeSample sample);

  // Analyses every tree in order: the passes on its parameters' matrices,
  // the tree's reconstruction of the gaps, the units' sums; with `rows`,
  // the rows it gives (see DrawTreeRows) from the stream that starts at
  // `seed`. Then the means and the per-sample checks and warnings.
  // means_ready runs once the means are final and before sampling has
  // changed any: over one tree before its rows, over many after the last.
  void AnalyseTrees(std::int32_t seed, RowSink* rows, StageTimings* timings,
                    const std::function<void()>& means_ready = {});

  const TreeSample& sample() const { return sample_; }
  const RunData& data() const { return data_; }
  const ResultUnits& units() const { return units_; }
  const UnitMeans& means() const { return *means_; }
  // With --changes: every reported branch's figures, final after AnalyseTrees.
  bool has_changes() const { return changes_.has_value(); }
  const BranchChangeMeans& changes() const { return *changes_; }
  std::size_t n_trees() const { return sample_.trees.samples.size(); }
  // Means over the trees.
  double scaled_length() const;
  double gap_rate() const;
  // Of the insertions and deletions, with --gaps=indel.
  double insertion_rate() const;
  double deletion_rate() const;
  PartitionLogLikelihoods log_likelihood() const;
  // Of the rows drawn, with --report.
  const std::optional<SampledPairCounts>& pair_counts() const { return pair_counts_; }
  // Measured over MrBayes's runs; not over a summary's one tree.
  const std::optional<ConvergenceFigures>& convergence() const { return convergence_; }

 private:
  void AnalyseTree(std::size_t s, std::int32_t seed, RowSink* rows, StageTimings* timings,
                   const std::function<void()>& means_ready);
  void WarnOnGapRates() const;

  const RunValues& values_;
  // The passes' values: over many trees the check prints the
  // log-likelihoods, one line per tree, instead of the passes.
  RunValues pass_values_;
  const RunData& data_;
  TreeSample sample_;
  TreeWorkspace tree_;
  BranchMatrices matrices_;             // the tree's branches, refilled for each tree
  std::optional<NodeVectors> vectors_;  // made for the first tree, reassigned to the others
  ResultUnits units_;
  std::optional<UnitMeans> means_;
  std::optional<BranchChangeMeans> changes_;
  std::optional<GapReconstruction> gaps_;  // the tree last analysed
  std::optional<ConvergenceFigures> convergence_;
  std::optional<SampledPairCounts> pair_counts_;
  std::optional<LogLikelihoodCheck> check_;
  double scaled_length_sum_ = 0.0;
  double gap_rate_sum_ = 0.0;
  double insertion_rate_sum_ = 0.0;
  double deletion_rate_sum_ = 0.0;
  std::size_t n_gap_rates_at_bound_ = 0;
  PartitionLogLikelihoods log_likelihood_sum_;
};
