#include "run/rate_category_passes.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "inference/branch_changes.h"
#include "inference/fractional_likelihoods.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "model/gamma_rates.h"
#include "model/transition_probabilities.h"

namespace {

// A partition's category rates: the gamma means, or 1 for every category
// of a partition whose rates are equal across sites (alpha 0), times the
// partition's relative rate.
std::vector<double> PartitionRates(double alpha, int n_categories, double partition_rate) {
  std::vector<double> rates(static_cast<std::size_t>(n_categories), 1.0);
  if (alpha > 0.0) rates = DiscreteGammaMeanRates(alpha, n_categories);
  for (double& rate : rates) rate *= partition_rate;
  return rates;
}

void ShowRates(const char* partition, double alpha, const std::vector<double>& rates) {
  std::printf("\nGamma rate categories of the %s (alpha = %lf):", partition, alpha);
  for (const double rate : rates) std::printf(" %lf", rate);
  std::printf("\n");
}

// The rates one gamma category puts on a branch of time 1: loops at the
// category's loop rate, doublets at the category's stem rate times the
// doublet time factor.
struct CategoryRates {
  double loop;
  double doublet;
};

// Fills every branch's matrices at one category's rates and runs the
// likelihood and posterior passes in that category's vectors, recording
// each branch's figures into `changes` when it is given. Returns every
// block's log-likelihood given the category, for the mixture.
std::vector<double> PassOneCategory(const InferenceInputs& inputs, const PassOptions& options,
                                    int category, CategoryRates rates, NodeVectors& vectors,
                                    BranchChanges* changes) {
  SetSingeltonTransitionProbabilities(inputs.up_pass, inputs.models.loops, inputs.matrices,
                                      rates.loop, options.listing);
  SetDoubletTransitionProbabilities(inputs.up_pass, inputs.models.stems, inputs.matrices,
                                    rates.doublet, options.listing);
  vectors.UseCategory(category);
  const FractionalScaling scaling = GetFractionalLikelihoods(inputs.down_pass, inputs.matrices,
                                                             inputs.SS, inputs.alignment, options);
  std::vector<double> block_lnl = GetBlockLogLikelihoods(
      inputs.down_pass, inputs.alignment.structure, inputs.parameters, scaling);
  std::optional<BranchChangeRecorder> recorder;
  if (changes != nullptr) {
    recorder.emplace(*changes, inputs.up_pass, inputs.models, rates.loop, rates.doublet);
  }
  GetMarginalPosteriors(inputs.up_pass, inputs.matrices, inputs.SS, inputs.alignment,
                        inputs.parameters, options, recorder ? &*recorder : nullptr);
  return block_lnl;
}

// The hidden branch's matrices at one category's rates (the hidden branch
// is lambda long; the singlet matrices take lambda into their rate).
HiddenBranchMatrices HiddenMatricesOfCategory(const NodeStruct& hidden_branch,
                                              const PartitionModels& models, double lambda,
                                              CategoryRates rates, bool listing) {
  HiddenBranchMatrices hidden;
  SetHiddenSingeltonTransitionProbabilities(hidden_branch, models.loops, hidden.singlet,
                                            lambda * rates.loop, listing);
  SetHiddenDoubletTransitionProbabilities(hidden_branch, models.stems, hidden.doublet, lambda,
                                          rates.doublet, listing);
  return hidden;
}

}  // namespace

CategorySampling RunRateCategoryPasses(const InferenceInputs& inputs, const RunValues& values,
                                       NodeVectors& vectors,
                                       PartitionLogLikelihoods* log_likelihood,
                                       BranchChanges* changes) {
  const std::vector<int>& structure = inputs.alignment.structure;
  const int n_categories = values.gamma_categories;
  const double stem_alpha = inputs.parameters.stem.alpha;
  const double loop_alpha = inputs.parameters.loop.alpha;
  const std::vector<double> stem_rates =
      PartitionRates(stem_alpha, n_categories, inputs.models.stem_rate);
  const std::vector<double> loop_rates =
      PartitionRates(loop_alpha, n_categories, inputs.models.loop_rate);
  const bool listing = values.show_debug != 0;
  if (listing) {
    ShowRates("stems", stem_alpha, stem_rates);
    ShowRates("loops", loop_alpha, loop_rates);
  }
  PassOptions options;
  options.stem_codes_as_sets = true;
  options.listing = listing;
  options.threads = values.threads;
  const double doublet_time = DoubletTimeFactor(values);
  // Every node below the root has the same hidden branch (see the driver).
  const NodeStruct& hidden_branch = *inputs.down_pass.front();

  CategorySampling sampling;
  std::vector<std::vector<double>> block_lnl;
  // Each category's figures, given the category, mixed once the category
  // posteriors are known.
  std::vector<BranchChanges> category_changes;
  for (int k = 0; k < n_categories; ++k) {
    const auto category = static_cast<std::size_t>(k);
    const CategoryRates rates{loop_rates[category], doublet_time * stem_rates[category]};
    if (listing) std::printf("\nRate category %d of %d:\n", k + 1, n_categories);
    BranchChanges* recorded =
        changes != nullptr ? &category_changes.emplace_back(*changes) : nullptr;
    block_lnl.push_back(PassOneCategory(inputs, options, k, rates, vectors, recorded));
    sampling.hidden.push_back(
        HiddenMatricesOfCategory(hidden_branch, inputs.models, values.lambda, rates, listing));
  }
  std::vector<double> mixed_lnl;
  sampling.posteriors = MixCategoryLikelihoods(block_lnl, &mixed_lnl);
  *log_likelihood = SumByPartition(structure, mixed_lnl);
  if (values.loglik) ShowLogLikelihood(*log_likelihood);
  if (changes != nullptr) *changes = MixBranchChanges(category_changes, sampling.posteriors);
  vectors.UseMixture();
  MixNodePosteriors(inputs.up_pass, structure, sampling.posteriors, values.threads);
  if (listing) {
    std::printf("\nMixed over the rate categories:\n");
    ShowPosteriors(inputs.up_pass, structure);
  }
  return sampling;
}
