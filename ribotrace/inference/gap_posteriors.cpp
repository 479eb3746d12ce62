#include "inference/gap_posteriors.h"

#include <algorithm>
#include <cmath>

#include "inference/likelihood_blocks.h"

namespace {

// The inside and outside passes of one character at a time, two entries
// per node by node index. Characters are independent, so one character's
// passes over the whole tree reuse the same small arrays.
class CharacterPasses {
 public:
  CharacterPasses(const std::vector<NodeStruct*>& down_pass, double rate, double threshold)
      : down_pass_(down_pass), threshold_(threshold) {
    std::size_t n_indices = 0;
    std::size_t most_children = 0;
    for (const NodeStruct* node : down_pass) {
      n_indices = std::max(n_indices, static_cast<std::size_t>(node->index) + 1);
      most_children = std::max(most_children, node->children.size());
    }
    from_.assign(2 * most_children, 0.0);
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
      if (node->IsTip()) {
        const GapObservation seen = characters.Observed(node->taxon_index, k);
        entries[kGapPresent] = seen == GapObservation::kAbsent ? 0.0 : 1.0;
        entries[kGapAbsent] = seen == GapObservation::kPresent ? 0.0 : 1.0;
        continue;
      }
      Contributions(*node, pi);
      for (int x = 0; x < 2; ++x) {
        entries[x] = from_[x];
        for (std::size_t c = 1; c < node->children.size(); ++c) entries[x] *= from_[2 * c + x];
      }
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
      if (node.IsTip()) continue;
      double* above = Outside(node);
      if (node.anc == nullptr) {
        above[kGapPresent] = 1.0 - pi;
        above[kGapAbsent] = pi;
      }
      Contributions(node, pi);
      const std::size_t n_children = node.children.size();
      if (node.anc != nullptr) {
        double present = above[kGapPresent];
        double absent = above[kGapAbsent];
        for (std::size_t c = 0; c < n_children; ++c) {
          present *= from_[2 * c + kGapPresent];
          absent *= from_[2 * c + kGapAbsent];
        }
        const double sum = present + absent;
        posteriors.OfNode(node)[k] = sum > 0.0 && std::isfinite(sum) ? absent / sum : 0.0;
      }
      std::array<double, 2> others;
      for (std::size_t c = 0; c < n_children; ++c) {
        PassDown(*node.children[c], pi, above,
                 SiblingsProduct<2>(from_.data(), n_children, c, others.data()));
      }
    }
  }

 private:
  std::size_t Slot(const NodeStruct& node) const { return static_cast<std::size_t>(node.index); }
  double* Inside(const NodeStruct& node) { return &inside_[2 * Slot(node)]; }
  double* Outside(const NodeStruct& node) { return &outside_[2 * Slot(node)]; }

  // Each child's contribution into from_, two entries by child.
  void Contributions(const NodeStruct& node, double pi) {
    for (std::size_t c = 0; c < node.children.size(); ++c) {
      const NodeStruct& child = *node.children[c];
      const std::array<double, 4> p = GapTransitionMatrix(pi, decay_[Slot(child)]);
      BranchContribution<2>(p.data(), Inside(child), &from_[2 * c]);
    }
  }

  // The outside entries of an interior child: out[y] = sum over x of
  // above[x] x siblings[x] x P_child[x][y].
  void PassDown(const NodeStruct& child, double pi, const double* above, const double* sibling) {
    if (child.IsTip()) return;
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
  std::vector<double> from_;     // the children's contributions at the node at hand
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
