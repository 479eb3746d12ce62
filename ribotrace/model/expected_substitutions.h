// Expected numbers of substitutions on a branch given the states at its two
// ends, under a reversible substitution model: what substitution mapping
// counts, computed exactly instead of by drawing histories.
#pragma once

#include <span>
#include <vector>

#include "matrix-library/matrix_library.h"
#include "model/branch_matrices.h"
#include "model/substitution_model.h"
#include "tree/node_struct.h"

// Endpoint-conditioned substitution counts of one model. For a branch of
// time t,
//   N_ab(t) = sum over i != j of w_ij q_ij integral_0^t P_ai(s) P_jb(t - s) ds
// through Q's eigen decomposition, and E[substitutions | a, b] =
// N_ab(t) / P_ab(t). w_ij counts the nucleotides in which states i and j
// differ: 1 between nucleotides, and for the doublet model the number of
// changed sides, so that the count is in single-nucleotide substitutions
// whatever the model allows.
class SubstitutionCounter {
 public:
  // Fails (FatalError) for a model whose eigenvalues are complex, which no
  // reversible model has.
  explicit SubstitutionCounter(const SubstitutionModel& model);

  int n_states() const { return n_; }
  // E[substitutions | a at the start, b at the end] for time t x r,
  // row-major n x n; 0 where the pair of ends is impossible.
  void Expected(double t, double r, std::span<double> expected) const;

 private:
  const SubstitutionModel& model_;
  int n_;
  RealMatrix weighted_in_eigenbasis_;  // U^-1 (w o Q, zero diagonal) U
};

// The endpoint-conditioned expectations of every branch of a tree, by node
// index (the branch above the node): the same shape as the branches'
// transition matrices, entry (a, b) E[substitutions | a, b].
using BranchSubstitutions = BranchMatrices;

// Fills `table` for every node of `nodes` but the root, with the same times
// as the branch matrices: loop columns over loop_rate x the branch length,
// stem pairs over stem_time x the branch length (twice it, as the doublet
// matrices, times a gamma category's rate).
void SetBranchSubstitutions(const std::vector<NodeStruct*>& nodes, const SubstitutionModel& loops,
                            const SubstitutionModel& stems, double loop_rate, double stem_time,
                            BranchSubstitutions& table);
