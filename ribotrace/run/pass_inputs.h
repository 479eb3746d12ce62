// What the posterior passes of one built tree read.
#pragma once

#include <vector>

#include "base/alignment.h"
#include "base/stage_timings.h"
#include "inference/hidden_simulation.h"
#include "model/model_params.h"
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
  const ModelParams& parameters;
  const HiddenBranchMatrices& hidden;
  StageTimings* timings = nullptr;
};
