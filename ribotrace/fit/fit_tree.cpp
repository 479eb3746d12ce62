#include "fit/fit_tree.h"

#include <algorithm>

#include "tree/polytomies.h"

namespace {

void LinkChildren(FitTree& tree, const std::vector<std::vector<int>>& children) {
  tree.first_child.assign(1, 0);
  for (const std::vector<int>& of : children) {
    tree.child.insert(tree.child.end(), of.begin(), of.end());
    tree.first_child.push_back(static_cast<int>(tree.child.size()));
  }
}

// Pre-order from the root, reversed.
void OrderChildrenFirst(FitTree& tree) {
  for (std::vector<int> pending{0}; !pending.empty();) {
    const int node = pending.back();
    pending.pop_back();
    if (tree.IsTip(node)) continue;
    tree.children_first.push_back(node);
    for (const int child : tree.Children(node)) pending.push_back(child);
  }
  std::reverse(tree.children_first.begin(), tree.children_first.end());
}

}  // namespace

FitTree MakeFitTree(const std::vector<NodeStruct*>& up_pass, double floor) {
  FitTree tree;
  const std::size_t n = up_pass.size();
  std::vector<std::vector<int>> children(n);
  tree.parent.assign(n, -1);
  tree.taxon.assign(n, -1);
  tree.length.assign(n, 0.0);
  tree.merged.assign(n, false);
  for (const NodeStruct* node : up_pass) {
    const auto i = static_cast<std::size_t>(node->index);
    if (!node->IsTip()) {
      for (const NodeStruct* child : node->children) children[i].push_back(child->index);
    } else {
      tree.taxon[i] = node->taxon_index;
    }
    if (node->anc != nullptr) {
      tree.parent[i] = node->anc->index;
      tree.length[i] = node->length;
    }
    tree.merged[i] = IsMergedWithParent(*node);
  }
  LinkChildren(tree, children);
  if (const int joined = tree.Joined(); joined >= 0) {
    const auto first = static_cast<std::size_t>(tree.Children(0)[0]),
               second = static_cast<std::size_t>(joined);
    tree.length[first] += tree.length[second];
    tree.length[second] = 0.0;
  }
  for (int i = 1; i < tree.size(); ++i) {
    if (tree.IsFree(i)) tree.length[i] = std::max(tree.length[i], floor);
  }
  OrderChildrenFirst(tree);
  return tree;
}

int FitTree::FreeBranches() const {
  int free = 0;
  for (int i = 0; i < size(); ++i) free += IsFree(i) ? 1 : 0;
  return free;
}
