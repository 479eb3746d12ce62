// Maximum-likelihood fit of the stem and loop models on a fixed topology:
// the model ribotrace otherwise reads from MrBayes's summary, estimated
// here from the alignment, with every branch length.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/alignment.h"
#include "fit/fit_tree.h"
#include "model/model_params.h"

struct FitOptions {
  bool gamma = false;                  // a gamma shape per partition
  int n_categories = 4;                // its equally likely categories (mean rates)
  bool empirical_frequencies = false;  // frequencies counted, not estimated
  double tolerance = 0.001;            // stop when a round gains less (log units)
  int threads = 1;                     // over site patterns; the fit is the same on any number
  // Called after each round with its number (from 1) and lnL: a fit of
  // hundreds of taxa takes minutes, and its user wants to see it move.
  std::function<void(int, double)> progress;
};

struct FitResult {
  ModelParams params;
  FitTree tree;
  double log_likelihood = 0.0;
  int n_free = 0;                     // free parameters, branches included
  std::vector<std::string> at_bound;  // parameters that ended at a bound
};

// Fits from the tree's lengths as starting values. Rounds of branch lengths
// (Newton-Raphson) then the model's parameters (with one partition all
// together with a scale on the tree, by BOBYQA; with stems and loops one
// at a time, by Brent, and a line search along the round's step), until a
// round gains less than the tolerance; lnL never decreases from round to
// round. The stems' rate relative to the loops' is fitted as MrBayes's
// ratepr=variable.
FitResult FitModel(const Alignment& alignment, FitTree tree, const FitOptions& options);

// lnL of the alignment on the tree under the given parameters (the same
// likelihood the fit maximises).
double FitLogLikelihood(const Alignment& alignment, const FitTree& tree, const ModelParams& params,
                        int n_categories);
