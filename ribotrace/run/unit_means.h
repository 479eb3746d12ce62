// Each result unit's posteriors and probabilities of absence, averaged over
// the trees that hold it. Over many trees they are summed and then divided
// by the number of trees (the mean over the trees for a clade); over one
// tree they are the tree's own, read in place: no copy of a large tree's
// posteriors, and the very values of the passes.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "tree/node_struct.h"

class UnitMeans {
 public:
  // one_tree: the units' values are read in place from the one tree's
  // nodes, which must not change before they are read (sampling
  // conditions them on pairs, so the tables are written before it).
  UnitMeans(std::size_t n_units, std::size_t block_entries, std::size_t n_sites, bool one_tree);

  // Adds the posteriors and p_gap of each unit's node (null: the tree
  // lacks it), read before sampling conditions any on pairs; over one tree
  // keeps the nodes and the reconstruction instead, which must outlive it.
  void Add(const std::vector<NodeStruct*>& nodes, const GapReconstruction& gaps);
  // Divides unit j's sums by n_trees[j] (over many trees).
  void Finish(const std::vector<std::size_t>& n_trees);

  std::span<const double> Posteriors(std::size_t j) const;
  std::vector<double> Gaps(std::size_t j) const;

 private:
  std::size_t block_entries_;
  std::size_t n_sites_;
  std::vector<double> posteriors_;  // many trees: sums, then means
  std::vector<double> gaps_;
  std::vector<const NodeStruct*> nodes_;         // one tree: the units' nodes
  const GapReconstruction* one_gaps_ = nullptr;  // one tree: its reconstruction
};
