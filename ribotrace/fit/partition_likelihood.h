// The likelihood of one partition (stem pairs or loop columns) on a fit
// tree, with what the branch-length optimiser needs: for any branch, the
// log-likelihood and its first and second derivatives in that branch's
// length, from the partials below and above it and the eigen decomposition
// of Q (P(t) = U exp(lambda t) U^-1 differentiates term by term).
//
// The vectors of a node hold, per rate category, one column of states per
// site pattern, so that carrying a block of patterns along a branch is one
// matrix product; the patterns are processed in fixed chunks over the
// threads (see pattern_chunks.h), which keeps the sums in one order. The
// states are the 4 nucleotides or the 16 doublets.
#pragma once

#include <Eigen/Dense>
#include <vector>

#include "fit/fit_tree.h"
#include "fit/partial_slots.h"
#include "fit/pattern_chunks.h"
#include "fit/site_patterns.h"
#include "model/substitution_model.h"

// lnL and its derivatives in one branch length.
struct BranchDerivatives {
  double log_likelihood = 0.0;
  double first = 0.0;
  double second = 0.0;

  BranchDerivatives& operator+=(const BranchDerivatives& other) {
    log_likelihood += other.log_likelihood;
    first += other.first;
    second += other.second;
    return *this;
  }
};

class PartitionLikelihood {
 public:
  // `patterns` must outlive this object. `threads` share the patterns in
  // chunks of `chunk` (at most kPatternChunk).
  PartitionLikelihood(const SitePatterns& patterns, const FitTree& tree, int threads = 1,
                      int chunk = kPatternChunk);

  // The model, the rates of its equally likely categories (one rate of 1
  // without gamma) and the factor on branch time (2 x the partition rate
  // for doublets, which are two characters; the rate alone for loops).
  // Throws FatalError on a model with complex eigenvalues.
  void SetModel(const SubstitutionModel& model, std::vector<double> category_rates,
                double time_factor);

  // Recomputes every transition matrix and partial below each node; returns lnL.
  double Evaluate(const FitTree& tree);
  // The same lnL, to the last bit, keeping no node's partials (see
  // partial_slots.h): what a search over the model's parameters needs.
  // The branch passes then start from Evaluate.
  double LogLikelihood(const FitTree& tree);
  // lnL from the partials as they are, once the root's are recomputed:
  // after a branch pass, which leaves every other node's current, this is
  // Evaluate's value at a fraction of its cost.
  double LogLikelihoodAfterPass(const FitTree& tree);

  // The traversal steps of the branch optimiser (see branch_lengths.h).
  void UpdateBranch(const FitTree& tree, int node);       // P of node's branch
  void SetRootMessages(const FitTree& tree);              // above the root's children
  void PassUp(const FitTree& tree, int node, int child);  // above child, from above node
  void RecomputeBelow(const FitTree& tree, int node);     // below node, from its children
  // Takes node's branch for Derivatives: the messages at its two ends in
  // the eigenbasis of Q, after which any length costs one exp per state.
  void PrepareBranch(int node);
  BranchDerivatives Derivatives(double length) const;  // of the prepared branch

  int n_patterns() const { return patterns_.size(); }

 private:
  using Map = Eigen::Map<Eigen::MatrixXd>;
  using ConstMap = Eigen::Map<const Eigen::MatrixXd>;

  // Offset of the block of node's vectors for one category and chunk.
  std::size_t At(int node, int category, const PatternChunk& chunk) const;
  const double* P(int node, int category) const;
  // The partials below a node, and their log scale per pattern: kept (in
  // the arrays of every node), or an interior node's in its slot.
  double* Partials(int node, int category, const PatternChunk& chunk, bool kept);
  const double* Partials(int node, int category, const PatternChunk& chunk, bool kept) const;
  double* Scale(int node, bool kept);
  const double* Scale(int node, bool kept) const;
  // out (states x chunk patterns) = P(child's branch) x the partials below child.
  void CarryUp(const FitTree& tree, int child, int category, const PatternChunk& chunk, bool kept,
               double* out) const;
  // out *= the same, entry by entry.
  void MultiplyCarried(const FitTree& tree, int child, int category, const PatternChunk& chunk,
                       bool kept, double* out) const;
  const int* TipStates(int tip, const PatternChunk& chunk) const;
  void Below(const FitTree& tree, int node, const PatternChunk& chunk, bool kept);
  void Normalise(double* vectors, double* scale, const PatternChunk& chunk) const;
  void FillTips();
  void UpdateBranches(const FitTree& tree);
  double LogLikelihoodAtRoot(bool kept) const;

  const SitePatterns& patterns_;
  int n_ = 0, n_cat_ = 1, n_nodes_ = 0;
  PatternChunks chunks_;
  Eigen::VectorXd frequencies_, lambda_;
  Eigen::MatrixXd u_, u_transposed_, u_inverse_;
  std::vector<double> rates_;
  double time_factor_ = 1.0;
  std::vector<int> taxon_;                     // per node: a tip's taxon, -1 inside
  std::vector<int> tip_states_;                // per taxon and pattern: the state, or -1
  std::vector<double> down_, up_;              // per node: category x pattern x state
  std::vector<double> down_scale_, up_scale_;  // per node: pattern, log
  std::vector<double> p_;                      // per node and category: column-major n x n
  PartialSlots slots_;
  std::vector<double> slot_vectors_, slot_scale_;  // per slot, laid out as down_ per node
  std::vector<double> terms_, term_shift_;         // the prepared branch
  std::vector<std::vector<double>> scratch_;       // per thread: one chunk's block
};
