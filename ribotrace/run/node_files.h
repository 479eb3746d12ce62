// The files that describe the result units: their most probable sequences
// and per-site tables.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/results_file.h"

// Both tables end with p_gap, the probability that the column (the pair)
// is absent at the node under the tree's reconstruction of the gaps, and the
// most probable sequence has '-' in every column whose p_gap exceeds 0.5 (a
// stem pair's two columns alike).
// Writes, node after node, the most probable sequence and the table rows
// (when the files are open) of each node that it is handed, with its
// columns' p_gap.
class NodeRecordWriter {
 public:
  explicit NodeRecordWriter(ResultsFiles& files);
  // p_gap: one per column.
  void Write(const NodePosteriors& posteriors, const std::string& name,
             const std::vector<double>& p_gap);

 private:
  ResultsFiles& files_;
  std::optional<StateTable> sites_;
  std::optional<PairTable> pairs_;
  std::vector<int> states_;
  std::string record_;
};
