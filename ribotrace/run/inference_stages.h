// The ancestral-inference half of a run, from the transition matrices in
// the nodes to the results files.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "inference/hidden_simulation.h"
#include "inference/log_likelihood.h"
#include "inference/node_vectors.h"
#include "inference/rate_categories.h"
#include "base/alignment.h"
#include "io/results_file.h"
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
  // For the report: how far the MrBayes runs behind the parameters had
  // converged (figure, value), where that is known.
  std::vector<std::pair<std::string, std::string>> convergence = {};
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

// In this order: the node vectors (NodeVectors), fractional likelihoods
// (then the log-likelihood line with --loglik), posteriors (the
// three-neighbour ones with --classic; with gamma rates both passes once
// per rate category, then their mixture), with --gaps=tree the gap
// posteriors (rate fitted, then the passes), the node files (tree, most
// probable sequences, per-site tables), then the sample matrix row by row
// (ancestral samples, hidden sequences, gaps put back; all draws from the
// stream that starts at *seed, each at the position drawing the whole
// matrix in order would give it), each row written to the results files as
// it is produced, and listed when diagnostics are on. values.threads
// threads share the blocks of the passes and produce rows; the output does
// not depend on their number. *seed ends where that stream ends. With a
// report file open, the report gathers the posteriors before sampling,
// counts the stems' pairs in the rows as they stream past, and is written
// after them. With --gaps=tree the summary ends with "gap_rate". The node
// files are put in place last.
void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        ResultsFiles& files);
