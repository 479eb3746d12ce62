// The tree a fit works on: the topology of the tree read from the file,
// with branch lengths that the fit owns and changes, indices instead of
// pointers so that it copies as a value.
#pragma once

#include <span>
#include <vector>

#include "tree/node_struct.h"

struct FitTree {
  // Per node, by the tree's node numbers (root 0): parent (-1 at the root),
  // the data row of a tip's taxon (-1 inside), the branch to the parent.
  std::vector<int> parent, taxon;
  // Node i's children, any number of them, are child[first_child[i]] up to
  // child[first_child[i + 1]]: one array for the whole tree.
  std::vector<int> first_child, child;
  // The interior nodes, each after its children: the order of a pass from
  // the tips up. The numbers alone do not give it: nodes that resolve a
  // polytomy are numbered after all others, below nodes numbered before.
  std::vector<int> children_first;
  std::vector<double> length;
  // A node that only resolves a polytomy of the tree read: its branch is
  // no branch of that tree and stays at length 0.
  std::vector<bool> merged;

  int size() const { return static_cast<int>(length.size()); }
  std::span<const int> Children(int node) const {
    const auto i = static_cast<std::size_t>(node);
    return std::span<const int>(child).subspan(
        static_cast<std::size_t>(first_child[i]),
        static_cast<std::size_t>(first_child[i + 1] - first_child[i]));
  }
  bool IsTip(int node) const { return Children(node).empty(); }
  bool IsMerged(int node) const { return merged[static_cast<std::size_t>(node)]; }
  // A root of two children: their two branches are one branch of the
  // unrooted tree, which the likelihood of a reversible model cannot split.
  // The fit keeps it all on the first child and the second's branch at 0;
  // this is the second (-1 where the root has more children).
  int Joined() const { return Children(0).size() == 2 ? Children(0)[1] : -1; }
  bool IsFree(int node) const { return node != 0 && node != Joined() && !IsMerged(node); }
  int FreeBranches() const;
};

// The fit's copy of a built tree (its node numbers, the root at 0), the
// branches of a root of two children joined on the first. Lengths of 0 or less start
// at `floor`.
FitTree MakeFitTree(const std::vector<NodeStruct*>& up_pass, double floor);
