// The ancestral-inference half of a run, from the transition matrices in
// the nodes to the results files.
#pragma once

#include <cstdint>
#include <vector>

#include "run/analysis_driver.h"
#include "io/data_file.h"
#include "inference/hidden_simulation.h"
#include "tree/node_struct.h"
#include "model/parameter_record.h"
#include "sequence/stems_and_loops.h"

// What the stages read: the built tree with every branch's transition
// matrices, the data, the model parameters and the hidden-branch matrices.
struct InferenceInputs {
  const std::vector<NodeStruct*>& down_pass;
  const std::vector<NodeStruct*>& up_pass;
  const std::vector<SiteRecord>& SS;
  const Alignment& alignment;
  const ParameterRecord& parameters;
  const HiddenBranchMatrices& hidden;
};

// In this order: fractional likelihoods (then the log-likelihood line with
// --loglik), posteriors (marginal ones with --marginal), ancestral samples,
// hidden sequences, gap re-introduction (all draws from *seed, in that
// order), the diagnostic listing when diagnostics are on, and the results
// files. anc_seqs (2 x (taxa - 2) x S rows of n_sites) and log_P
// (2 x (taxa - 2) x S) are the driver's buffers.
void RunInferenceStages(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                        std::vector<int>& anc_seqs, std::vector<double>& log_P);
