#include "inference/posterior_states.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdio>

#include "base/ordered_batches.h"
#include "base/weighted_ranges.h"
#include "inference/likelihood_blocks.h"
#include "inference/tip_likelihoods.h"
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

// Writes the N posterior entries of the block: freq[x] x the three
// contributions, divided by their sum.
template <int N>
void PosteriorOfBlock(NodeStruct& node, const std::array<const NodeStruct*, 3>& neighbours,
                      const BranchMatrices& matrices, const TipLikelihoods& tips, int block,
                      const double* freq) {
  const std::size_t offset = tips.layout().Offset(block);
  std::array<double, N> product;
  for (int x = 0; x < N; ++x) product[x] = freq[x];
  std::array<double, N> scratch;
  std::array<double, N> contribution;
  for (const NodeStruct* w : neighbours) {
    BranchContribution<N>(BranchMatrix<N>(matrices, *w),
                          tips.Of<N>(*w, block, offset, scratch.data()), contribution.data());
    for (int x = 0; x < N; ++x) product[x] *= contribution[x];
  }
  double sum = 0.0;
  for (int x = 0; x < N; ++x) sum += product[x];
  const bool usable = sum > 0.0 && std::isfinite(sum);
  double* entries = node.posterior_probs.data() + offset;
  for (int x = 0; x < N; ++x) entries[x] = usable ? product[x] / sum : 0.0;
}

}  // namespace

void GetAncestralStatesFromPosterior(const std::vector<NodeStruct*>& up_pass,
                                     const BranchMatrices& matrices,
                                     const std::vector<SiteRecord>& SS, const Alignment& alignment,
                                     const ModelParams& parameters, const PassOptions& options) {
  const BlockLayout layout(alignment.structure);
  const TipLikelihoods tips(SS, alignment, layout, options.stem_codes_as_sets);
  const double* doublet_freq = parameters.stem.frequencies.data();
  const double* loop_freq = parameters.loop.frequencies.data();
  WorkInWeightedRanges(
      BlockWork(layout), ResolveThreadCount(options.threads),
      [&](std::size_t first, std::size_t last) {
        for (NodeStruct* node : up_pass) {
          if (!IsInteriorBelowRoot(*node)) continue;
          const std::array<const NodeStruct*, 3> neighbours = {node->left, node->right,
                                                               &ThirdNeighbour(*node)};
          for (int b = static_cast<int>(first); b < static_cast<int>(last); ++b) {
            if (layout.IsDoublet(b)) {
              PosteriorOfBlock<kNumDoublets>(*node, neighbours, matrices, tips, b, doublet_freq);
            } else {
              PosteriorOfBlock<kNumNucleotides>(*node, neighbours, matrices, tips, b, loop_freq);
            }
          }
        }
      });
  if (options.listing) ShowPosteriors(up_pass, alignment.structure);
}

void ShowPosteriors(const std::vector<NodeStruct*>& up_pass, const std::vector<int>& structure) {
  const BlockLayout layout(structure);
  std::printf("\nPosterior probabilities --\n");
  for (const NodeStruct* node : up_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    std::printf("\nNode %d:\n", node->index);
    for (int block = 0; block < layout.n_blocks(); ++block) {
      const int column = layout.Column(block);
      std::printf("\tSite %d (%d)\n\t\t", block, structure[static_cast<std::size_t>(column)]);
      PrintBlock(node->posterior_probs.data() + layout.Offset(block),
                 layout.IsDoublet(block) ? kNumDoublets : kNumNucleotides);
    }
  }
}
