#include "run/unit_means.h"

UnitMeans::UnitMeans(std::size_t n_units, std::size_t block_entries, std::size_t n_sites,
                     bool one_tree)
    : block_entries_(block_entries), n_sites_(n_sites) {
  if (one_tree) return;
  posteriors_.assign(n_units * block_entries, 0.0);
  gaps_.assign(n_units * n_sites, 0.0);
}

void UnitMeans::Add(const std::vector<NodeStruct*>& nodes, const GapReconstruction& gaps) {
  if (posteriors_.empty() && gaps_.empty()) {
    nodes_.assign(nodes.begin(), nodes.end());
    one_gaps_ = &gaps;
    return;
  }
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    if (nodes[j] == nullptr) continue;
    double* sum = &posteriors_[j * block_entries_];
    for (std::size_t e = 0; e < block_entries_; ++e) sum[e] += nodes[j]->posterior_probs[e];
    double* gap_sum = &gaps_[j * n_sites_];
    for (std::size_t c = 0; c < n_sites_; ++c) gap_sum[c] += gaps.PGap(*nodes[j], c);
  }
}

void UnitMeans::Finish(const std::vector<std::size_t>& n_trees) {
  if (one_gaps_ != nullptr) return;
  for (std::size_t j = 0; j < n_trees.size(); ++j) {
    const auto n = static_cast<double>(n_trees[j]);
    for (std::size_t e = 0; e < block_entries_; ++e) posteriors_[j * block_entries_ + e] /= n;
    for (std::size_t c = 0; c < n_sites_; ++c) gaps_[j * n_sites_ + c] /= n;
  }
}

std::span<const double> UnitMeans::Posteriors(std::size_t j) const {
  if (one_gaps_ != nullptr) return {nodes_[j]->posterior_probs.data(), block_entries_};
  return {&posteriors_[j * block_entries_], block_entries_};
}

std::vector<double> UnitMeans::Gaps(std::size_t j) const {
  std::vector<double> p_gap(n_sites_);
  for (std::size_t c = 0; c < n_sites_; ++c) {
    p_gap[c] = one_gaps_ != nullptr ? one_gaps_->PGap(*nodes_[j], c) : gaps_[j * n_sites_ + c];
  }
  return p_gap;
}
