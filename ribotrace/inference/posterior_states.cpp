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

// The node's neighbours: its children, then what stands for everything
// above it. Below the root the root itself has no branch of its own, so the
// siblings' subtrees, seen through their branches, take its place.
void Neighbours(const NodeStruct& node, std::vector<const NodeStruct*>& neighbours) {
  neighbours.assign(node.children.begin(), node.children.end());
  const NodeStruct& anc = *node.anc;
  if (anc.anc != nullptr) {
    neighbours.push_back(&anc);
    return;
  }
  for (const NodeStruct* sibling : anc.children) {
    if (sibling != &node) neighbours.push_back(sibling);
  }
}

// Writes the N posterior entries of the block: freq[x] x the neighbours'
// contributions, divided by their sum.
template <int N>
void PosteriorOfBlock(NodeStruct& node, const std::vector<const NodeStruct*>& neighbours,
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
        std::vector<const NodeStruct*> neighbours;
        for (NodeStruct* node : up_pass) {
          if (!IsInteriorBelowRoot(*node)) continue;
          Neighbours(*node, neighbours);
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
