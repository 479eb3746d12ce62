#include "inference/gap_posteriors.h"

#include <algorithm>
#include <cmath>

#include "inference/likelihood_blocks.h"

namespace {

bool IsInterior(const NodeStruct& node) { return node.left != nullptr && node.right != nullptr; }

// The inside and outside passes of one character at a time, two entries
// per node by node index. Characters are independent, so one character's
// passes over the whole tree reuse the same small arrays.
class CharacterPasses {
 public:
  CharacterPasses(const std::vector<NodeStruct*>& down_pass, double rate, double threshold)
      : down_pass_(down_pass), threshold_(threshold) {
    std::size_t n_indices = 0;
    for (const NodeStruct* node : down_pass) {
      n_indices = std::max(n_indices, static_cast<std::size_t>(node->index) + 1);
    }
    decay_.assign(n_indices, 1.0);
    inside_.assign(2 * n_indices, 0.0);
    outside_.assign(2 * n_indices, 0.0);
    for (const NodeStruct* node : down_pass) {
      if (node->anc != nullptr) decay_[Slot(*node)] = std::exp(-rate * node->length);
    }
  }

  // Fills every node's inside entries for character k (children before
  // parents) and returns the character's log-likelihood.
  double Inside(const GapCharacters& characters, std::size_t k) {
    const double pi = characters.absence_frequency[k];
    int rescaled = 0;
    for (const NodeStruct* node : down_pass_) {
      double* entries = Inside(*node);
      if (!IsInterior(*node)) {
        const GapObservation seen = characters.Observed(node->taxon_index, k);
        entries[kGapPresent] = seen == GapObservation::kAbsent ? 0.0 : 1.0;
        entries[kGapAbsent] = seen == GapObservation::kPresent ? 0.0 : 1.0;
        continue;
      }
      std::array<double, 2> from_left;
      std::array<double, 2> from_right;
      Contributions(*node, pi, from_left.data(), from_right.data());
      for (int x = 0; x < 2; ++x) entries[x] = from_left[x] * from_right[x];
      rescaled += RescaleBlock(entries, 2, threshold_);
    }
    const double* root = Inside(*down_pass_.back());
    return std::log((1.0 - pi) * root[kGapPresent] + pi * root[kGapAbsent]) -
           rescaled * std::log(kRescaleFactor);
  }

  // After Inside() for the same character: writes P(absent) of character
  // k at every interior node below the root (parents before children).
  void Outside(const GapCharacters& characters, std::size_t k, GapPosteriors& posteriors) {
    const double pi = characters.absence_frequency[k];
    for (auto it = down_pass_.rbegin(); it != down_pass_.rend(); ++it) {
      const NodeStruct& node = **it;
      if (!IsInterior(node)) continue;
      double* above = Outside(node);
      if (node.anc == nullptr) {
        above[kGapPresent] = 1.0 - pi;
        above[kGapAbsent] = pi;
      }
      std::array<double, 2> from_left;
      std::array<double, 2> from_right;
      Contributions(node, pi, from_left.data(), from_right.data());
      if (node.anc != nullptr) {
        const double present =
            above[kGapPresent] * from_left[kGapPresent] * from_right[kGapPresent];
        const double absent = above[kGapAbsent] * from_left[kGapAbsent] * from_right[kGapAbsent];
        const double sum = present + absent;
        posteriors.OfNode(node)[k] = sum > 0.0 && std::isfinite(sum) ? absent / sum : 0.0;
      }
      PassDown(*node.left, pi, above, from_right);
      PassDown(*node.right, pi, above, from_left);
    }
  }

 private:
  std::size_t Slot(const NodeStruct& node) const { return static_cast<std::size_t>(node.index); }
  double* Inside(const NodeStruct& node) { return &inside_[2 * Slot(node)]; }
  double* Outside(const NodeStruct& node) { return &outside_[2 * Slot(node)]; }

  void Contributions(const NodeStruct& node, double pi, double* from_left, double* from_right) {
    const std::array<double, 4> left = GapTransitionMatrix(pi, decay_[Slot(*node.left)]);
    const std::array<double, 4> right = GapTransitionMatrix(pi, decay_[Slot(*node.right)]);
    BranchContribution<2>(left.data(), Inside(*node.left), from_left);
    BranchContribution<2>(right.data(), Inside(*node.right), from_right);
  }

  // The outside entries of an interior child: out[y] = sum over x of
  // above[x] x sibling[x] x P_child[x][y].
  void PassDown(const NodeStruct& child, double pi, const double* above,
                const std::array<double, 2>& sibling) {
    if (!IsInterior(child)) return;
    const std::array<double, 4> p = GapTransitionMatrix(pi, decay_[Slot(child)]);
    double* out = Outside(child);
    for (int y = 0; y < 2; ++y) {
      out[y] = above[0] * sibling[0] * p[static_cast<std::size_t>(y)] +
               above[1] * sibling[1] * p[static_cast<std::size_t>(2 + y)];
    }
    RescaleBlock(out, 2, threshold_);
  }

  const std::vector<NodeStruct*>& down_pass_;
  double threshold_;
  std::vector<double> decay_;    // exp(-rate x length) of each node's branch
  std::vector<double> inside_;   // likelihood of the node's subtree given its state
  std::vector<double> outside_;  // likelihood of the rest of the tree and the node's state
};

}  // namespace

double GapLogLikelihood(const std::vector<NodeStruct*>& down_pass, const GapCharacters& characters,
                        double rate, double rescale_threshold) {
  CharacterPasses passes(down_pass, rate, rescale_threshold);
  double log_likelihood = 0.0;
  for (std::size_t k = 0; k < characters.size(); ++k) {
    if (IsVariableGapCharacter(characters.absence_frequency[k])) {
      log_likelihood += passes.Inside(characters, k);
    }
  }
  return log_likelihood;
}

GapPosteriors::GapPosteriors(const std::vector<NodeStruct*>& down_pass, std::size_t n_characters)
    : n_characters_(n_characters) {
  std::size_t n_indices = 0;
  for (const NodeStruct* node : down_pass) {
    n_indices = std::max(n_indices, static_cast<std::size_t>(node->index) + 1);
  }
  row_of_index_.assign(n_indices, -1);
  int n_rows = 0;
  for (const NodeStruct* node : down_pass) {
    if (IsInteriorBelowRoot(*node)) row_of_index_[static_cast<std::size_t>(node->index)] = n_rows++;
  }
  p_gap_.assign(static_cast<std::size_t>(n_rows) * n_characters, 0.0);
}

GapPosteriors GetGapPosteriors(const std::vector<NodeStruct*>& down_pass,
                               const GapCharacters& characters, double rate,
                               double rescale_threshold) {
  GapPosteriors posteriors(down_pass, characters.size());
  CharacterPasses passes(down_pass, rate, rescale_threshold);
  for (std::size_t k = 0; k < characters.size(); ++k) {
    const double pi = characters.absence_frequency[k];
    if (IsVariableGapCharacter(pi)) {
      passes.Inside(characters, k);
      passes.Outside(characters, k, posteriors);
    } else {
      for (const NodeStruct* node : down_pass) {
        if (IsInteriorBelowRoot(*node)) posteriors.OfNode(*node)[k] = pi;
      }
    }
  }
  return posteriors;
}
