// The clades of a sample of trees rooted on one outgroup: how often each
// appears, its mean branch length, the trees that hold it, and the
// majority-rule consensus tree that names the clades.
#pragma once

#include <cstddef>
#include <unordered_map>
#include <vector>

#include "tree/clades.h"
#include "tree/node_struct.h"

struct CladeRecord {
  TaxonSet taxa;
  std::vector<int> trees;    // the trees (by sample index, increasing) that hold the clade
  double length_sum = 0.0;   // of the branch above it, over those trees
  long long first_seen = 0;  // order of first appearance, for ties
};

// Gathers the clades of trees added one after another.
class CladeTally {
 public:
  explicit CladeTally(int n_taxa) : n_taxa_(n_taxa), tip_length_sums_(n_taxa, 0.0) {}

  // Adds the next tree, built and rooted: every interior node below the
  // root is a clade; the branch lengths of clades and tips are summed.
  void AddTree(const std::vector<NodeStruct*>& down_pass);

  int n_taxa() const { return n_taxa_; }
  int n_trees() const { return n_trees_; }
  const std::vector<CladeRecord>& records() const { return records_; }
  const std::vector<double>& tip_length_sums() const { return tip_length_sums_; }

 private:
  int n_taxa_;
  int n_trees_ = 0;
  std::vector<CladeRecord> records_;
  std::unordered_map<TaxonSet, std::size_t, TaxonSetHash> index_;
  std::vector<double> tip_length_sums_;  // by taxon
};

// A node of the consensus tree: the root, a clade or a tip.
struct ConsensusNode {
  int clade = -1;             // the clade id (0: the root); -1 for a tip
  int taxon = -1;             // the data row of a tip
  double length = 0.0;        // mean length of the branch above it (0 at the root)
  double probability = 1.0;   // share of the trees that hold it
  std::vector<int> children;  // indices into the node list
};

struct IdentifiedClade {
  int id = 0;  // clade_<id>; 1, 2, ...
  TaxonSet taxa;
  double probability = 0.0;  // share of the trees that hold it
  std::vector<int> trees;    // sample indices of the trees that hold it
  bool in_results = false;   // held by at least the --min-clade share of the trees
};

struct CladeSummary {
  // Numbered in pre-order of the consensus tree (children by their first
  // taxon), then the clades outside it that enter the results, by
  // decreasing probability (ties: first seen first).
  std::vector<IdentifiedClade> clades;
  std::vector<ConsensusNode> consensus;                      // the root first, in pre-order
  std::unordered_map<TaxonSet, int, TaxonSetHash> index_of;  // taxa -> position in `clades`
};

// The clades in more than half of the trees form the majority-rule
// consensus; those in at least `min_clade` of them enter the results.
CladeSummary SummariseClades(const CladeTally& tally, double min_clade);
