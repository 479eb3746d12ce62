// The true tree: read from Newick or drawn at random, written back as Newick.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace sim {

struct TreeNode {
  int parent = -1;
  std::vector<int> children;
  double length = 0.0;  // of the branch above the node
  std::string name;     // taxon name of a tip
};

// Nodes in pre-order: the root is node 0, every parent before its children.
struct Tree {
  std::vector<TreeNode> nodes;

  bool IsTip(int node) const { return nodes[node].children.empty(); }
  double TotalLength() const;
  std::vector<int> Tips() const;
  // The sorted taxon names below each node, joined by commas.
  std::vector<std::string> TaxonSets() const;
  // "t1" for a tip, "n<k>" (k its pre-order number) for an interior node.
  std::string NodeId(int node) const;
};

// Parses one Newick tree with branch lengths. Interior labels, support
// values, [comments] and a root length are passed over; polytomies are
// kept. Throws std::runtime_error naming the offset of the fault.
Tree ParseNewick(const std::string& text);

// A rooted binary tree of `taxa` tips t1..tN, joined in random pairs, each
// branch exponentially distributed with the given mean.
Tree RandomTree(int taxa, double mean_length, std::mt19937_64& rng);

// The tree in Newick, lengths with ten significant digits, the root as it is
// (two children: a rooted tree).
std::string WriteNewick(const Tree& tree);

}  // namespace sim
