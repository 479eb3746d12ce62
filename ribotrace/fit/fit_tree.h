// The tree a fit works on: the topology of the tree read from the file,
// with branch lengths that the fit owns and changes, indices instead of
// pointers so that it copies as a value.
#pragma once

#include <vector>

#include "tree/node_struct.h"

struct FitTree {
  // Per node, by the tree's node numbers (root 0): children (-1 at a tip),
  // parent (-1 at the root), the data row of a tip's taxon (-1 inside), the
  // branch to the parent.
  std::vector<int> left, right, parent, taxon;
  // The interior nodes, each after its children: the order of a pass from
  // the tips up. The numbers alone do not give it: nodes that resolve a
  // polytomy are numbered after all others, below nodes numbered before.
  std::vector<int> children_first;
  std::vector<double> length;
  // A node that only resolves a polytomy of the tree read: its branch is
  // no branch of that tree and stays at length 0.
  std::vector<bool> merged;

  int size() const { return static_cast<int>(length.size()); }
  bool IsTip(int node) const { return left[static_cast<std::size_t>(node)] < 0; }
  bool IsMerged(int node) const { return merged[static_cast<std::size_t>(node)]; }
  // The root's two branches are one branch of the unrooted tree, which the
  // likelihood of a reversible model cannot split: the fit keeps it all on
  // the root's left child and the right child's branch at 0.
  bool IsFree(int node) const { return node != 0 && node != right[0] && !IsMerged(node); }
  int FreeBranches() const;
};

// The fit's copy of a built tree (its node numbers, the root at 0), the
// root's two branches joined on its left child. Lengths of 0 or less start
// at `floor`.
FitTree MakeFitTree(const std::vector<NodeStruct*>& up_pass, double floor);
