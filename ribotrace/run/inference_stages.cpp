#include "run/inference_stages.h"

#include <optional>

#include "inference/fractional_likelihoods.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/node_vectors.h"
#include "inference/posterior_states.h"
#include "run/node_files.h"
#include "run/rate_category_passes.h"
#include "run/run_report.h"
#include "run/sample_stream.h"

namespace {

// The passes of a run without rate variation, on the matrices the driver
// put in the nodes. Returns the log-likelihood when `with_log_likelihood`.
PartitionLogLikelihoods RunEqualRatePasses(const InferenceInputs& inputs, const RunValues& values,
                                           bool with_log_likelihood) {
  const std::vector<int>& structure = inputs.alignment.structure;
  StageTimings* timings = inputs.timings;
  PassOptions options;
  options.stem_codes_as_sets = values.marginal;
  options.threads = values.threads;
  const FractionalScaling scaling =
      GetFractionalLikelihoods(inputs.down_pass, inputs.SS, inputs.alignment, options);
  PartitionLogLikelihoods log_likelihood;
  if (with_log_likelihood) {
    log_likelihood = GetLogLikelihood(inputs.down_pass, structure, inputs.parameters, scaling);
  }
  if (values.loglik) ShowLogLikelihood(log_likelihood);
  if (timings != nullptr) timings->Stop("likelihoods");
  if (values.marginal) {
    GetMarginalPosteriors(inputs.up_pass, inputs.SS, inputs.alignment, inputs.parameters, options);
  } else {
    GetAncestralStatesFromPosterior(inputs.up_pass, inputs.SS, inputs.alignment, inputs.parameters,
                                    options);
  }
  if (timings != nullptr) timings->Stop("posteriors");
  return log_likelihood;
}

}  // namespace

void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        ResultsFiles& files) {
  StageTimings* timings = inputs.timings;
  if (timings != nullptr) timings->Start();
  const bool gamma = HasGammaRates(inputs.parameters);
  NodeVectors vectors(inputs.down_pass, inputs.alignment.structure, values.marginal,
                      gamma ? values.gamma_categories : 0);
  if (timings != nullptr) timings->Stop("arrays");
  std::optional<CategorySampling> categories;
  PartitionLogLikelihoods log_likelihood;
  if (gamma) {
    categories = RunRateCategoryPasses(inputs, values, vectors, &log_likelihood);
    if (timings != nullptr) timings->Stop("gamma passes");
  } else {
    log_likelihood = RunEqualRatePasses(inputs, values, values.loglik || files.report != nullptr);
  }

  WriteNodeFiles(inputs, files);
  if (timings != nullptr) timings->Stop("node files");
  // The report reads the posteriors before sampling conditions them.
  std::optional<RunReport> report;
  if (files.report != nullptr) report.emplace(inputs, values, *seed, log_likelihood);
  if (timings != nullptr && report) timings->Stop("report data");
  StreamSampleRows(inputs, values, seed, files, categories ? &*categories : nullptr,
                   report ? &report->sampled_pairs() : nullptr);
  if (report) {
    if (timings != nullptr) timings->Start();
    report->Write(*files.report);
    if (timings != nullptr) timings->Stop("report");
  }
}
