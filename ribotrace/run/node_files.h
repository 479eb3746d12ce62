// The files that name and describe the nodes, from the tree and the
// posteriors the passes hold.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "inference/node_posteriors.h"
#include "io/node_tables.h"
#include "io/results_file.h"
#include "run/inference_stages.h"

// Writes the labelled tree, then, node by node for the interior nodes below
// the root in pre-order (anc_1, anc_2, ...): the most probable sequence and,
// when the files are open, every column's row of the per-site table and
// every stem pair's row of the per-pair table. The posteriors are read as
// the posterior passes left them, before sampling conditions any on pairs.
void WriteNodeFiles(const InferenceInputs& inputs, ResultsFiles& files);

// Writes, node after node, the most probable sequence and the table rows
// (when the files are open) of each node that it is handed.
class NodeRecordWriter {
 public:
  explicit NodeRecordWriter(ResultsFiles& files);
  void Write(const NodePosteriors& posteriors, const std::string& name);

 private:
  ResultsFiles& files_;
  std::optional<StateTable> sites_;
  std::optional<PairTable> pairs_;
  std::vector<int> states_;
  std::string record_;
};
