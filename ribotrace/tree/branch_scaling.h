// The length of the hidden branch below every node, before lambda.
#pragma once

#include <span>

#include "tree/node_struct.h"

// Harmonic mean of the 2 x taxa - 3 branch lengths of the unrooted tree:
// the two branches at the root of the down-pass sequence (root last) count
// as one branch of their summed length. A zero length gives 0.
double GetHarmonicMeanOfBranchLengths(std::span<NodeStruct* const> down_pass);

// Sets `scaled_length` of every node but the root to the harmonic mean
// (is_harmonic 1) or to 1.0 (is_harmonic 0); any other value is fatal.
void SetScaledBranchLengths(std::span<NodeStruct* const> down_pass, int is_harmonic);
