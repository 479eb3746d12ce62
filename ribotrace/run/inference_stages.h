// The posterior passes of one built tree, from the transition matrices in
// its nodes to every interior node's posteriors.
#pragma once

#include <optional>

#include "inference/branch_changes.h"
#include "inference/log_likelihood.h"
#include "inference/node_vectors.h"
#include "inference/sample_rows.h"
#include "run/pass_inputs.h"
#include "run/run_values.h"

// What the posterior passes leave besides the nodes' posteriors.
struct PassResults {
  PartitionLogLikelihoods log_likelihood;      // computed when asked for, and with gamma rates
  std::optional<CategorySampling> categories;  // with gamma rates
  std::optional<BranchChanges> changes;        // with --changes: every branch's figures
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
