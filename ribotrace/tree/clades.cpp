#include "tree/clades.h"

#include <bit>
#include <unordered_map>

bool TaxonSet::IsSubsetOf(const TaxonSet& other) const {
  for (std::size_t w = 0; w < words_.size(); ++w) {
    if ((words_[w] & ~other.words_[w]) != 0) return false;
  }
  return true;
}

int TaxonSet::Count() const {
  int count = 0;
  for (const std::uint64_t word : words_) count += std::popcount(word);
  return count;
}

std::vector<int> TaxonSet::Members() const {
  std::vector<int> members;
  for (std::size_t w = 0; w < words_.size(); ++w) {
    for (std::uint64_t word = words_[w]; word != 0; word &= word - 1) {
      members.push_back(static_cast<int>(w * 64) + std::countr_zero(word));
    }
  }
  return members;
}

std::size_t TaxonSet::Hash() const {
  // FNV-1a over the words: clades differ in few bits, and every bit counts.
  std::uint64_t hash = 14695981039346656037ULL;
  for (const std::uint64_t word : words_) {
    hash ^= word;
    hash *= 1099511628211ULL;
  }
  return static_cast<std::size_t>(hash ^ (hash >> 32));
}

std::vector<TaxonSet> CladesByIndex(const std::vector<NodeStruct*>& down_pass, int n_taxa) {
  std::vector<TaxonSet> clades(down_pass.size(), TaxonSet(n_taxa));
  for (const NodeStruct* node : down_pass) {
    TaxonSet& clade = clades[static_cast<std::size_t>(node->index)];
    if (node->IsTip()) clade.Add(node->taxon_index);
    for (const NodeStruct* child : node->children) {
      clade.Merge(clades[static_cast<std::size_t>(child->index)]);
    }
  }
  return clades;
}

void SetCladeSupports(const std::vector<std::pair<TaxonSet, double>>& supports,
                      const std::vector<NodeStruct*>& down_pass, int n_taxa) {
  if (supports.empty()) return;
  // A group of an unrooted tree is one side of a split; rooting may put the
  // other side below the node.
  std::unordered_map<TaxonSet, double, TaxonSetHash> by_taxa;
  for (const auto& [taxa, support] : supports) {
    TaxonSet other(n_taxa);
    for (int t = 0; t < n_taxa; ++t) {
      if (!taxa.Contains(t)) other.Add(t);
    }
    by_taxa.emplace(taxa, support);
    by_taxa.emplace(std::move(other), support);
  }
  const std::vector<TaxonSet> clades = CladesByIndex(down_pass, n_taxa);
  for (NodeStruct* node : down_pass) {
    if (node->IsTip() || node->anc == nullptr) continue;
    const auto found = by_taxa.find(clades[static_cast<std::size_t>(node->index)]);
    if (found != by_taxa.end()) node->support = found->second;
  }
}
