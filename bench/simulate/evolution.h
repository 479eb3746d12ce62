// Characters (loop columns and stem pairs) with their whole history on the
// tree: where they arose, where they were deleted, every substitution.
#pragma once

#include <random>
#include <vector>

#include <Eigen/Dense>

#include "sim_tree.h"
#include "substitution_model.h"

namespace sim {

// The Poisson indel process: insertions uniform over the tree's length at
// rate `insertion_rate` (lambda), deletions at `deletion_rate` (mu) per
// present character and unit length, the root holding the stationary
// Poisson(lambda/mu) characters. With `shape` > 0 each character draws one
// of `categories` discrete gamma multipliers that scale both its insertion
// and its deletion rate, so every class keeps the root share lambda/mu/K and
// the mean insertion rate stays lambda.
struct IndelParameters {
  double insertion_rate = 0.0;
  double deletion_rate = 0.0;  // 0: no indels, the characters are those of the structure
  double shape = 0.0;
  int categories = 4;
  double stem_share = 0.0;  // the chance that a character is a stem pair
  bool anchors = true;      // one never-deleted loop column at each end
};

struct Character {
  bool stem = false;
  bool anchor = false;
  double sub_rate = 1.0;    // gamma category rate x partition multiplier
  double indel_rate = 0.0;  // multiplier of lambda and mu; 0: never deleted
  int origin = 0;           // 0: present at the root; else the node below its insertion branch
  double offset = 0.0;      // where on that branch, from its upper end
  double order = 0.0;       // the alignment's column order among characters of its kind
  std::vector<int> state;   // per node: nucleotide 0-3, doublet 4 x 5' + 3', -1 when absent
  std::vector<int> subs;    // per node: single-nucleotide changes on the branch above it
};

// A continuous-time chain ready for Gillespie's algorithm.
class JumpChain {
 public:
  JumpChain(const Eigen::MatrixXd& q, const std::vector<double>& frequencies);
  int DrawStationary(std::mt19937_64& rng) const;
  // The state after `time` from `state`; adds the number of jumps to `jumps`.
  int Evolve(int state, double time, std::mt19937_64& rng, int& jumps) const;

 private:
  std::vector<double> exit_;
  std::vector<std::vector<double>> jump_cumulative_;
  std::vector<double> stationary_cumulative_;
};

// Where the characters come from: without indels exactly `stems` and
// `loops` at the root; with them, drawn from the process.
std::vector<Character> DrawOrigins(const Tree& tree, const IndelParameters& indels, int stems,
                                   int loops, std::mt19937_64& rng);

// Draws each character's rate and its states and substitution counts down
// the tree, with deletions, from its origin.
void EvolveCharacters(const Tree& tree, const ModelParameters& model, const IndelParameters& indels,
                      std::vector<Character>& characters, std::mt19937_64& rng);

}  // namespace sim
