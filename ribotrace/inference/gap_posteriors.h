// The presence/absence characters (gap_characters.h) on the tree: a
// two-state continuous-time model per character, its likelihood by pruning
// and the exact marginal posterior of absence at every interior node below
// the root, from the same inside and outside passes as the state
// posteriors (marginal_posteriors.h), two entries per node and character.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "inference/fractional_likelihoods.h"
#include "inference/gap_characters.h"
#include "tree/node_struct.h"

constexpr int kGapPresent = 0;
constexpr int kGapAbsent = 1;

// The transition probabilities of a branch, row: state at the ancestral
// end (present, absent). With stationary absence frequency pi and rate r
// the rate matrix is r x [[-pi, pi], [1 - pi, -(1 - pi)]], whose
// exponential is P(t) = Pi + (I - Pi) x exp(-r t), Pi having (1 - pi, pi)
// in both rows. `decay` is exp(-r t). pi = 0 or 1 makes the character
// fixed: nothing enters the absent (present) state.
inline std::array<double, 4> GapTransitionMatrix(double pi, double decay) {
  const double change = 1.0 - decay;
  return {1.0 - pi * change, pi * change, (1.0 - pi) * change, pi + (1.0 - pi) * decay};
}

// True where the character is absent in some taxa and not in all: only
// such a character says anything about the rate; the others are fixed
// present (or absent) at every node, whatever the rate.
inline bool IsVariableGapCharacter(double absence_frequency) {
  return absence_frequency > 0.0 && absence_frequency < 1.0;
}

// The log-likelihood of every character's tip observations on the tree
// (branch lengths as read, `length`) at `rate`, summed. A fixed character
// contributes 0 (its probability is 1). Blocks are rescaled as the
// fractional likelihoods are; rescale_threshold is a test hook. -inf when
// some character is impossible (taxa that differ are joined only by
// branches of length 0).
double GapLogLikelihood(const std::vector<NodeStruct*>& down_pass, const GapCharacters& characters,
                        double rate, double rescale_threshold = kRescaleThreshold);

// The probability that each character is absent at each interior node
// below the root.
class GapPosteriors {
 public:
  GapPosteriors() = default;
  GapPosteriors(const std::vector<NodeStruct*>& down_pass, std::size_t n_characters);

  // The node's absence probabilities, one per character.
  const double* OfNode(const NodeStruct& node) const { return &p_gap_[Row(node)]; }
  double* OfNode(const NodeStruct& node) { return &p_gap_[Row(node)]; }

 private:
  std::size_t Row(const NodeStruct& node) const {
    return static_cast<std::size_t>(row_of_index_[static_cast<std::size_t>(node.index)]) *
           n_characters_;
  }
  std::size_t n_characters_ = 0;
  std::vector<int> row_of_index_;  // by node index; -1 for tips and the root
  std::vector<double> p_gap_;      // node-major
};

// The marginal posteriors at `rate`: at node v, P(absent) proportional to
// O_v(absent) x C_left(absent) x C_right(absent), as GetMarginalPosteriors
// forms them, with (1 - pi, pi) at the root. A fixed character gets pi
// itself (0 or 1) at every node.
GapPosteriors GetGapPosteriors(const std::vector<NodeStruct*>& down_pass,
                               const GapCharacters& characters, double rate,
                               double rescale_threshold = kRescaleThreshold);
