// Clades: the identity of a node across trees. In trees rooted on the same
// outgroup, a node is the set of taxa below it, whatever else differs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "tree/node_struct.h"

// A set of taxa (data rows), as a bitset.
class TaxonSet {
 public:
  explicit TaxonSet(int n_taxa = 0) : words_((static_cast<std::size_t>(n_taxa) + 63) / 64, 0) {}

  void Add(int taxon) {
    words_[static_cast<std::size_t>(taxon) / 64] |= std::uint64_t{1} << (taxon % 64);
  }
  void Merge(const TaxonSet& other) {
    for (std::size_t w = 0; w < words_.size(); ++w) words_[w] |= other.words_[w];
  }
  bool Contains(int taxon) const {
    return (words_[static_cast<std::size_t>(taxon) / 64] >> (taxon % 64) & 1U) != 0;
  }
  bool IsSubsetOf(const TaxonSet& other) const;
  int Count() const;
  // The taxa in increasing order.
  std::vector<int> Members() const;
  bool operator==(const TaxonSet& other) const = default;
  std::size_t Hash() const;

 private:
  std::vector<std::uint64_t> words_;
};

struct TaxonSetHash {
  std::size_t operator()(const TaxonSet& set) const { return set.Hash(); }
};

// The taxa below every node of a built tree, by the node's pre-order index.
// `down_pass` lists children before parents.
std::vector<TaxonSet> CladesByIndex(const std::vector<NodeStruct*>& down_pass, int n_taxa);

// Gives every interior node below the root the support of the group of the
// tree text (a consensus tree's [&prob=...], taxa in the data's numbering)
// whose taxa are the node's, or the rest of the tree's.
void SetCladeSupports(const std::vector<std::pair<TaxonSet, double>>& supports,
                      const std::vector<NodeStruct*>& down_pass, int n_taxa);
