// The log-likelihood of each tree of MrBayes's sample beside the LnL that
// MrBayes recorded for it.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <vector>

#include "io/posterior_sample.h"

// "run R, gen G": where a sample comes from, for messages.
std::string SampleName(const UsedSample& sample);

// Our log-likelihood of each used sample beside MrBayes's LnL: with
// --loglik every sample's line and the largest difference; always a
// warning when some differ by more than MrBayes's printing (7 significant
// digits) and our rounding explain, the sign of files that do not belong
// together or of a model that is not MrBayes's.
class LogLikelihoodCheck {
 public:
  // MrBayes's starting sample (generation 0) differs by up to 0.1 on the
  // bundled runs, every later one by less than 0.002; files that do not
  // belong together differ by tens or hundreds.
  static constexpr double kTolerance = 0.25;

  explicit LogLikelihoodCheck(bool print) : print_(print) {}

  // Our log-likelihood of sample s; its line with --loglik.
  void Add(std::size_t s, const PosteriorSample& sample, double ours);
  // The mean and largest difference with --loglik; when samples differ by
  // more than kTolerance, stops the run (or warns with allow_mismatch).
  void Print(std::size_t n, const PosteriorSample& sample, bool allow_mismatch) const;

 private:
  // Every sample off by about the same amount points to the model (its
  // likelihood is a smooth function of the same tree and parameters);
  // every sample off by unrelated amounts, to files of another analysis;
  // some samples off, to runs given in another order.
  std::string Diagnosis(std::size_t n) const;

  bool print_;
  double sum_ = 0.0;
  double largest_ = 0.0;
  double smallest_ = std::numeric_limits<double>::infinity();
  double log_likelihood_scale_ = 0.0;  // the largest |LnL|
  const UsedSample* largest_at_ = nullptr;
  std::size_t n_differing_ = 0;
};
