#include "inference/fractional_likelihoods.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "bailout/bailout.h"
#include "bailout/quoted.h"
#include "base/ordered_batches.h"
#include "base/weighted_ranges.h"
#include "inference/likelihood_blocks.h"
#include "inference/tip_likelihoods.h"
#include "sequence/state_coding.h"

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

void CheckTree(const std::vector<NodeStruct*>& down_pass, const Alignment& alignment) {
  for (const NodeStruct* node : down_pass) {
    if (node->IsTip()) {
      if (node->taxon_index < 0 || node->taxon_index >= alignment.n_taxa) {
        Fail("GetFractionalLikelihoods Error: The tree's tip " + Quoted(node->label) +
             " matches no taxon of the data file.");
      }
    } else if (node->children.size() == 1) {
      // A node with one child is no branching point: its two branches are
      // one, which a tree text never makes.
      Fail("GetFractionalLikelihoods Error: Node " + std::to_string(node->index) +
           " has one child; the tree must be binary.");
    }
  }
}

// The node's N entries of the block: the product of its children's
// contributions in their order, rescaled if needed. Returns the rescaling
// count. K: the node's number of children, 0 for any.
template <int N, std::size_t K>
int CombineBlock(NodeStruct& node, const BranchMatrices& matrices, const TipLikelihoods& tips,
                 int block, double threshold) {
  const std::size_t offset = tips.layout().Offset(block);
  std::array<double, N> scratch;
  std::array<double, N> product;
  std::array<double, N> contribution;
  double* entries = node.frac_likelihoods.data() + offset;
  // The product starts from the first child's contribution, so that two
  // children give from_first x from_second and no factor of 1.0; the
  // arrays on the stack keep the compiler free of aliasing with the
  // matrices, and the last product goes straight into the entries.
  const std::size_t n_children = K > 0 ? K : node.children.size();
  const NodeStruct& first = *node.children.front();
  BranchContribution<N>(BranchMatrix<N>(matrices, first),
                        tips.Of<N>(first, block, offset, scratch.data()), product.data());
  for (std::size_t c = 1; c < n_children; ++c) {
    const NodeStruct& child = *node.children[c];
    BranchContribution<N>(BranchMatrix<N>(matrices, child),
                          tips.Of<N>(child, block, offset, scratch.data()), contribution.data());
    double* out = c + 1 == n_children ? entries : product.data();
    for (int x = 0; x < N; ++x) out[x] = product[x] * contribution[x];
  }
  return RescaleBlock(entries, N, threshold);
}

// Blocks [first, last) of every interior node, children before parents.
void CombineBlocks(const std::vector<NodeStruct*>& down_pass, const BranchMatrices& matrices,
                   const TipLikelihoods& tips, double threshold, int first, int last,
                   long long* counts) {
  const BlockLayout& layout = tips.layout();
  for (NodeStruct* node : down_pass) {
    if (node->IsTip()) continue;
    // Nodes of two children, nearly all of them, take the same code with
    // the count fixed, so that the compiler unrolls the loop over them.
    const bool binary = node->children.size() == 2;
    for (int b = first; b < last; ++b) {
      if (layout.IsDoublet(b)) {
        counts[b] += binary ? CombineBlock<kNumDoublets, 2>(*node, matrices, tips, b, threshold)
                            : CombineBlock<kNumDoublets, 0>(*node, matrices, tips, b, threshold);
      } else {
        counts[b] += binary ? CombineBlock<kNumNucleotides, 2>(*node, matrices, tips, b, threshold)
                            : CombineBlock<kNumNucleotides, 0>(*node, matrices, tips, b, threshold);
      }
    }
  }
}

void ShowFractionalLikelihoods(const std::vector<NodeStruct*>& down_pass,
                               const TipLikelihoods& tips) {
  const BlockLayout& layout = tips.layout();
  std::printf("\nFractional likelihoods --\n");
  std::array<double, kNumDoublets> scratch;
  for (const NodeStruct* node : down_pass) {
    std::printf("\nNode %d:\n", node->index);
    for (int n = 0; n < layout.n_blocks(); ++n) {
      std::printf("\tSite %d\n\t\t", n);
      const std::size_t offset = layout.Offset(n);
      if (layout.IsDoublet(n)) {
        PrintBlock(tips.Of<kNumDoublets>(*node, n, offset, scratch.data()), kNumDoublets);
      } else {
        PrintBlock(tips.Of<kNumNucleotides>(*node, n, offset, scratch.data()), kNumNucleotides);
      }
    }
  }
}

}  // namespace

FractionalScaling GetFractionalLikelihoods(const std::vector<NodeStruct*>& down_pass,
                                           const BranchMatrices& matrices,
                                           const std::vector<SiteRecord>& SS,
                                           const Alignment& alignment, const PassOptions& options) {
  CheckTree(down_pass, alignment);
  const BlockLayout layout(alignment.structure);
  const TipLikelihoods tips(SS, alignment, layout, options.stem_codes_as_sets);
  FractionalScaling scaling;
  scaling.n_blocks = layout.n_blocks();
  scaling.counts.assign(static_cast<std::size_t>(scaling.n_blocks), 0);
  WorkInWeightedRanges(BlockWork(layout), ResolveThreadCount(options.threads),
                       [&](std::size_t first, std::size_t last) {
                         CombineBlocks(down_pass, matrices, tips, options.rescale_threshold,
                                       static_cast<int>(first), static_cast<int>(last),
                                       scaling.counts.data());
                       });
  if (options.listing) ShowFractionalLikelihoods(down_pass, tips);
  return scaling;
}
