// True marginal posteriors of the states at every interior node below the
// root: the likelihood of the node's own subtree (its children's
// contributions) times that of everything outside it (the outside vector),
// normalised per block.
#pragma once

#include <vector>

#include "base/alignment.h"
#include "inference/branch_changes.h"
#include "inference/fractional_likelihoods.h"
#include "model/model_params.h"
#include "sequence/stems_and_loops.h"
#include "model/branch_matrices.h"
#include "tree/node_struct.h"

// Visits every interior node once, parents before children (up_pass starts
// at the root). At the root the outside of a child c is
// O_c(y) = sum over x of pi(x) x C_s(x) x P_c[x][y], further down
// O_c(y) = sum over x of O_v(x) x C_s(x) x P_c[x][y], where v is c's parent,
// s its sibling, C_s(x) = sum over z of P_s[x][z] x L_s(z) the sibling's
// contribution (the product of the siblings' where v has more than two
// children, in their order) and P_c the branch matrix of c. Every interior
// node v below the root gets posterior_probs proportional to O_v(x) x the
// product of its children's C_c(x) in their order; a block in which every
// state has probability 0 gets all 0.0.
// A node's posteriors may take the place of its fractional likelihoods
// (see node_vectors.h): only its children's are read, and tips' are made
// from their codes (SS, alignment and options.stem_codes_as_sets as in
// GetFractionalLikelihoods). Outside blocks are rescaled like the fractional
// likelihoods. Doublet blocks use the doublet frequencies and the doublet
// matrices, loop blocks the loop frequencies and matrices. With `changes`,
// also records every branch's figures at every block (branch_changes.h)
// from the same vectors. Prints the posteriors with options.listing.
// Returns how many outside blocks were rescaled.
long long GetMarginalPosteriors(const std::vector<NodeStruct*>& up_pass,
                                const BranchMatrices& matrices, const std::vector<SiteRecord>& SS,
                                const Alignment& alignment, const ModelParams& parameters,
                                const PassOptions& options = {},
                                BranchChangeRecorder* changes = nullptr);
