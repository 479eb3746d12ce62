// Transition-probability matrices of the branches: P(t) = exp(Q t) from the
// run's two rate matrices (rate_matrices.h), row = state at the ancestral end,
// column = state at the descendant end.
#pragma once

#include <array>
#include <vector>

#include "tree/node_struct.h"

// p_singlet of every node in `nodes` but the root, for the branch `length`
// at `rate` (a gamma category's rate; 1 without rate variation), from
// singlet_q_matrix. The rate matrix is decomposed once per call.
void SetSingeltonTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                         double rate = 1.0);
// p_doublet likewise from doublet_q_matrix, for time_factor x the branch
// time. MrBayes measures branch lengths per nucleotide and so evaluates a
// doublet, two nucleotides, at twice the length (time_factor 2; times a
// gamma category's rate).
void SetDoubletTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                       double time_factor = 1.0);

// The matrix of the hidden branch below `node`, which lasts
// scaled_length x lambda, from singlet_q_matrix.
void SetHiddenSingeltonTransitionProbabilities(const NodeStruct& node,
                                               std::array<double, 16>& matrix, double lambda);
// Likewise from doublet_q_matrix, for time_factor x that length.
void SetHiddenDoubletTransitionProbabilities(const NodeStruct& node,
                                             std::array<double, 256>& matrix, double lambda,
                                             double time_factor = 1.0);
