#include "run/log_likelihood_check.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "bailout/bailout.h"

namespace {

std::string Figure(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", value);
  return text;
}

std::string Join(const std::vector<std::string>& files) {
  std::string joined;
  for (const std::string& file : files) joined += (joined.empty() ? "'" : ", '") + file + "'";
  return joined;
}

}  // namespace

std::string SampleName(const UsedSample& sample) {
  return "run " + std::to_string(sample.run + 1) + ", gen " + std::to_string(sample.generation);
}

void LogLikelihoodCheck::Add(std::size_t s, const PosteriorSample& sample, double ours) {
  const UsedSample& used = sample.samples[s];
  const double difference = std::fabs(ours - used.mrbayes_log_likelihood);
  if (print_) {
    std::printf("Sample %zu of %zu (%s): log-likelihood %.6f, MrBayes LnL %.6f, difference %.6f\n",
                s + 1, sample.samples.size(), SampleName(used).c_str(), ours,
                used.mrbayes_log_likelihood, difference);
  }
  sum_ += ours;
  if (!(difference <= kTolerance + 1e-6 * std::fabs(used.mrbayes_log_likelihood))) {
    ++n_differing_;
  }
  if (largest_at_ == nullptr || !(difference <= largest_)) {
    largest_ = difference;
    largest_at_ = &used;
  }
  smallest_ = std::min(smallest_, difference);
  log_likelihood_scale_ = std::max(log_likelihood_scale_, std::fabs(used.mrbayes_log_likelihood));
}

void LogLikelihoodCheck::Print(std::size_t n, const PosteriorSample& sample,
                               bool allow_mismatch) const {
  if (largest_at_ == nullptr) return;
  if (print_) {
    std::printf(
        "Log-likelihood: %.6f (mean over %zu samples); largest difference from "
        "MrBayes's LnL: %.6f (%s)\n",
        sum_ / static_cast<double>(n), n, largest_, SampleName(*largest_at_).c_str());
  }
  if (n_differing_ == 0) return;
  // Results on a model that is not MrBayes's, or on files of another
  // analysis, would be wrong without a sign: the run stops unless told.
  const std::string message =
      Diagnosis(n) + " (" + Join(sample.tree_files) + "; " + Join(sample.parameter_files) + ")";
  if (!allow_mismatch) {
    Fail("ReadParameterFile Error: " + message +
         ". To run on all the same, give --allow-lnl-mismatch.");
  }
  std::fprintf(stderr, "Warning: %s.\n", message.c_str());
}

std::string LogLikelihoodCheck::Diagnosis(std::size_t n) const {
  const std::string counts =
      "The log-likelihood of " + std::to_string(n_differing_) + " of the " + std::to_string(n) +
      " samples differs from MrBayes's LnL in the .p files (by " + Figure(smallest_) + " to " +
      Figure(largest_) + ", most at " + SampleName(*largest_at_) + ")";
  if (n_differing_ < n) {
    return counts +
           ": each run's .t file must go with the .p file of the same run, in the "
           "same order";
  }
  const bool alike = largest_ <= 2.0 * smallest_ && largest_ < 0.05 * log_likelihood_scale_;
  if (alike) {
    return counts +
           ": every sample is off by about the same amount, so the model is not "
           "MrBayes's (for example another --ngammacat than MrBayes's ngammacat)";
  }
  return counts +
         ": every sample is off, so these files are not MrBayes's analysis of this "
         "alignment (the .t and .p files of another family, or an alignment or "
         "structure that changed after MrBayes ran)";
}
