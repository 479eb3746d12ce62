#include "tree/clade_summary.h"

#include <algorithm>
#include <utility>

void CladeTally::AddTree(const std::vector<NodeStruct*>& down_pass) {
  const std::vector<TaxonSet> clades = CladesByIndex(down_pass, n_taxa_);
  for (const NodeStruct* node : down_pass) {
    if (node->anc == nullptr) continue;
    if (node->IsTip()) {
      tip_length_sums_[static_cast<std::size_t>(node->taxon_index)] += node->length;
      continue;
    }
    const TaxonSet& taxa = clades[static_cast<std::size_t>(node->index)];
    const auto [found, fresh] = index_.emplace(taxa, records_.size());
    if (fresh) {
      records_.push_back({taxa, {}, 0.0, static_cast<long long>(records_.size())});
    }
    CladeRecord& record = records_[found->second];
    record.trees.push_back(n_trees_);
    record.length_sum += node->length;
  }
  ++n_trees_;
}

namespace {

double Share(const CladeRecord& record, int n_trees) {
  return static_cast<double>(record.trees.size()) / static_cast<double>(n_trees);
}

// Hangs the majority clades (pairwise compatible) and the tips below the
// smallest majority clade that holds them.
std::vector<ConsensusNode> ConsensusTopology(const CladeTally& tally,
                                             const std::vector<const CladeRecord*>& majority,
                                             std::vector<TaxonSet>* node_taxa) {
  const int n_trees = tally.n_trees();
  std::vector<ConsensusNode> nodes(1);
  nodes.front().clade = 0;
  TaxonSet all(tally.n_taxa());
  for (int t = 0; t < tally.n_taxa(); ++t) all.Add(t);
  node_taxa->assign(1, all);
  // Larger clades first: a clade's parent is then placed before it, and
  // the last placed node that holds it is the smallest.
  std::vector<const CladeRecord*> by_size = majority;
  std::stable_sort(by_size.begin(), by_size.end(), [](const CladeRecord* a, const CladeRecord* b) {
    return a->taxa.Count() > b->taxa.Count();
  });
  const auto parent_of = [&](const auto& holds) {
    for (std::size_t n = nodes.size(); n-- > 1;) {
      if (holds((*node_taxa)[n])) return static_cast<int>(n);
    }
    return 0;
  };
  for (const CladeRecord* record : by_size) {
    const int parent = parent_of([&](const TaxonSet& t) { return record->taxa.IsSubsetOf(t); });
    ConsensusNode node;
    node.clade = 0;
    node.length = record->length_sum / static_cast<double>(record->trees.size());
    node.probability = Share(*record, n_trees);
    nodes[static_cast<std::size_t>(parent)].children.push_back(static_cast<int>(nodes.size()));
    nodes.push_back(std::move(node));
    node_taxa->push_back(record->taxa);
  }
  for (int t = 0; t < tally.n_taxa(); ++t) {
    const int parent = parent_of([&](const TaxonSet& taxa) { return taxa.Contains(t); });
    ConsensusNode tip;
    tip.taxon = t;
    tip.length = tally.tip_length_sums()[static_cast<std::size_t>(t)] / n_trees;
    nodes[static_cast<std::size_t>(parent)].children.push_back(static_cast<int>(nodes.size()));
    nodes.push_back(std::move(tip));
    node_taxa->emplace_back(tally.n_taxa()).Add(t);
  }
  return nodes;
}

// Puts the consensus nodes into summary.consensus in pre-order, children by
// their first taxon, so the numbering does not depend on the order in which
// the trees met the clades; every interior node but the root becomes the
// next clade of summary.clades.
void NumberConsensus(const std::vector<ConsensusNode>& unordered,
                     const std::vector<TaxonSet>& node_taxa, double min_clade,
                     CladeSummary& summary) {
  const auto first_taxon = [&](int n) {
    return node_taxa[static_cast<std::size_t>(n)].Members().front();
  };
  std::vector<std::pair<int, int>> pending{{0, -1}};  // node, its parent's new position
  while (!pending.empty()) {
    const auto [n, parent] = pending.back();
    pending.pop_back();
    ConsensusNode node = unordered[static_cast<std::size_t>(n)];
    std::vector<int> children = std::move(node.children);
    node.children.clear();
    std::sort(children.begin(), children.end(),
              [&](int a, int b) { return first_taxon(a) < first_taxon(b); });
    const int position = static_cast<int>(summary.consensus.size());
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      pending.emplace_back(*child, position);
    }
    if (parent >= 0)
      summary.consensus[static_cast<std::size_t>(parent)].children.push_back(position);
    if (n != 0 && node.taxon < 0) {
      const int id = static_cast<int>(summary.clades.size()) + 1;
      node.clade = id;
      summary.clades.push_back({id,
                                node_taxa[static_cast<std::size_t>(n)],
                                node.probability,
                                {},
                                node.probability >= min_clade});
    }
    summary.consensus.push_back(std::move(node));
  }
}

// Numbers the clades outside the consensus after it, the most frequent
// first (ties in the order the trees met them).
void AddMinorityClades(std::vector<const CladeRecord*> others, int n_trees, CladeSummary& summary) {
  std::stable_sort(others.begin(), others.end(), [](const CladeRecord* a, const CladeRecord* b) {
    if (a->trees.size() != b->trees.size()) return a->trees.size() > b->trees.size();
    return a->first_seen < b->first_seen;
  });
  for (const CladeRecord* record : others) {
    const int id = static_cast<int>(summary.clades.size()) + 1;
    summary.clades.push_back({id, record->taxa, Share(*record, n_trees), {}, true});
  }
}

}  // namespace

CladeSummary SummariseClades(const CladeTally& tally, double min_clade) {
  const int n_trees = tally.n_trees();
  std::vector<const CladeRecord*> majority;
  std::vector<const CladeRecord*> others;
  for (const CladeRecord& record : tally.records()) {
    if (2 * record.trees.size() > static_cast<std::size_t>(n_trees)) {
      majority.push_back(&record);
    } else if (Share(record, n_trees) >= min_clade) {
      others.push_back(&record);
    }
  }
  std::vector<TaxonSet> node_taxa;
  const std::vector<ConsensusNode> unordered = ConsensusTopology(tally, majority, &node_taxa);
  CladeSummary summary;
  NumberConsensus(unordered, node_taxa, min_clade, summary);
  AddMinorityClades(std::move(others), n_trees, summary);
  for (std::size_t c = 0; c < summary.clades.size(); ++c) {
    summary.index_of.emplace(summary.clades[c].taxa, static_cast<int>(c));
  }
  for (const CladeRecord& record : tally.records()) {
    const auto found = summary.index_of.find(record.taxa);
    if (found != summary.index_of.end()) {
      summary.clades[static_cast<std::size_t>(found->second)].trees = record.trees;
    }
  }
  return summary;
}
