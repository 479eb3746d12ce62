// Conditional likelihoods at a tip: 1.0 for every state the observed
// character allows, 0.0 for the others. The two rules differ on ambiguity
// codes: a loop column honours them (R allows A and G), while a stem pair
// treats any position that is not a plain nucleotide as fully unknown.
//
// Tips keep no vectors of their own: the passes make a tip's block from its
// codes whenever they need it, which costs less than reading it back.
#pragma once

#include <vector>

#include "base/alignment.h"
#include "inference/likelihood_blocks.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// Writes the 4 entries (A, C, G, U) of a loop column's block from its
// state-set code.
void IntializeSingeltonFracLikelihoodsAtTips(double* entries, int code);

// Writes the 16 entries of a stem pair's block from the state-set codes of
// the opening column (first) and its partner (second).
void IntializeDoubletFracLikelihoodsAtTips(double* entries, int first, int second);

// The rule MrBayes applies at a stem pair: each position allows the
// nucleotides of its code (as at a loop column, so R allows A and G), and
// the pair allows every doublet of the two sets.
void IntializeDoubletStateSetsAtTips(double* entries, int first, int second);

// The tips' blocks, made from the alignment's codes on demand.
class TipLikelihoods {
 public:
  // With stem_codes_as_sets, stem pairs follow
  // IntializeDoubletStateSetsAtTips, otherwise
  // IntializeDoubletFracLikelihoodsAtTips.
  TipLikelihoods(const std::vector<SiteRecord>& SS, const Alignment& alignment,
                 const BlockLayout& layout, bool stem_codes_as_sets)
      : SS_(SS), alignment_(alignment), layout_(layout), stem_codes_as_sets_(stem_codes_as_sets) {}

  // Writes the tip's N entries of the block into `entries`. The tip's
  // taxon_index must be a row of the alignment.
  template <int N>
  void Fill(const NodeStruct& tip, int block, double* entries) const {
    const int column = layout_.Column(block);
    const int code = alignment_.Code(tip.taxon_index, column);
    if constexpr (N == 4) {
      IntializeSingeltonFracLikelihoodsAtTips(entries, code);
    } else {
      const int partner = SS_[static_cast<std::size_t>(column)].partner;
      const int partner_code = alignment_.Code(tip.taxon_index, partner);
      if (stem_codes_as_sets_) {
        IntializeDoubletStateSetsAtTips(entries, code, partner_code);
      } else {
        IntializeDoubletFracLikelihoodsAtTips(entries, code, partner_code);
      }
    }
  }

  // The node's N entries of the block, which begins at `offset`: its own
  // fractional likelihoods, or a tip's written into `scratch`.
  template <int N>
  const double* Of(const NodeStruct& node, int block, std::size_t offset, double* scratch) const {
    if (!node.IsTip()) return node.frac_likelihoods.data() + offset;
    Fill<N>(node, block, scratch);
    return scratch;
  }

  const BlockLayout& layout() const { return layout_; }

 private:
  const std::vector<SiteRecord>& SS_;
  const Alignment& alignment_;
  const BlockLayout& layout_;
  bool stem_codes_as_sets_;
};
