#include "inference/posterior_states.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "base/diagnostics.h"
#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"

namespace {

// The neighbour that stands for everything above the node. Below the root
// the root itself has no branch of its own, so the sibling's subtree, seen
// through the sibling's branch, takes its place.
const NodeStruct& ThirdNeighbour(const NodeStruct& node) {
  const NodeStruct& anc = *node.anc;
  if (anc.anc != nullptr) return anc;
  return anc.left == &node ? *anc.right : *anc.left;
}

// Writes the N posterior entries of the block at `offset`: freq[x] x the
// three contributions, divided by their sum.
template <int N>
void PosteriorOfBlock(NodeStruct& node, const std::array<const NodeStruct*, 3>& neighbours,
                      std::size_t offset, const double* freq) {
  const std::size_t entry = offset + EntriesOffset<N>();
  std::array<double, N> product;
  for (int x = 0; x < N; ++x) product[x] = freq[x];
  std::array<double, N> contribution;
  for (const NodeStruct* w : neighbours) {
    BranchContribution<N>(BranchMatrix<N>(*w), &w->frac_likelihoods[entry], contribution.data());
    for (int x = 0; x < N; ++x) product[x] *= contribution[x];
  }
  double sum = 0.0;
  for (int x = 0; x < N; ++x) sum += product[x];
  const bool usable = sum > 0.0 && std::isfinite(sum);
  double* entries = &node.posterior_probs[entry];
  for (int x = 0; x < N; ++x) entries[x] = usable ? product[x] / sum : 0.0;
}

}  // namespace

void GetAncestralStatesFromPosterior(const std::vector<NodeStruct*>& up_pass,
                                     const std::vector<int>& structure,
                                     const ParameterRecord& parameters) {
  const std::size_t n_entries = static_cast<std::size_t>(CountBlocks(structure)) * kBlockSize;
  const double* doublet_freq = &parameters[kDoubletFrequenciesSlot];
  const double* loop_freq = &parameters[kLoopFrequenciesSlot];
  for (NodeStruct* node : up_pass) {
    node->posterior_probs.assign(n_entries, 0.0);
    if (!IsInteriorBelowRoot(*node)) continue;
    const std::array<const NodeStruct*, 3> neighbours = {node->left, node->right,
                                                         &ThirdNeighbour(*node)};
    std::size_t offset = 0;
    for (const int pairing : structure) {
      if (!OwnsBlock(pairing)) continue;
      if (pairing == kOpeningColumn) {
        PosteriorOfBlock<kNumDoublets>(*node, neighbours, offset, doublet_freq);
      } else {
        PosteriorOfBlock<kNumNucleotides>(*node, neighbours, offset, loop_freq);
      }
      offset += kBlockSize;
    }
  }
  if (show_debug_info) ShowPosteriors(up_pass, structure);
}

void ShowPosteriors(const std::vector<NodeStruct*>& up_pass, const std::vector<int>& structure) {
  std::printf("\nPosterior probabilities --\n");
  for (const NodeStruct* node : up_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    std::printf("\nNode %d:\n", node->index);
    int block = 0;
    for (const int pairing : structure) {
      if (!OwnsBlock(pairing)) continue;
      std::printf("\tSite %d (%d)\n\t\t", block, pairing);
      PrintBlock(&node->posterior_probs[static_cast<std::size_t>(block) * kBlockSize]);
      ++block;
    }
  }
}
