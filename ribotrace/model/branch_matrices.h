// The transition matrices of a tree's branches, held by the model layer and
// not by the tree: for each node, the matrix of the branch above it (row:
// state at the ancestral end), 4 x 4 for loop columns and 16 x 16 for stem
// pairs, for one rate category at a time.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "tree/node_struct.h"

class BranchMatrices {
 public:
  explicit BranchMatrices(std::size_t n_nodes = 0) : singlet_(n_nodes), doublet_(n_nodes) {}

  // Room for a tree of n_nodes nodes (pre-order indices 0 .. n_nodes - 1).
  void Resize(std::size_t n_nodes) {
    singlet_.resize(n_nodes);
    doublet_.resize(n_nodes);
  }

  std::array<double, 16>& Singlet(const NodeStruct& node) { return singlet_[Index(node)]; }
  const std::array<double, 16>& Singlet(const NodeStruct& node) const {
    return singlet_[Index(node)];
  }
  std::array<double, 256>& Doublet(const NodeStruct& node) { return doublet_[Index(node)]; }
  const std::array<double, 256>& Doublet(const NodeStruct& node) const {
    return doublet_[Index(node)];
  }

 private:
  static std::size_t Index(const NodeStruct& node) { return static_cast<std::size_t>(node.index); }

  std::vector<std::array<double, 16>> singlet_;
  std::vector<std::array<double, 256>> doublet_;
};
