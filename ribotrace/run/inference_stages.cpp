#include "run/inference_stages.h"

#include "inference/fractional_likelihoods.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "run/node_files.h"
#include "run/sample_stream.h"

void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        ResultsFiles& files) {
  const std::vector<int>& structure = inputs.alignment.structure;
  StageTimings* timings = inputs.timings;
  if (timings != nullptr) timings->Start();
  FractionalOptions fractional_options;
  fractional_options.stem_codes_as_sets = values.marginal;
  const FractionalScaling scaling =
      GetFractionalLikelihoods(inputs.down_pass, inputs.SS, inputs.alignment, fractional_options);
  if (values.loglik) {
    ShowLogLikelihood(GetLogLikelihood(inputs.down_pass, structure, inputs.parameters, scaling));
  }
  if (timings != nullptr) timings->Stop("likelihoods");
  if (values.marginal) {
    GetMarginalPosteriors(inputs.up_pass, structure, inputs.parameters);
  } else {
    GetAncestralStatesFromPosterior(inputs.up_pass, structure, inputs.parameters);
  }
  if (timings != nullptr) timings->Stop("posteriors");

  WriteNodeFiles(inputs, files);
  if (timings != nullptr) timings->Stop("node files");
  StreamSampleRows(inputs, values, seed, files);
}
