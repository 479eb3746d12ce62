#include "run/result_units.h"

#include <algorithm>

#include "inference/likelihood_blocks.h"
#include "io/clade_output.h"
#include "io/tree_output.h"
#include "tree/clades.h"
#include "tree/polytomies.h"

namespace {

// The user's tree: a node that a resolved polytomy added is no node of it,
// and its children hang from its parent (those nodes are numbered last).
std::vector<ReportTreeNode> TreeNodes(const std::vector<NodeStruct*>& nodes,
                                      const std::vector<TaxonName>& Names) {
  const auto merged = std::count_if(
      nodes.begin(), nodes.end(), [](const NodeStruct* node) { return IsMergedWithParent(*node); });
  std::vector<ReportTreeNode> tree(nodes.size() - static_cast<std::size_t>(merged));
  for (const NodeStruct* node : nodes) {
    if (IsMergedWithParent(*node)) continue;
    ReportTreeNode& entry = tree[static_cast<std::size_t>(node->index)];
    const NodeStruct* parent = node->anc;
    while (parent != nullptr && IsMergedWithParent(*parent)) parent = parent->anc;
    entry.parent = parent != nullptr ? parent->index : -1;
    entry.length = node->anc != nullptr ? node->length : 0.0;
    entry.support = node->support;
    entry.name = !node->IsTip() ? NodeName(node->index)
                                : Names[static_cast<std::size_t>(node->taxon_index)].name;
  }
  return tree;
}

// The consensus as the report draws it, with each clade's share of the trees.
std::vector<ReportTreeNode> ConsensusNodes(const std::vector<ConsensusNode>& consensus,
                                           const std::vector<TaxonName>& Names) {
  std::vector<ReportTreeNode> tree(consensus.size());
  for (std::size_t n = 0; n < consensus.size(); ++n) {
    const ConsensusNode& node = consensus[n];
    for (const int child : node.children) {
      tree[static_cast<std::size_t>(child)].parent = static_cast<int>(n);
    }
    tree[n].length = n == 0 ? 0.0 : node.length;
    tree[n].support = n == 0 || node.taxon >= 0 ? -1.0 : node.probability;
    tree[n].name =
        node.taxon >= 0 ? Names[static_cast<std::size_t>(node.taxon)].name : CladeName(node.clade);
  }
  return tree;
}

}  // namespace

ResultUnits ResultUnits::OfOneTree(const std::vector<NodeStruct*>& down_pass,
                                   const std::vector<NodeStruct*>& up_pass,
                                   const Alignment& alignment) {
  ResultUnits units;
  std::vector<int> unit_of_index(down_pass.size(), -1);
  for (const NodeStruct* node : down_pass) {
    if (!IsNamedInteriorNode(*node)) continue;
    unit_of_index[static_cast<std::size_t>(node->index)] = static_cast<int>(units.names_.size());
    units.names_.push_back(NodeName(node->index));
    units.hidden_names_.push_back("psr_" + std::to_string(node->index));
    units.report_index_.push_back(node->index);
  }
  for (const NodeStruct* node : up_pass) {
    const int j = unit_of_index[static_cast<std::size_t>(node->index)];
    if (j >= 0) units.table_order_.push_back(static_cast<std::size_t>(j));
  }
  units.tree_text_ = LabelledNewick(*up_pass.front(), alignment.Names);
  units.report_tree_ = TreeNodes(up_pass, alignment.Names);
  return units;
}

ResultUnits ResultUnits::OfClades(CladeSummary summary, const Alignment& alignment) {
  ResultUnits units;
  std::vector<int> unit_of_clade(summary.clades.size(), -1);
  for (std::size_t c = 0; c < summary.clades.size(); ++c) {
    if (!summary.clades[c].in_results) continue;
    const std::size_t j = units.names_.size();
    unit_of_clade[c] = static_cast<int>(j);
    units.clade_of_.push_back(static_cast<int>(c));
    units.names_.push_back(CladeName(summary.clades[c].id));
    units.hidden_names_.push_back("psr_" + units.names_.back());
    units.table_order_.push_back(j);
    units.report_index_.push_back(-1);
  }
  // A clade is the consensus node whose id it has (clade ids count from 1).
  for (std::size_t n = 1; n < summary.consensus.size(); ++n) {
    const ConsensusNode& node = summary.consensus[n];
    if (node.taxon >= 0) continue;
    const int j = unit_of_clade[static_cast<std::size_t>(node.clade - 1)];
    if (j >= 0) units.report_index_[static_cast<std::size_t>(j)] = static_cast<int>(n);
  }
  units.tree_text_ = ConsensusNewick(summary.consensus, alignment.Names);
  units.report_tree_ = ConsensusNodes(summary.consensus, alignment.Names);
  units.clades_ = std::move(summary);
  return units;
}

const std::vector<int>& ResultUnits::trees(std::size_t j) const {
  static const std::vector<int> kOnlyTree = {0};
  if (!clades_) return kOnlyTree;
  return clades_->clades[static_cast<std::size_t>(clade_of_[j])].trees;
}

std::vector<NodeStruct*> ResultUnits::NodesIn(const std::vector<NodeStruct*>& down_pass,
                                              int n_taxa) const {
  std::vector<NodeStruct*> nodes;
  if (!clades_) {
    for (NodeStruct* node : down_pass) {
      if (IsNamedInteriorNode(*node)) nodes.push_back(node);
    }
    return nodes;
  }
  nodes.assign(size(), nullptr);
  std::vector<int> unit_of_clade(clades_->clades.size(), -1);
  for (std::size_t j = 0; j < size(); ++j)
    unit_of_clade[static_cast<std::size_t>(clade_of_[j])] = static_cast<int>(j);
  const std::vector<TaxonSet> clades = CladesByIndex(down_pass, n_taxa);
  for (NodeStruct* node : down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    const auto found = clades_->index_of.find(clades[static_cast<std::size_t>(node->index)]);
    if (found == clades_->index_of.end()) continue;
    const int j = unit_of_clade[static_cast<std::size_t>(found->second)];
    if (j >= 0) nodes[static_cast<std::size_t>(j)] = node;
  }
  return nodes;
}
