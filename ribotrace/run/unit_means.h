// Each result unit's posteriors and probabilities of absence, summed over
// the trees that hold it and then divided by their number: the mean over
// the trees for a clade, and for the one tree's nodes the very values of
// the passes (0 + x and x / 1 are x exactly).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "tree/node_struct.h"

class UnitMeans {
 public:
  UnitMeans(std::size_t n_units, std::size_t block_entries, std::size_t n_sites);

  // Adds the posteriors and p_gap of each unit's node (null: the tree
  // lacks it), read before sampling conditions any on pairs.
  void Add(const std::vector<NodeStruct*>& nodes, const GapReconstruction& gaps);
  // Divides unit j's sums by n_trees[j].
  void Finish(const std::vector<std::size_t>& n_trees);

  std::span<const double> Posteriors(std::size_t j) const {
    return {&posteriors_[j * block_entries_], block_entries_};
  }
  std::vector<double> Gaps(std::size_t j) const {
    const auto first = gaps_.begin() + static_cast<std::ptrdiff_t>(j * n_sites_);
    return {first, first + static_cast<std::ptrdiff_t>(n_sites_)};
  }

 private:
  std::size_t block_entries_;
  std::size_t n_sites_;
  std::vector<double> posteriors_;
  std::vector<double> gaps_;
};
