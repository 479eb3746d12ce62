// What the posterior passes of one built tree read.
#pragma once

#include <vector>

#include "base/alignment.h"
#include "base/stage_timings.h"
#include "inference/hidden_simulation.h"
#include "model/branch_matrices.h"
#include "model/model_params.h"
#include "model/partition_models.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

// What the stages read: the built tree, the data, the model's parameters and
// substitution models, every branch's transition matrices (the gamma
// passes refill them per category) and the hidden-branch matrices; and
// where to record the stage timings, if anywhere.
struct InferenceInputs {
  const std::vector<NodeStruct*>& down_pass;
  const std::vector<NodeStruct*>& up_pass;
  const std::vector<SiteRecord>& SS;
  const Alignment& alignment;
  const ModelParams& parameters;
  const PartitionModels& models;
  BranchMatrices& matrices;
  const HiddenBranchMatrices& hidden;
  StageTimings* timings = nullptr;
};
