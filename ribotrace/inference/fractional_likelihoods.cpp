#include "inference/fractional_likelihoods.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "base/diagnostics.h"
#include "inference/likelihood_blocks.h"
#include "sequence/state_coding.h"
#include "inference/tip_likelihoods.h"

int RescaleBlock(double* entries, int n, double threshold) {
  double largest = *std::max_element(entries, entries + n);
  int count = 0;
  while (largest > 0.0 && largest < threshold) {
    for (int i = 0; i < n; ++i) entries[i] *= kRescaleFactor;
    largest *= kRescaleFactor;
    ++count;
  }
  return count;
}

namespace {

void InitializeTip(NodeStruct& tip, const std::vector<SiteRecord>& SS, const Alignment& alignment,
                   bool stem_codes_as_sets) {
  if (tip.taxon_index < 0 || tip.taxon_index >= alignment.n_taxa) {
    Fail("GetFractionalLikelihoods Error: The tree's tip " + Quoted(tip.label) +
         " matches no taxon of the data file.");
  }
  std::size_t offset = 0;
  for (int c = 0; c < alignment.n_sites; ++c) {
    const int pairing = alignment.structure[c];
    if (!OwnsBlock(pairing)) continue;
    const int code = alignment.Code(tip.taxon_index, c);
    if (pairing == kLoopColumn) {
      IntializeSingeltonFracLikelihoodsAtTips(tip, offset, code);
    } else {
      const int partner_code = alignment.Code(tip.taxon_index, SS[c].partner);
      if (stem_codes_as_sets) {
        IntializeDoubletStateSetsAtTips(tip, offset, code, partner_code);
      } else {
        IntializeDoubletFracLikelihoodsAtTips(tip, offset, code, partner_code);
      }
    }
    offset += kBlockSize;
  }
}

// The node's N entries of the block at `offset`: the product of both
// children's contributions, rescaled if needed. Returns the rescaling count.
template <int N>
int CombineBlock(NodeStruct& node, std::size_t offset, double threshold) {
  const std::size_t entry = offset + EntriesOffset<N>();
  std::array<double, N> from_left;
  std::array<double, N> from_right;
  ChildContributions<N>(node, entry, from_left.data(), from_right.data());
  double* entries = &node.frac_likelihoods[entry];
  for (int x = 0; x < N; ++x) entries[x] = from_left[x] * from_right[x];
  return RescaleBlock(entries, N, threshold);
}

void CombineChildren(NodeStruct& node, const std::vector<int>& structure, double threshold,
                     int* counts) {
  std::size_t offset = 0;
  for (const int pairing : structure) {
    if (!OwnsBlock(pairing)) continue;
    *counts++ = pairing == kOpeningColumn ? CombineBlock<kNumDoublets>(node, offset, threshold)
                                          : CombineBlock<kNumNucleotides>(node, offset, threshold);
    offset += kBlockSize;
  }
}

void ShowFractionalLikelihoods(const std::vector<NodeStruct*>& down_pass, int n_blocks) {
  std::printf("\nFractional likelihoods --\n");
  for (const NodeStruct* node : down_pass) {
    std::printf("\nNode %d:\n", node->index);
    for (int n = 0; n < n_blocks; ++n) {
      std::printf("\tSite %d\n\t\t", n);
      PrintBlock(&node->frac_likelihoods[static_cast<std::size_t>(n) * kBlockSize]);
    }
  }
}

}  // namespace

FractionalScaling GetFractionalLikelihoods(const std::vector<NodeStruct*>& down_pass,
                                           const std::vector<SiteRecord>& SS,
                                           const Alignment& alignment,
                                           const FractionalOptions& options) {
  FractionalScaling scaling;
  scaling.n_blocks = CountBlocks(alignment.structure);
  const std::size_t n_blocks = static_cast<std::size_t>(scaling.n_blocks);
  scaling.counts.assign(down_pass.size() * n_blocks, 0);
  for (std::size_t position = 0; position < down_pass.size(); ++position) {
    NodeStruct& node = *down_pass[position];
    node.frac_likelihoods.assign(n_blocks * kBlockSize, 0.0);
    if (node.left == nullptr && node.right == nullptr) {
      InitializeTip(node, SS, alignment, options.stem_codes_as_sets);
    } else if (node.left == nullptr || node.right == nullptr) {
      Fail("GetFractionalLikelihoods Error: Node " + std::to_string(node.index) +
           " has one child; the tree must be binary.");
    } else {
      CombineChildren(node, alignment.structure, options.rescale_threshold,
                      scaling.counts.data() + position * n_blocks);
    }
  }
  if (show_debug_info) ShowFractionalLikelihoods(down_pass, scaling.n_blocks);
  return scaling;
}
