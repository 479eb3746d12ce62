// What happened on each branch at each stem pair and loop column, given the
// data: the classes of change between the parent's and the child's doublet
// (compensatory, one-sided, broken, restored) and the expected number of
// substitutions, exact under the model. Both come from the joint posterior
// of a branch's two ends, which the outside pass has at hand: for the
// branch above c with parent v and sibling s,
//   J(x, y) ~ O_v(x) x C_s(x) x P_c[x][y] x L_c(y),
// with O_v the outside vector (the frequencies at the root), C_s the
// sibling's contribution (where v has more children, the product of all
// the siblings') and L_c c's fractional likelihoods.
#pragma once

#include <cstddef>
#include <vector>

#include "inference/rate_categories.h"
#include "model/expected_substitutions.h"
#include "model/partition_models.h"
#include "tree/node_struct.h"

// The figures of one branch at one block. For a loop column only e_subs.
struct BranchFigures {
  double p_cbc = 0.0;      // canonical at both ends, both sides differ
  double p_hemi = 0.0;     // canonical at both ends, one side differs
  double p_break = 0.0;    // canonical at the parent, not at the child
  double p_restore = 0.0;  // not canonical at the parent, canonical at the child
  double e_subs = 0.0;     // expected single-nucleotide substitutions

  BranchFigures& operator+=(const BranchFigures& other);
  BranchFigures operator*(double weight) const;
  friend BranchFigures operator+(BranchFigures sum, const BranchFigures& other) {
    return sum += other;
  }
};

// Canonical pairs: A-U, U-A, G-C, C-G, G-U and U-G (doublet 5' x 4 + 3',
// nucleotides A C G U as 0-3). The pairs that sum to 3 are exactly A-U,
// U-A, C-G and G-C, those that sum to 5 exactly G-U and U-G.
constexpr bool IsCanonicalDoublet(int doublet) {
  const int sum = doublet / 4 + doublet % 4;
  return sum == 3 || sum == 5;
}

// Every branch's figures at every block, by the child's node index.
class BranchChanges {
 public:
  BranchChanges() = default;
  BranchChanges(std::size_t n_nodes, int n_blocks)
      : n_blocks_(static_cast<std::size_t>(n_blocks)), figures_(n_nodes * n_blocks_) {}

  BranchFigures& At(const NodeStruct& child, int block) {
    return figures_[static_cast<std::size_t>(child.index) * n_blocks_ +
                    static_cast<std::size_t>(block)];
  }
  const BranchFigures& At(const NodeStruct& child, int block) const {
    return figures_[static_cast<std::size_t>(child.index) * n_blocks_ +
                    static_cast<std::size_t>(block)];
  }
  std::size_t n_blocks() const { return n_blocks_; }
  std::vector<BranchFigures>& figures() { return figures_; }
  const std::vector<BranchFigures>& figures() const { return figures_; }

 private:
  std::size_t n_blocks_ = 0;
  std::vector<BranchFigures> figures_;
};

// What the outside pass records the figures into, with the expectations
// given the ends at the times of the pass's matrices.
class BranchChangeRecorder {
 public:
  // Loop columns over loop_rate x each branch's length, stem pairs over
  // stem_time x it, as the branch matrices of the pass.
  BranchChangeRecorder(BranchChanges& changes, const std::vector<NodeStruct*>& nodes,
                       const PartitionModels& models, double loop_rate, double stem_time);

  // One branch at one block, from the four factors of its joint: `above`
  // (O_v, or the frequencies), `sibling` (C_s, or the siblings' product),
  // the branch's N x N matrix p and the child's likelihoods. A block that
  // no pair of states explains gets all 0.
  void RecordDoublet(const NodeStruct& child, int block, const double* above, const double* sibling,
                     const double* p, const double* likelihood);
  void RecordLoop(const NodeStruct& child, int block, const double* above, const double* sibling,
                  const double* p, const double* likelihood);

 private:
  BranchChanges& changes_;
  BranchSubstitutions expected_;
};

// The figures mixed over gamma rate categories: at each block the sum over
// k of P(k | data at the block) x category k's figures (each given k).
BranchChanges MixBranchChanges(const std::vector<BranchChanges>& by_category,
                               const CategoryPosteriors& categories);
