// The files that name and describe the nodes, from the tree and the
// posteriors the passes hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/results_file.h"
#include "run/inference_stages.h"

// Writes the labelled tree, then, node by node for the interior nodes below
// the root in pre-order (anc_1, anc_2, ...): the most probable sequence and,
// when the files are open, every column's row of the per-site table and
// every stem pair's row of the per-pair table. The posteriors are read as
// the posterior passes left them, before sampling conditions any on pairs.
// Both tables end with p_gap, the probability that the column (the pair) is
// absent at the node under the tree's reconstruction of the gaps, and the
// most probable sequence has '-' in every column whose p_gap exceeds 0.5 (a
// stem pair's two columns alike).
void WriteNodeFiles(const InferenceInputs& inputs, ResultsFiles& files,
                    const GapReconstruction& gaps);

// Writes, node after node, the most probable sequence and the table rows
// (when the files are open) of each node that it is handed, with its
// columns' p_gap.
class NodeRecordWriter {
 public:
  explicit NodeRecordWriter(ResultsFiles& files);
  // p_gap: one per column (see WriteNodeFiles).
  void Write(const NodePosteriors& posteriors, const std::string& name,
             const std::vector<double>& p_gap);

 private:
  ResultsFiles& files_;
  std::optional<StateTable> sites_;
  std::optional<PairTable> pairs_;
  std::vector<int> states_;
  std::string record_;
};
