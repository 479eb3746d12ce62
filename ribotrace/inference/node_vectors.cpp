#include "inference/node_vectors.h"

NodeVectors::NodeVectors(const std::vector<NodeStruct*>& down_pass,
                         const std::vector<int>& structure, bool in_place, int n_categories)
    : n_entries_(CountEntries(structure)),
      n_categories_(static_cast<std::size_t>(n_categories > 0 ? n_categories : 1)),
      with_categories_(n_categories > 0) {
  long long n_interior = 0;
  long long n_below_root = 0;
  for (const NodeStruct* node : down_pass) {
    if (node->IsTip()) continue;
    ++n_interior;
    n_below_root += node->anc != nullptr ? 1 : 0;
  }
  const auto n_entries = static_cast<long long>(n_entries_);
  vectors_ = AllocateBuffer<double, LargePageAllocator<double>>(
      {n_interior, static_cast<long long>(n_categories_), n_entries},
      "CalcAncestralStates Error: Failure to allocate frac_likelihoods.", ErrorForm::kBailout);
  if (!in_place || n_categories > 0) {
    posteriors_ = AllocateBuffer<double, LargePageAllocator<double>>(
        {n_below_root, n_entries},
        "CalcAncestralStates Error: Failure to allocate posterior_probs.", ErrorForm::kBailout);
  }
  Reassign(down_pass);
}

void NodeVectors::Reassign(const std::vector<NodeStruct*>& down_pass) {
  interior_.clear();
  for (NodeStruct* node : down_pass) {
    if (!node->IsTip()) interior_.push_back(node);
  }
  std::size_t below_root = 0;
  for (std::size_t slot = 0; slot < interior_.size(); ++slot) {
    NodeStruct& node = *interior_[slot];
    node.frac_likelihoods = {vectors_.data() + slot * n_categories_ * n_entries_, n_entries_};
    if (node.anc == nullptr) continue;
    if (with_categories_) {
      node.category_posteriors = {node.frac_likelihoods.data(), n_categories_ * n_entries_};
    }
    node.posterior_probs =
        posteriors_.empty()
            ? node.frac_likelihoods
            : std::span<double>(posteriors_.data() + below_root * n_entries_, n_entries_);
    ++below_root;
  }
  if (with_categories_) UseCategory(0);
}

std::vector<PlannedBuffer> NodeVectors::Planned(long long n_taxa, const std::vector<int>& structure,
                                                bool in_place, int n_categories) {
  const auto n_entries = static_cast<long long>(CountEntries(structure));
  std::vector<PlannedBuffer> buffers = {
      {{n_taxa - 1, n_categories > 0 ? n_categories : 1, n_entries}, sizeof(double)}};
  if (!in_place || n_categories > 0) buffers.push_back({{n_taxa - 2, n_entries}, sizeof(double)});
  return buffers;
}

void NodeVectors::UseCategory(int k) {
  for (std::size_t slot = 0; slot < interior_.size(); ++slot) {
    NodeStruct& node = *interior_[slot];
    node.frac_likelihoods = {
        vectors_.data() + (slot * n_categories_ + static_cast<std::size_t>(k)) * n_entries_,
        n_entries_};
    if (node.anc != nullptr) node.posterior_probs = node.frac_likelihoods;
  }
}

void NodeVectors::UseMixture() {
  std::size_t below_root = 0;
  for (NodeStruct* node : interior_) {
    if (node->anc == nullptr) continue;
    node->posterior_probs = {posteriors_.data() + below_root++ * n_entries_, n_entries_};
  }
}
