// The log-likelihood of the data on the tree, from the root's fractional
// likelihoods: per block, log of sum over x of pi(x) x L_root(x), less what
// the rescaling of the pass added.
#pragma once

#include <vector>

#include "inference/fractional_likelihoods.h"
#include "model/model_params.h"
#include "tree/node_struct.h"

struct PartitionLogLikelihoods {
  double stems = 0.0;  // the doublet blocks of the stem pairs
  double loops = 0.0;  // the loop columns
  double Total() const { return stems + loops; }
};

// The log-likelihood of every block, in block order. down_pass ends with
// the root; `scaling` is what GetFractionalLikelihoods returned for it. A
// block that no state explains gives minus infinity.
std::vector<double> GetBlockLogLikelihoods(const std::vector<NodeStruct*>& down_pass,
                                           const std::vector<int>& structure,
                                           const ModelParams& parameters,
                                           const FractionalScaling& scaling);

// The block log-likelihoods summed, in block order, over the stem pairs
// and over the loop columns.
PartitionLogLikelihoods SumByPartition(const std::vector<int>& structure,
                                       const std::vector<double>& block_lnl);

// Both steps at once.
PartitionLogLikelihoods GetLogLikelihood(const std::vector<NodeStruct*>& down_pass,
                                         const std::vector<int>& structure,
                                         const ModelParams& parameters,
                                         const FractionalScaling& scaling);

// Prints "Log-likelihood: TOTAL (stems: S, loops: L)" with six decimals.
void ShowLogLikelihood(const PartitionLogLikelihoods& lnl);
