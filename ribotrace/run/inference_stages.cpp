#include "run/inference_stages.h"

#include <cstdio>
#include <optional>

#include "inference/branch_changes.h"
#include "inference/fractional_likelihoods.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/node_vectors.h"
#include "inference/posterior_states.h"
#include "run/rate_category_passes.h"

namespace {

// The passes of a run without rate variation, on the matrices the driver
// put in the nodes. Returns the log-likelihood when `with_log_likelihood`;
// with `changes`, records every branch's figures into it.
PartitionLogLikelihoods RunEqualRatePasses(const InferenceInputs& inputs, const RunValues& values,
                                           bool with_log_likelihood, BranchChanges* changes) {
  const std::vector<int>& structure = inputs.alignment.structure;
  StageTimings* timings = inputs.timings;
  PassOptions options;
  options.stem_codes_as_sets = values.marginal;
  options.threads = values.threads;
  options.listing = values.show_debug != 0;
  const FractionalScaling scaling = GetFractionalLikelihoods(inputs.down_pass, inputs.matrices,
                                                             inputs.SS, inputs.alignment, options);
  PartitionLogLikelihoods log_likelihood;
  if (with_log_likelihood) {
    log_likelihood = GetLogLikelihood(inputs.down_pass, structure, inputs.parameters, scaling);
  }
  if (values.loglik) ShowLogLikelihood(log_likelihood);
  if (timings != nullptr) timings->Stop("likelihoods");
  if (values.marginal) {
    std::optional<BranchChangeRecorder> recorder;
    if (changes != nullptr) {
      recorder.emplace(*changes, inputs.up_pass, inputs.models, inputs.models.loop_rate,
                       DoubletTimeFactor(values) * inputs.models.stem_rate);
    }
    GetMarginalPosteriors(inputs.up_pass, inputs.matrices, inputs.SS, inputs.alignment,
                          inputs.parameters, options, recorder ? &*recorder : nullptr);
  } else {
    GetAncestralStatesFromPosterior(inputs.up_pass, inputs.matrices, inputs.SS, inputs.alignment,
                                    inputs.parameters, options);
  }
  if (timings != nullptr) timings->Stop("posteriors");
  return log_likelihood;
}

}  // namespace

NodeVectors MakeNodeVectors(const InferenceInputs& inputs, const RunValues& values) {
  return NodeVectors(inputs.down_pass, inputs.alignment.structure, values.marginal,
                     HasGammaRates(inputs.parameters) ? values.gamma_categories : 0);
}

PassResults RunPosteriorPasses(const InferenceInputs& inputs, const RunValues& values,
                               NodeVectors& vectors, bool with_log_likelihood) {
  PassResults results;
  BranchChanges* changes = nullptr;
  if (values.changes) {
    changes =
        &results.changes.emplace(inputs.up_pass.size(), CountBlocks(inputs.alignment.structure));
  }
  if (HasGammaRates(inputs.parameters)) {
    results.categories =
        RunRateCategoryPasses(inputs, values, vectors, &results.log_likelihood, changes);
    if (inputs.timings != nullptr) inputs.timings->Stop("gamma passes");
  } else {
    results.log_likelihood = RunEqualRatePasses(inputs, values, with_log_likelihood, changes);
  }
  return results;
}
