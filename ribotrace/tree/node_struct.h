// A node of the rooted tree on which the analysis runs. The nodes of a tree
// live in one array; the links point into it. A tree read from a file is
// binary, 2 x taxa - 1 nodes (polytomies arrive resolved, see
// polytomies.h), but the passes take any number of children per node.
#pragma once

#include <span>
#include <string>
#include <vector>

struct NodeStruct {
  // In a fixed order, the tree text's for a tree read as it was written;
  // empty at a tip. An interior node has two or more.
  std::vector<NodeStruct*> children;
  NodeStruct* anc = nullptr;   // ancestor; null at the root
  double length = 0.0;         // branch to anc, as read from the tree
  double scaled_length = 0.0;  // hidden branch before lambda: harmonic mean or 1.0
  // The node's vectors in the run's compact arrays, which NodeVectors
  // (inference/node_vectors.h) owns and points these views into; the layout
  // of a vector is described in inference/likelihood_blocks.h. Empty where
  // the node has none: a tip's likelihoods come from its observed codes,
  // and only interior nodes below the root have posteriors.
  std::span<double> frac_likelihoods;  // interior nodes
  std::span<double> posterior_probs;   // mixed over the rate categories, if any
  // With gamma rate categories: each category's posteriors given that
  // category, laid out like posterior_probs, category after category.
  std::span<double> category_posteriors;
  std::string label;     // taxon label of a tip; an interior node's name in a rooted tree file
  int index = -9;        // pre-order number, root 0
  int taxon_index = -9;  // data-matrix row of a tip's taxon
  // The clade's posterior probability where the tree file gives it (a
  // consensus tree's [&prob=...]); negative where it does not.
  double support = -1.0;

  bool IsTip() const { return children.empty(); }
};
