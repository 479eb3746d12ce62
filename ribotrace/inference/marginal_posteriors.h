// True marginal posteriors of the states at every interior node below the
// root: the likelihood of the node's own subtree (its two children's
// contributions) times that of everything outside it (the outside vector),
// normalised per block.
#pragma once

#include <vector>

#include "inference/fractional_likelihoods.h"
#include "model/parameter_record.h"
#include "tree/node_struct.h"

// Walks the up-pass sequence once. At the root the outside of a child c is
// O_c(y) = sum over x of pi(x) x C_s(x) x P_c[x][y], further down
// O_c(y) = sum over x of O_v(x) x C_s(x) x P_c[x][y], where v is c's parent,
// s its sibling, C_s(x) = sum over z of P_s[x][z] x L_s(z) the sibling's
// contribution and P_c the branch matrix of c. Every interior node v below
// the root gets posterior_probs proportional to O_v(x) x C_left(x) x
// C_right(x); tips and the root get all 0.0, and so does a block in which
// every state has probability 0. Outside blocks are rescaled like the
// fractional likelihoods (rescale_threshold is a test hook). Doublet blocks
// use the doublet frequencies and p_doublet, loop blocks the loop
// frequencies and p_singlet. Prints the posteriors when diagnostics are on.
// Returns how many outside blocks were rescaled.
long long GetMarginalPosteriors(const std::vector<NodeStruct*>& up_pass,
                                const std::vector<int>& structure,
                                const ParameterRecord& parameters,
                                double rescale_threshold = kRescaleThreshold);
