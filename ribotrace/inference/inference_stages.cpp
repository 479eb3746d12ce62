#include "inference/inference_stages.h"

#include "inference/ancestral_sampling.h"
#include "run/diagnostics.h"
#include "inference/fractional_likelihoods.h"
#include "inference/gap_reintroduction.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "io/results_file.h"

void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        std::vector<int>& anc_seqs, std::vector<double>& log_P) {
  const std::vector<int>& structure = inputs.alignment.structure;
  FractionalOptions fractional_options;
  fractional_options.stem_codes_as_sets = values.marginal;
  const FractionalScaling scaling =
      GetFractionalLikelihoods(inputs.down_pass, inputs.SS, inputs.alignment, fractional_options);
  if (values.loglik) {
    ShowLogLikelihood(GetLogLikelihood(inputs.down_pass, structure, inputs.parameters, scaling));
  }
  if (values.marginal) {
    GetMarginalPosteriors(inputs.up_pass, structure, inputs.parameters);
  } else {
    GetAncestralStatesFromPosterior(inputs.up_pass, structure, inputs.parameters);
  }
  SampleAncestralSequences(inputs.down_pass, inputs.SS, structure, log_P, seed, anc_seqs,
                           values.n_samples, values.condition_on_pairs);
  SimulateHiddenAncestralSequences(inputs.down_pass, inputs.SS, structure, seed, anc_seqs,
                                   values.n_samples, inputs.hidden, values.condition_on_pairs);
  const std::size_t n_rows = log_P.size();
  ReintroduceGaps(inputs.SS, seed, anc_seqs, n_rows);
  if (show_debug_info) ShowAncestralSequences(log_P, structure, anc_seqs, n_rows);
  WriteResultsToFile_New(inputs.down_pass, values.out_file, anc_seqs, values.include_data,
                         inputs.alignment, values.n_samples, values.lambda, values.is_harmonic);
}
