// Gaps drawn from the tree (--gaps=tree or indel) instead of at each
// column's gap frequency: a sampled row takes each character's presence
// from its node's absence posterior; a hidden row draws the node's presence
// the same way and carries it along the hidden branch under the gap model
// (under insertions and deletions, a present character may be deleted
// there; an absent one stays absent). A stem pair
// is one character: both its columns get the gap, or neither.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "tree/node_struct.h"

class TreeGapDraws {
 public:
  // hidden_length: the hidden branch, scaled_length x lambda.
  TreeGapDraws(const GapReconstruction& gaps, double hidden_length);

  // The characters that draw: those absent in at least one taxon (the
  // others are present at every node). A sampled row draws once per such
  // character, a hidden row twice.
  std::size_t n_drawn() const { return drawn_.size(); }

  // Puts the node's gaps into `codes`, drawing from `state` (the state
  // before the row's first gap draw): per drawn character, in column
  // order, one draw u, absent when P(absent) > u; a hidden row then draws
  // again for the end of the hidden branch, absent when P(absent at the end
  // | the node's drawn state) > u.
  void Apply(const NodeStruct& node, bool hidden, std::int32_t state, int* codes) const;

 private:
  struct Drawn {
    std::size_t character;
    std::size_t first_column;
    int second_column;  // -1 for a loop column
    // P(absent at the end of the hidden branch), from present and from absent.
    std::array<double, 2> absent_after_hidden;
  };
  const GapPosteriors& posteriors_;
  std::vector<Drawn> drawn_;
};
