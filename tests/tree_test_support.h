// Building trees from Newick text in tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tree/tree_construction.h"

struct BuiltTree {
  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;
  std::vector<NodeStruct*> up_pass;

  const NodeStruct* root() const { return up_pass.front(); }
  const NodeStruct* Tip(const std::string& label) const {
    for (const NodeStruct& node : nodes) {
      if (node.IsTip() && node.label == label) return &node;
    }
    ADD_FAILURE() << "no tip " << label;
    return nullptr;
  }
};

inline std::vector<TaxonName> TaxonNames(const std::vector<std::string>& names) {
  std::vector<TaxonName> records;
  for (const std::string& name : names) records.push_back({name, static_cast<int>(records.size())});
  return records;
}

// The tree of `text` on the taxa `names`, in storage of 2 x taxa - 1 nodes.
inline std::unique_ptr<BuiltTree> BuildTree(const std::string& text,
                                            const std::vector<TaxonName>& names) {
  auto tree = std::make_unique<BuiltTree>();
  const std::size_t n_nodes = 2 * names.size() - 1;
  tree->nodes.resize(n_nodes);
  tree->down_pass.resize(n_nodes);
  tree->up_pass.resize(n_nodes);
  SetUpTree(tree->nodes, tree->up_pass, tree->down_pass, names, text,
            static_cast<int>(names.size()));
  return tree;
}
