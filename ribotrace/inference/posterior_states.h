// Posterior probabilities of the states at every interior node below the
// root, from the fractional likelihoods of the node's neighbours.
#pragma once

#include <vector>

#include "base/alignment.h"
#include "inference/fractional_likelihoods.h"
#include "model/model_params.h"
#include "sequence/stems_and_loops.h"
#include "model/branch_matrices.h"
#include "tree/node_struct.h"

// For every interior node of the up-pass sequence that has an ancestor, and
// every block: posterior[x] proportional to freq[x] x the contributions of
// its children in their order and of U, normalised per block. U is the
// ancestor, or the siblings when the ancestor is the root;
// each neighbour contributes through its own branch matrix and its own
// fractional likelihoods (a tip's made from its codes, with SS, alignment
// and options.stem_codes_as_sets as in GetFractionalLikelihoods), so the
// posteriors need an array of their own (see node_vectors.h). Doublet
// blocks use the doublet frequencies and matrices, loop blocks the loop
// frequencies and matrices. A block in which every state has probability 0
// is stored as all 0.0 (sampling then stops on it). Prints the posteriors
// with options.listing.
void GetAncestralStatesFromPosterior(const std::vector<NodeStruct*>& up_pass,
                                     const BranchMatrices& matrices,
                                     const std::vector<SiteRecord>& SS, const Alignment& alignment,
                                     const ModelParams& parameters,
                                     const PassOptions& options = {});

// The diagnostic listing of the posteriors: every interior node below the
// root in up-pass order, every block with its pairing entry.
void ShowPosteriors(const std::vector<NodeStruct*>& up_pass, const std::vector<int>& structure);
