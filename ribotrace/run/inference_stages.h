// The posterior passes of one built tree, from the transition matrices in
// its nodes to every interior node's posteriors.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "inference/hidden_simulation.h"
#include "inference/log_likelihood.h"
#include "inference/node_vectors.h"
#include "inference/rate_categories.h"
#include "base/alignment.h"
#include "model/parameter_record.h"
#include "run/analysis_driver.h"
#include "base/stage_timings.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// What the stages read: the built tree with every branch's transition
// matrices, the data, the model parameters and the hidden-branch matrices;
// and where to record the stage timings, if anywhere.
struct InferenceInputs {
  const std::vector<NodeStruct*>& down_pass;
  const std::vector<NodeStruct*>& up_pass;
  const std::vector<SiteRecord>& SS;
  const Alignment& alignment;
  const ParameterRecord& parameters;
  const HiddenBranchMatrices& hidden;
  StageTimings* timings = nullptr;
};

// What the posterior passes leave besides the nodes' posteriors.
struct PassResults {
  PartitionLogLikelihoods log_likelihood;     // computed when asked for, and with gamma rates
  std::optional<CategorySampling> categories;  // with gamma rates
};

// The vectors that the passes of the built tree in `inputs` need: one per
// gamma category when the parameters give gamma rates.
NodeVectors MakeNodeVectors(const InferenceInputs& inputs, const RunValues& values);

// The passes alone, on the matrices in the nodes and in `vectors` (made by
// MakeNodeVectors for this tree, and kept while the posteriors are read):
// fractional likelihoods, the log-likelihood (printed with values.loglik),
// posteriors (mixed over the rate categories with gamma rates), the blocks
// shared among values.threads threads. Leaves every interior node below
// the root with its posteriors.
PassResults RunPosteriorPasses(const InferenceInputs& inputs, const RunValues& values,
                               NodeVectors& vectors, bool with_log_likelihood);
