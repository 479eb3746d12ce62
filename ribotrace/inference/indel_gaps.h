// The gaps as insertions and deletions: the Poisson indel process on the
// tree. Each character (a loop column, or a stem pair as one, present only
// where both its columns are) has a single origin: present at the root, or
// inserted at a point of one branch, uniformly over the tree's length at
// rate lambda; each present character is deleted at rate mu on every
// branch below its origin, and never comes back. So a node on the path
// between two taxa that hold the character holds it too, exactly.
#pragma once

#include <cstddef>
#include <vector>

#include "inference/gap_characters.h"
#include "inference/gap_posteriors.h"
#include "tree/node_struct.h"

// The range of the deletion-rate search.
constexpr double kMinDeletionRate = 1e-4;
constexpr double kMaxDeletionRate = 1e4;

struct IndelRates {
  double insertion = 0.0;  // lambda
  double deletion = 0.0;   // mu
  double log_likelihood = 0.0;
  // The likelihood is highest at an end of the mu range (for example an
  // alignment without gaps, where fewer deletions are always better).
  bool at_bound = false;
};

// The tree as the process sees it, in down-pass order (children first).
class IndelTree {
 public:
  explicit IndelTree(const std::vector<NodeStruct*>& down_pass);

  std::size_t size() const { return nodes_.size(); }
  double total_length() const { return total_length_; }
  double length(std::size_t position) const { return length_[position]; }
  bool is_root(std::size_t position) const { return position + 1 == nodes_.size(); }

 private:
  friend class IndelPattern;
  std::vector<const NodeStruct*> nodes_;
  // Every node's children (as positions) one after the other, node by
  // node, in their order: the children of the node at position v are
  // children_[first_child_[v] .. first_child_[v + 1]), none at a tip.
  std::vector<std::size_t> children_;
  std::vector<std::size_t> first_child_;
  std::vector<double> length_;  // of the branch above; 0 at the root
  double total_length_ = 0.0;
};

// What every branch contributes at one deletion rate mu, for all patterns.
struct IndelBranches {
  IndelBranches(const IndelTree& tree, double mu);

  double mu;
  std::vector<double> log_keep;  // log P(kept along the branch) = -mu t
  std::vector<double> log_lost;  // log P(deleted along it); no mass at length 0
  // log P(origin on the branch and surviving to its end): the origin lies
  // on a branch with probability length / (tree length + 1/mu), at the
  // root with (1/mu) / (tree length + 1/mu) (its stationary characters),
  // uniformly along the branch, so it survives with
  // (1 - exp(-mu t)) / (mu t).
  std::vector<double> log_origin;
  double log_died = 0.0;  // log P(origin on some branch, deleted before its end)
};

// One pattern of presence in the taxa at one deletion rate: its
// probability under the process and every node's probability of absence
// given it, by a pass down the tree and one up (in log space: a character
// held by a few of a thousand taxa has a vanishingly small probability).
class IndelPattern {
 public:
  // observed: one observation per taxon row.
  IndelPattern(const IndelTree& tree, const IndelBranches& branches,
               const std::vector<GapObservation>& observed);

  // log P(pattern): the sum over the origins of the character.
  double log_probability() const { return log_probability_; }
  // The probability that the node (a position in down-pass order) lacks
  // the character given the pattern; exactly 0 on the path between two
  // taxa that hold it.
  double Absence(std::size_t position) const;

 private:
  void Down(const IndelTree& tree, const IndelBranches& branches,
            const std::vector<GapObservation>& observed);
  void Up(const IndelTree& tree, const IndelBranches& branches);

  int n_present_ = 0;
  bool any_unknown_ = false;  // some taxon shows nothing of the character
  std::vector<int> present_below_;
  std::vector<bool> held_in_two_children_;
  std::vector<double> log_present_;  // log P(data below | present at the node)
  std::vector<bool> may_be_absent_;  // no taxon below holds it
  std::vector<double> log_branch_;   // log of the branch's contribution to its parent
  std::vector<double> log_origin_;   // log P(origin on the branch, surviving to its end)
  std::vector<double> log_above_;    // log P(data outside the subtree, present at the node)
  double log_probability_ = 0.0;
};

// lambda and mu by maximum likelihood over the alignment's characters, the
// characters that no taxon shows (which an alignment cannot contain)
// counted through their probability.
IndelRates FitIndelRates(const std::vector<NodeStruct*>& down_pass,
                         const GapCharacters& characters);

// Every interior node's probability of lacking each character, at mu.
GapPosteriors GetIndelPosteriors(const std::vector<NodeStruct*>& down_pass,
                                 const GapCharacters& characters, double mu);
