// The two halves of every analysis: what all its trees share (the
// alignment, its stems and loops, the outgroup), loaded once; and the
// working records of one tree, in which a tree is built, given its
// parameters' branch matrices and run through the passes.
#pragma once

#include <string>
#include <vector>

#include "base/alignment.h"
#include "inference/hidden_simulation.h"
#include "model/branch_matrices.h"
#include "model/model_params.h"
#include "model/partition_models.h"
#include "run/run_values.h"
#include "sequence/stems_and_loops.h"
#include "tree/node_struct.h"

struct RunData {
  Alignment alignment;
  std::vector<SiteRecord> SS;
  StemsAndLoops stems;
  std::vector<int> outgroup;  // data rows of the --outgroup taxa; empty: as the tree file roots
  int n_blocks = 0;           // stem pairs and loop columns
};

// Reads the alignment, finds the stems, loops and outgroup, and checks
// that the run's arrays fit in memory and its results on the disk, before
// any tree or parameter file is read.
RunData LoadRunData(const RunValues& values);

// Fails before any work when a run with gamma rates (values.gamma_categories
// categories) would not fit in memory.
void CheckGammaMemory(const RunData& data, const RunValues& values);

// One tree's nodes and pass orders, allocated once and reused by every
// tree built in them; the passes' vectors come from a NodeVectors made for
// each built tree (inference/node_vectors.h).
class TreeWorkspace {
 public:
  explicit TreeWorkspace(const RunData& data);

  // Builds `tree_text` anew (see SetUpTree), roots it on data.outgroup when
  // one is given, and sets every hidden branch length (is_harmonic); prints
  // the tree with `listing`.
  void Build(const std::string& tree_text, const RunData& data, int is_harmonic,
             bool listing = false);

  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;  // children before parents, root last
  std::vector<NodeStruct*> up_pass;    // root first
};

// Sets every branch's transition matrices of the built tree under `models`
// and returns the hidden branch's matrices (the same for every node).
HiddenBranchMatrices SetBranchMatrices(const TreeWorkspace& tree, const PartitionModels& models,
                                       BranchMatrices& matrices, const RunValues& values);

// Before a run with gamma rates: fails under --classic, which does not
// model them, and when their arrays would not fit in memory (naming
// values.param_file).
void CheckGammaRun(const RunData& data, const RunValues& values);
