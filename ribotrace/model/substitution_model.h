// One partition's substitution model: its reversible rate matrix Q (mean
// rate 1 under its frequencies) decomposed once, from which the transition
// probabilities P(t) = exp(Q t) follow for any time. Made from parameters
// alone, so that any number can be live at once (the trees of a sample, an
// optimiser's trial points).
#pragma once

#include <span>
#include <vector>

#include "model/eigen_decomposition.h"
#include "model/model_params.h"

class SubstitutionModel {
 public:
  // The 4-state GTR model of loop columns and the 16-state doublet model of
  // stem pairs. Throw FatalError when the parameters give no positive,
  // finite mean rate.
  static SubstitutionModel ForLoops(const LoopParams& loop);
  static SubstitutionModel ForStems(const StemParams& stem);

  // A model of the n x n rate matrix q (row-major; row = present state).
  SubstitutionModel(int n, std::span<const double> q, std::span<const double> frequencies);

  int n_states() const { return n_; }
  std::span<const double> q() const { return q_; }
  std::span<const double> frequencies() const { return frequencies_; }
  // True when Q's eigenvalues are complex (a matrix that is not reversible),
  // where P(t) comes from the complex eigenvectors.
  bool complex() const { return complex_; }
  // Valid (u, u_inverse, lambda_real) when !complex().
  const EigenSet& eigens() const { return eigens_; }

  // P(t x r), row-major n x n, row = state at the start of the branch.
  // On the complex path an imaginary residue is reported on standard output
  // and the matrix kept as it is.
  void TransitionProbabilities(double t, double r, std::span<double> p) const;

 private:
  int n_;
  std::vector<double> q_;
  std::vector<double> frequencies_;
  EigenSet eigens_;
  bool complex_ = false;
  std::vector<double> cijk_;
};
