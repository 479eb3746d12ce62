#include "run/inference_stages.h"

#include <optional>

#include "inference/fractional_likelihoods.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "run/node_files.h"
#include "run/rate_category_passes.h"
#include "run/sample_stream.h"

namespace {

// The passes of a run without rate variation, on the matrices the driver
// put in the nodes.
void RunEqualRatePasses(const InferenceInputs& inputs, const RunValues& values) {
  const std::vector<int>& structure = inputs.alignment.structure;
  StageTimings* timings = inputs.timings;
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
}

}  // namespace

void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        ResultsFiles& files) {
  StageTimings* timings = inputs.timings;
  if (timings != nullptr) timings->Start();
  std::optional<CategorySampling> categories;
  if (HasGammaRates(inputs.parameters)) {
    categories = RunRateCategoryPasses(inputs, values);
    if (timings != nullptr) timings->Stop("gamma passes");
  } else {
    RunEqualRatePasses(inputs, values);
  }

  WriteNodeFiles(inputs, files);
  if (timings != nullptr) timings->Stop("node files");
  StreamSampleRows(inputs, values, seed, files, categories ? &*categories : nullptr);
}
