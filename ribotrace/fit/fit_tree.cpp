#include "fit/fit_tree.h"

#include <algorithm>

#include "tree/polytomies.h"

FitTree MakeFitTree(const std::vector<NodeStruct*>& up_pass, double floor) {
  FitTree tree;
  const std::size_t n = up_pass.size();
  tree.left.assign(n, -1);
  tree.right.assign(n, -1);
  tree.parent.assign(n, -1);
  tree.taxon.assign(n, -1);
  tree.length.assign(n, 0.0);
  tree.merged.assign(n, false);
  for (const NodeStruct* node : up_pass) {
    const auto i = static_cast<std::size_t>(node->index);
    if (!node->children.empty()) {
      tree.left[i] = node->children[0]->index;
      tree.right[i] = node->children[1]->index;
    } else {
      tree.taxon[i] = node->taxon_index;
    }
    if (node->anc != nullptr) {
      tree.parent[i] = node->anc->index;
      tree.length[i] = node->length;
    }
    tree.merged[i] = IsMergedWithParent(*node);
  }
  const auto l = static_cast<std::size_t>(tree.left[0]),
             r = static_cast<std::size_t>(tree.right[0]);
  tree.length[l] += tree.length[r];
  tree.length[r] = 0.0;
  for (int i = 1; i < tree.size(); ++i) {
    if (tree.IsFree(i)) tree.length[i] = std::max(tree.length[i], floor);
  }
  // Pre-order from the root, reversed.
  for (std::vector<int> pending{0}; !pending.empty();) {
    const int node = pending.back();
    pending.pop_back();
    if (tree.IsTip(node)) continue;
    tree.children_first.push_back(node);
    pending.push_back(tree.left[static_cast<std::size_t>(node)]);
    pending.push_back(tree.right[static_cast<std::size_t>(node)]);
  }
  std::reverse(tree.children_first.begin(), tree.children_first.end());
  return tree;
}

int FitTree::FreeBranches() const {
  int free = 0;
  for (int i = 0; i < size(); ++i) free += IsFree(i) ? 1 : 0;
  return free;
}
