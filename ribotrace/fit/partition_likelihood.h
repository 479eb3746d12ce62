// The likelihood of one partition (stem pairs or loop columns) on a fit
// tree, with what the branch-length optimiser needs: for any branch, the
// log-likelihood and its first and second derivatives in that branch's
// length, from the partials below and above it and the eigen decomposition
// of Q (P(t) = U exp(lambda t) U^-1 differentiates term by term).
#pragma once

#include <vector>

#include "fit/fit_tree.h"
#include "fit/site_patterns.h"
#include "model/substitution_model.h"

// lnL and its derivatives in one branch length.
struct BranchDerivatives {
  double log_likelihood = 0.0;
  double first = 0.0;
  double second = 0.0;
};

class PartitionLikelihood {
 public:
  // `patterns` must outlive this object.
  PartitionLikelihood(const SitePatterns& patterns, const FitTree& tree);

  // The model, the rates of its equally likely categories (one rate of 1
  // without gamma) and the factor on branch time (2 x the partition rate
  // for doublets, which are two characters; the rate alone for loops).
  // Throws FatalError on a model with complex eigenvalues.
  void SetModel(const SubstitutionModel& model, std::vector<double> category_rates,
                double time_factor);

  // Recomputes every transition matrix and partial below each node; returns lnL.
  double Evaluate(const FitTree& tree);

  // The traversal steps of the branch optimiser (see branch_lengths.h).
  void UpdateBranch(const FitTree& tree, int node);  // P of node's branch
  void SetRootMessages(const FitTree& tree);         // above the root's children
  void PassUp(const FitTree& tree, int node, int child);  // above child, from above node
  void RecomputeBelow(const FitTree& tree, int node);     // below node, from its children
  BranchDerivatives Derivatives(int node, double length) const;

  int n_patterns() const { return patterns_.size(); }

 private:
  std::size_t Vec(int node) const;  // offset of node's vectors
  // G = P(branch) x partials below, for every category and pattern.
  void Propagate(int node, std::vector<double>& out) const;
  void Normalise(double* vectors, double* scale) const;
  double RootLogLikelihood(const FitTree& tree);

  const SitePatterns& patterns_;
  int n_ = 0, n_cat_ = 1;
  std::vector<double> frequencies_, lambda_, u_, u_inverse_, rates_;
  double time_factor_ = 1.0;
  std::vector<double> down_, up_;             // per node: category x pattern x state
  std::vector<double> down_scale_, up_scale_; // per node: pattern, log
  std::vector<double> p_;                     // per node: category x n x n
  std::vector<double> g_left_, g_right_;      // scratch
};
