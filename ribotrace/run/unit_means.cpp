#include "run/unit_means.h"

UnitMeans::UnitMeans(std::size_t n_units, std::size_t block_entries, std::size_t n_sites)
    : block_entries_(block_entries),
      n_sites_(n_sites),
      posteriors_(n_units * block_entries, 0.0),
      gaps_(n_units * n_sites, 0.0) {}

void UnitMeans::Add(const std::vector<NodeStruct*>& nodes, const GapReconstruction& gaps) {
  for (std::size_t j = 0; j < nodes.size(); ++j) {
    if (nodes[j] == nullptr) continue;
    double* sum = &posteriors_[j * block_entries_];
    for (std::size_t e = 0; e < block_entries_; ++e) sum[e] += nodes[j]->posterior_probs[e];
    double* gap_sum = &gaps_[j * n_sites_];
    for (std::size_t c = 0; c < n_sites_; ++c) gap_sum[c] += gaps.PGap(*nodes[j], c);
  }
}

void UnitMeans::Finish(const std::vector<std::size_t>& n_trees) {
  for (std::size_t j = 0; j < n_trees.size(); ++j) {
    const auto n = static_cast<double>(n_trees[j]);
    for (std::size_t e = 0; e < block_entries_; ++e) posteriors_[j * block_entries_ + e] /= n;
    for (std::size_t c = 0; c < n_sites_; ++c) gaps_[j * n_sites_ + c] /= n;
  }
}
