// The nodes a run gives results for, and their names: the interior nodes of
// its one tree (anc_<n>), or the clades of MrBayes's sample of trees
// (clade_<c>) that enough of the trees hold. Everything that differs
// between the two lives here; the analysis itself is one loop over trees.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/alignment.h"
#include "io/report_writer.h"
#include "tree/clade_summary.h"
#include "tree/node_struct.h"

class ResultUnits {
 public:
  // The interior nodes below the root of the one tree in `down_pass`
  // (built and rooted), in down-pass order; the tables list them in
  // pre-order. Their names and the labelled tree are read now.
  static ResultUnits OfOneTree(const std::vector<NodeStruct*>& down_pass,
                               const std::vector<NodeStruct*>& up_pass, const Alignment& alignment);
  // The clades of `summary` that enter the results, in clade order.
  static ResultUnits OfClades(CladeSummary summary, const Alignment& alignment);

  std::size_t size() const { return names_.size(); }
  bool over_clades() const { return clades_.has_value(); }
  // The unit's name in the tables and .map.fa, and the stems of its sample
  // rows' names: "anc_5" and "psr_5", or "clade_3" and "psr_clade_3".
  const std::string& name(std::size_t j) const { return names_[j]; }
  const std::string& row_name(std::size_t j, bool hidden) const {
    return hidden ? hidden_names_[j] : names_[j];
  }
  // The order of the units in the tables and .map.fa.
  const std::vector<std::size_t>& table_order() const { return table_order_; }
  // The trees (sample indices, increasing) that hold unit j.
  const std::vector<int>& trees(std::size_t j) const;

  // The node of each unit in tree s (built and rooted in `down_pass`);
  // null where the tree lacks the clade.
  std::vector<NodeStruct*> NodesIn(const std::vector<NodeStruct*>& down_pass, int n_taxa) const;

  // The text of out_file.tree: the labelled tree, or the consensus.
  const std::string& tree_text() const { return tree_text_; }
  // The tree that the report draws, and the node of it that each unit is.
  const std::vector<ReportTreeNode>& report_tree() const { return report_tree_; }
  int report_index(std::size_t j) const { return report_index_[j]; }
  // The clades (all of them, with the consensus) over a sample.
  const CladeSummary& clades() const { return *clades_; }

 private:
  std::vector<std::string> names_;
  std::vector<std::string> hidden_names_;
  std::vector<std::size_t> table_order_;
  std::vector<int> report_index_;
  std::vector<int> clade_of_;  // over clades: unit -> position in clades_->clades
  std::optional<CladeSummary> clades_;
  std::string tree_text_;
  std::vector<ReportTreeNode> report_tree_;
};
