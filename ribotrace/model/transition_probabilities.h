// Transition-probability matrices of the branches: P(t) = exp(Q t) from a
// partition's substitution model, row = state at the ancestral end, column =
// state at the descendant end. With `listing` (the diagnostic listing of
// show_debug) each function prints the matrices it made.
#pragma once

#include <array>
#include <vector>

#include "model/branch_matrices.h"
#include "model/substitution_model.h"
#include "tree/node_struct.h"

// The loop matrix of every node in `nodes` but the root, for the branch
// `length` at `rate` (a gamma category's rate; 1 without rate variation).
void SetSingeltonTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                         const SubstitutionModel& loops, BranchMatrices& matrices,
                                         double rate = 1.0, bool listing = false);
// The doublet matrix likewise, for time_factor x the branch time. MrBayes
// measures branch lengths per nucleotide and so evaluates a doublet, two
// nucleotides, at twice the length (time_factor 2; times a gamma
// category's rate).
void SetDoubletTransitionProbabilities(const std::vector<NodeStruct*>& nodes,
                                       const SubstitutionModel& stems, BranchMatrices& matrices,
                                       double time_factor = 1.0, bool listing = false);

// The matrix of the hidden branch below `node`, which lasts
// scaled_length x lambda, of the loop model.
void SetHiddenSingeltonTransitionProbabilities(const NodeStruct& node,
                                               const SubstitutionModel& loops,
                                               std::array<double, 16>& matrix, double lambda,
                                               bool listing = false);
// Likewise of the stem model, for time_factor x that length.
void SetHiddenDoubletTransitionProbabilities(const NodeStruct& node, const SubstitutionModel& stems,
                                             std::array<double, 256>& matrix, double lambda,
                                             double time_factor = 1.0, bool listing = false);
