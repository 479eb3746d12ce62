#include "run/branch_change_means.h"

#include <utility>

#include "inference/likelihood_blocks.h"

BranchChangeMeans::BranchChangeMeans(const ResultUnits& units, const Alignment& alignment,
                                     bool one_tree)
    : units_(units),
      alignment_(alignment),
      n_blocks_(static_cast<std::size_t>(CountBlocks(alignment.structure))) {
  for (const std::size_t j : units.table_order()) names_.push_back(units.name(j));
  for (const TaxonName& taxon : alignment.Names) names_.push_back(taxon.name);
  n_trees_.assign(names_.size(), 0);
  lengths_.assign(names_.size(), 0.0);
  if (!one_tree) figures_.assign(names_.size() * n_blocks_, BranchFigures{});
  present_.assign(names_.size() * n_blocks_, 0.0);
}

std::vector<NodeStruct*> BranchChangeMeans::BranchNodes(
    const std::vector<NodeStruct*>& down_pass) const {
  const std::vector<NodeStruct*> unit_nodes = units_.NodesIn(down_pass, alignment_.n_taxa);
  std::vector<NodeStruct*> nodes;
  for (const std::size_t j : units_.table_order()) nodes.push_back(unit_nodes[j]);
  const std::size_t first_taxon = nodes.size();
  nodes.resize(names_.size(), nullptr);
  for (NodeStruct* node : down_pass) {
    if (node->IsTip()) nodes[first_taxon + static_cast<std::size_t>(node->taxon_index)] = node;
  }
  return nodes;
}

void BranchChangeMeans::Add(const std::vector<NodeStruct*>& down_pass, BranchChanges changes,
                            const GapReconstruction& gaps) {
  const std::vector<NodeStruct*> nodes = BranchNodes(down_pass);
  for (std::size_t branch = 0; branch < nodes.size(); ++branch) {
    const NodeStruct* node = nodes[branch];
    if (node == nullptr) continue;
    ++n_trees_[branch];
    lengths_[branch] += node->length;
    AddPresence(branch, *node, gaps);
    if (figures_.empty()) continue;
    BranchFigures* sums = figures_.data() + branch * n_blocks_;
    for (std::size_t b = 0; b < n_blocks_; ++b) sums[b] += changes.At(*node, static_cast<int>(b));
  }
  if (figures_.empty()) {
    one_tree_ = std::move(changes);
    nodes_.assign(nodes.begin(), nodes.end());
  }
}

// An interior node's presence is the reconstruction's; a taxon's is what
// it shows, and where it shows nothing (missing data, an end gap) the
// character's presence frequency among the taxa that show it.
void BranchChangeMeans::AddPresence(std::size_t branch, const NodeStruct& node,
                                    const GapReconstruction& gaps) {
  double* sums = present_.data() + branch * n_blocks_;
  const GapCharacters& characters = gaps.characters;
  for (std::size_t b = 0; b < n_blocks_; ++b) {
    if (!node.IsTip()) {
      sums[b] += 1.0 - gaps.PGap(node, characters.first_column[b]);
      continue;
    }
    switch (characters.Observed(node.taxon_index, b)) {
      case GapObservation::kPresent:
        sums[b] += 1.0;
        break;
      case GapObservation::kAbsent:
        break;
      case GapObservation::kUnknown:
        sums[b] += 1.0 - characters.absence_frequency[b];
        break;
    }
  }
}

void BranchChangeMeans::Finish() {
  for (std::size_t branch = 0; branch < names_.size(); ++branch) {
    if (n_trees_[branch] <= 1) continue;
    const double share = 1.0 / static_cast<double>(n_trees_[branch]);
    lengths_[branch] *= share;
    for (std::size_t b = 0; b < n_blocks_; ++b) {
      figures_[branch * n_blocks_ + b] = figures_[branch * n_blocks_ + b] * share;
      present_[branch * n_blocks_ + b] *= share;
    }
  }
}
