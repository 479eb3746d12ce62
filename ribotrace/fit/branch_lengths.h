// Branch lengths by Newton-Raphson on the analytic first and second
// derivatives of the log-likelihood, one branch at a time in one traversal
// of the tree that keeps every partial current as it goes.
#pragma once

#include <vector>

#include "fit/partition_likelihood.h"

// Shortest and longest branch the fit allows (expected changes per nucleotide).
constexpr double kMinBranch = 1e-8;
constexpr double kMaxBranch = 20.0;

// One pass over every free branch; each step never lowers the summed
// log-likelihood of the partitions. The partitions must have their models.
// Returns each partition's log-likelihood after the pass.
std::vector<double> OptimiseBranchLengths(FitTree& tree,
                                          const std::vector<PartitionLikelihood*>& partitions);
