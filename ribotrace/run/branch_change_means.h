// Every branch's figures of change (inference/branch_changes.h) and the
// presence of each pair and column at its lower end, for the branches a
// run reports: the branch above each result unit (in table order) and
// above each taxon (in the alignment's order). Over many trees a clade's
// branch is the mean over the trees that hold the clade, as its states are.
#pragma once

#include <cstddef>
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
  BranchChangeMeans(const ResultUnits& units, const Alignment& alignment);

  // Adds one tree's figures (built and rooted in down_pass) and its
  // reconstruction of the gaps.
  void Add(const std::vector<NodeStruct*>& down_pass, const BranchChanges& changes,
           const GapReconstruction& gaps);
  // Divides each branch's sums by the number of trees that hold it.
  void Finish();

  std::size_t size() const { return names_.size(); }
  std::size_t n_blocks() const { return n_blocks_; }
  const std::string& name(std::size_t branch) const { return names_[branch]; }
  double length(std::size_t branch) const { return lengths_[branch]; }
  std::span<const BranchFigures> figures(std::size_t branch) const {
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
  std::vector<BranchFigures> figures_;  // branch-major
  std::vector<double> present_;
};
