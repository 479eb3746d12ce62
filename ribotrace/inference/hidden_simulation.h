// Hidden sequences: for every interior node below the root and every
// sample, a state drawn from the node's posteriors is carried along a hidden
// branch below the node, and the state at its end is kept.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "tree/node_struct.h"
#include "sequence/stems_and_loops.h"

// Transition probabilities along the hidden branch (length scaled_length x
// lambda, the same for every node of a run). Row: state at the node;
// column: state at the end of the hidden branch.
struct HiddenBranchMatrices {
  std::array<double, 16> singlet{};   // 4 x 4, A C G U
  std::array<double, 256> doublet{};  // 16 x 16, doublet index order
};

// Draws one hidden sequence of the node into `row` (n_sites entries): per
// loop column and stem pair, in column order, one draw for the state at the
// node (from its posteriors) and one for the state at the end of the hidden
// branch (from that state's row of the hidden matrix). With
// condition_on_pairs 1 the doublet row is first reweighted by the column's
// canonical-pair frequency. A distribution with no drawable state is fatal.
void SimulateHiddenRow(const NodeStruct& node, const std::vector<SiteRecord>& SS,
                       const std::vector<int>& structure, const HiddenBranchMatrices& hidden,
                       int condition_on_pairs, std::int32_t* seed, int* row);
