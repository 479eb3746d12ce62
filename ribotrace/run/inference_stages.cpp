#include "run/inference_stages.h"

#include <cstdio>
#include <optional>

#include "inference/fractional_likelihoods.h"
#include "inference/gap_reconstruction.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "run/node_files.h"
#include "run/sample_stream.h"

namespace {

void WarnOnGapRate(const GapRateFit& fit) {
  if (fit.status != GapRateStatus::kAtBound) return;
  std::printf("Warning: The likelihood of the gaps is highest at the end of the rate range "
              "(gap_rate %g): the gaps look independent of the tree, so --gaps=tree draws them "
              "at about each column's gap frequency, as --gaps=column does.\n",
              fit.rate);
}

}  // namespace

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
  std::optional<GapReconstruction> gaps;
  if (values.gaps_on_tree) {
    gaps = ReconstructGaps(inputs.down_pass, inputs.alignment, inputs.SS);
    WarnOnGapRate(gaps->fit);
    if (timings != nullptr) timings->Stop("gap posteriors");
  }

  const GapReconstruction* tree_gaps = gaps ? &*gaps : nullptr;
  WriteNodeFiles(inputs, files, tree_gaps);
  if (timings != nullptr) timings->Stop("node files");
  StreamSampleRows(inputs, values, seed, files, tree_gaps);
  if (gaps) WriteSummaryValue(files, "gap_rate", gaps->fit.rate);
}
