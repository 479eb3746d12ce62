#include "run/inference_stages.h"

#include <cstdio>
#include <optional>

#include "inference/fractional_likelihoods.h"
#include "inference/gap_reconstruction.h"
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

void WarnOnGapRate(const GapRateFit& fit) {
  if (fit.status != GapRateStatus::kAtBound) return;
  std::fprintf(stderr, "Warning: The likelihood of the gaps is highest at the end of the rate range "
              "(gap_rate %g): the gaps look independent of the tree, so --gaps=tree draws them "
              "at about each column's gap frequency, as --gaps=column does.\n",
              fit.rate);
}

}  // namespace

NodeVectors MakeNodeVectors(const InferenceInputs& inputs, const RunValues& values) {
  return NodeVectors(inputs.down_pass, inputs.alignment.structure, values.marginal,
                     HasGammaRates(inputs.parameters) ? values.gamma_categories : 0);
}

PassResults RunPosteriorPasses(const InferenceInputs& inputs, const RunValues& values,
                               NodeVectors& vectors, bool with_log_likelihood) {
  PassResults results;
  if (HasGammaRates(inputs.parameters)) {
    results.categories = RunRateCategoryPasses(inputs, values, vectors, &results.log_likelihood);
    if (inputs.timings != nullptr) inputs.timings->Stop("gamma passes");
  } else {
    results.log_likelihood = RunEqualRatePasses(inputs, values, with_log_likelihood);
  }
  return results;
}

void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        ResultsFiles& files) {
  StageTimings* timings = inputs.timings;
  if (timings != nullptr) timings->Start();
  NodeVectors vectors = MakeNodeVectors(inputs, values);
  if (timings != nullptr) timings->Stop("arrays");
  PassResults passes =
      RunPosteriorPasses(inputs, values, vectors, values.loglik || files.report != nullptr);
  std::optional<CategorySampling>& categories = passes.categories;

  // The tables and the most probable sequences always carry the tree's
  // reconstruction of presence (an ancestor of 51 nucleotides is not given
  // 228); --gaps chooses only how the samples' gaps are drawn.
  const GapReconstruction gaps = ReconstructGaps(inputs.down_pass, inputs.alignment, inputs.SS);
  if (values.gaps_on_tree) WarnOnGapRate(gaps.fit);
  if (timings != nullptr) timings->Stop("gap posteriors");

  StreamExtras extras;
  extras.categories = categories ? &*categories : nullptr;
  extras.gaps = values.gaps_on_tree ? &gaps : nullptr;
  WriteNodeFiles(inputs, files, gaps);
  if (timings != nullptr) timings->Stop("node files");
  // The report reads the posteriors before sampling conditions them.
  std::optional<RunReport> report;
  if (files.report != nullptr) {
    report.emplace(inputs, values, *seed, passes.log_likelihood, gaps);
    report->data().convergence = inputs.convergence;
  }
  if (timings != nullptr && report) timings->Stop("report data");
  if (report) extras.pair_counts = &report->sampled_pairs();
  StreamSampleRows(inputs, values, seed, files, extras);
  // The summary names the rate when the samples' gaps follow it.
  if (values.gaps_on_tree) WriteSummaryValue(files, "gap_rate", gaps.fit.rate);
  if (report) {
    if (timings != nullptr) timings->Start();
    report->Write(*files.report);
    if (timings != nullptr) timings->Stop("report");
  }
}
