// What a run hands its output writers: the data it analyses, each result
// unit's posteriors, and the run's figures once the rows are drawn. Views
// into the run's own values: valid during the call that hands them over.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/alignment.h"
#include "inference/node_posteriors.h"
#include "io/change_tables.h"
#include "io/report_writer.h"
#include "sequence/helices.h"
#include "sequence/stems_and_loops.h"
#include "tree/clade_summary.h"

// The data of the run, known before anything is computed.
struct AnalysedData {
  const Alignment& alignment;
  const std::vector<SiteRecord>& SS;
  int include_data = 0;  // non-zero: the results file copies the taxa's sequences
};

// One result unit: a node of the one tree (anc_<n>), or a clade of the
// sample (clade_<c>) with its posteriors averaged over the trees that hold
// it.
struct UnitResult {
  std::string_view name;
  int report_index = 0;  // its node in the report's tree
  NodePosteriors posteriors;
  std::span<const double> p_gap;  // per column: the probability that it is absent at the unit
};

// The summary file's figures.
struct RunSummary {
  double scaled_length = 0.0;  // the hidden branch length before lambda, the mean over the trees
  int n_samples = 0;
  double lambda = 0.0;
  int is_harmonic = 0;  // 1: the hidden branches last the harmonic mean of the branch lengths
  // The lines that follow, in order: name and value.
  std::vector<std::pair<std::string, double>> values;
};

// What the run holds once every row is drawn.
struct RunResults {
  RunSummary summary;
  std::string_view tree_text;  // the rooted tree with the units' names, or the consensus
  // Over a posterior sample: its clades, by id (empty over one tree).
  std::span<const IdentifiedClade> clades;
  // What happened on each branch, when the run recorded it.
  std::optional<std::vector<ChangeBranch>> branches;
  // For the report: what it tells of the run, its tree in pre-order, and
  // the canonical pairs of the drawn rows.
  std::optional<ReportRun> report;
  std::span<const ReportTreeNode> report_tree;
  const SampledPairCounts* sampled_pairs = nullptr;
};
