// Every branch's figures of change (inference/branch_changes.h) and the
// presence of each pair and column at its lower end, for the branches a
// run reports: the branch above each result unit (in table order) and
// above each taxon (in the alignment's order). Over many trees a clade's
// branch is the mean over the trees that hold the clade, as its states are;
// over one tree the figures are the tree's own table, kept, not copied.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/alignment.h"
#include "inference/branch_changes.h"
#include "inference/gap_reconstruction.h"
#include "run/result_units.h"
#include "tree/node_struct.h"

class BranchChangeMeans {
 public:
  // one_tree: the one tree's nodes must outlive the means.
  BranchChangeMeans(const ResultUnits& units, const Alignment& alignment, bool one_tree);

  // Adds one tree's figures (built and rooted in down_pass) and its
  // reconstruction of the gaps.
  void Add(const std::vector<NodeStruct*>& down_pass, BranchChanges changes,
           const GapReconstruction& gaps);
  // Divides each branch's sums by the number of trees that hold it.
  void Finish();

  std::size_t size() const { return names_.size(); }
  std::size_t n_blocks() const { return n_blocks_; }
  const std::string& name(std::size_t branch) const { return names_[branch]; }
  double length(std::size_t branch) const { return lengths_[branch]; }
  std::span<const BranchFigures> figures(std::size_t branch) const {
    if (one_tree_) return {&one_tree_->At(*nodes_[branch], 0), n_blocks_};
    return {figures_.data() + branch * n_blocks_, n_blocks_};
  }
  // The probability that the lower end holds the block's pair or column.
  std::span<const double> present(std::size_t branch) const {
    return {present_.data() + branch * n_blocks_, n_blocks_};
  }

 private:
  std::vector<NodeStruct*> BranchNodes(const std::vector<NodeStruct*>& down_pass) const;
  void AddPresence(std::size_t branch, const NodeStruct& node, const GapReconstruction& gaps);

  const ResultUnits& units_;
  const Alignment& alignment_;
  std::size_t n_blocks_;
  std::vector<std::string> names_;
  std::vector<std::size_t> n_trees_;
  std::vector<double> lengths_;
  std::vector<BranchFigures> figures_;     // many trees: sums, then means; branch-major
  std::optional<BranchChanges> one_tree_;  // one tree: its table
  std::vector<const NodeStruct*> nodes_;   // one tree: each branch's lower end
  std::vector<double> present_;
};
