#include "model/partition_models.h"

#include "model/rate_matrices.h"

PartitionModels MakePartitionModels(const ModelParams& params) {
  SubstitutionModel loops = SubstitutionModel::ForLoops(params.loop);
  ShowRateMatrix("\nLoop Q-matrix:", loops.q(), 4);
  SubstitutionModel stems = SubstitutionModel::ForStems(params.stem);
  ShowRateMatrix("\nStem Q-matrix:", stems.q(), 16);
  return {std::move(loops), std::move(stems)};
}
