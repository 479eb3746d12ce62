// The two substitution models of one parameter set: the loop columns' 4 x 4
// GTR model and the stem pairs' 16 x 16 doublet model.
#pragma once

#include "model/model_params.h"
#include "model/substitution_model.h"

struct PartitionModels {
  SubstitutionModel loops;
  SubstitutionModel stems;
  // The partitions' relative rates (MrBayes's m{2} and m{1}): every branch
  // matrix of a partition runs over its rate times the branch's time.
  double loop_rate = 1.0;
  double stem_rate = 1.0;
};

// Both models of `params`, each rate matrix printed with `listing` (the
// diagnostic listing; loops first). Throws FatalError as the rate matrices
// do.
PartitionModels MakePartitionModels(const ModelParams& params, bool listing = false);
