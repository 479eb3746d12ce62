#include "model/partition_models.h"

#include "model/rate_matrices.h"

PartitionModels MakePartitionModels(const ModelParams& params, bool listing) {
  SubstitutionModel loops = SubstitutionModel::ForLoops(params.loop);
  if (listing) ShowRateMatrix("\nLoop Q-matrix:", loops.q(), 4);
  SubstitutionModel stems = SubstitutionModel::ForStems(params.stem);
  if (listing) ShowRateMatrix("\nStem Q-matrix:", stems.q(), 16);
  return {std::move(loops), std::move(stems), params.loop_rate, params.stem_rate};
}
