#include "run/tree_workspace.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "base/buffers.h"
#include "bailout/bailout.h"
#include "inference/node_vectors.h"
#include "io/data_file.h"
#include "output/safe_output_file.h"
#include "model/transition_probabilities.h"
#include "tree/branch_scaling.h"
#include "tree/show_tree_structure.h"
#include "tree/tree_construction.h"
#include "tree/tree_rooting.h"

namespace {

// The nodes and their vectors, as one tree of the run allocates them.
std::vector<PlannedBuffer> NodeBuffers(const RunData& data, const RunValues& values,
                                       int n_categories) {
  std::vector<PlannedBuffer> buffers = NodeVectors::Planned(
      data.alignment.n_taxa, data.alignment.structure, values.marginal, n_categories);
  buffers.push_back({{2LL * data.alignment.n_taxa - 1}, sizeof(NodeStruct)});
  return buffers;
}

}  // namespace

RunData LoadRunData(const RunValues& values) {
  RunData data;
  const bool listing = values.show_debug != 0;
  data.alignment = ReadDataFile(values.data_file, listing);
  const Alignment& alignment = data.alignment;
  if (alignment.n_taxa < 3) {
    // Below three taxa no interior node lies below the root: nothing to sample.
    Fail("CalcAncestralStates Error: The data file '" + values.data_file + "' holds " +
         std::to_string(alignment.n_taxa) + " taxa; at least 3 are needed.");
  }
  data.SS = AllocateBuffer<SiteRecord>({alignment.n_sites},
                                       "ReadDataFile Error: Problem allocating memory for Data.");
  data.outgroup = FindOutgroupTaxa(values.outgroup, alignment.Names);

  data.stems = InitializeStemsAndLoops(alignment, values.condition_on_pairs, data.SS, listing);
  if (listing) {
    std::printf("Number doublet sites = %d\nNumber of singleton sites = %d\n",
                data.stems.n_doublets, data.stems.n_singletons);
  }

  // The largest buffers of the run are the nodes' likelihood and posterior
  // vectors (inference/node_vectors.h); a tree too large for this machine
  // fails here, before anything is allocated or read further.
  const long long n_nodes = 2LL * alignment.n_taxa - 1;
  const long long n_interior = alignment.n_taxa - 2;
  data.n_blocks = data.stems.n_doublets + data.stems.n_singletons;
  RequireMemoryFor(NodeBuffers(data, values, 0),
                   "CalcAncestralStates Error: " + std::to_string(n_nodes) + " nodes with " +
                       std::to_string(data.n_blocks) + " stem pairs and loop columns each");
  // Rows are written as they are drawn, so the sample count bounds the size
  // of the results file, not memory: an absurd count fails here, naming it,
  // instead of filling the disk after a long computation. Per node and
  // column: a character per sample and hidden row, one of the most probable
  // sequence, with the tables at most 160 bytes of table rows, and with the
  // report five characters of the page.
  const long long bytes_per_cell =
      2LL * values.n_samples + 1 + (values.state_tables ? 160 : 0) + (values.report ? 5 : 0);
  RequireDiskSpaceFor(CheckedProduct({n_interior, alignment.n_sites + 1, bytes_per_cell}),
                      values.out_file,
                      "CalcAncestralStates Error: " + std::to_string(values.n_samples) +
                          " ancestral samples of " + std::to_string(n_interior) +
                          " interior nodes and " + std::to_string(alignment.n_sites) + " columns");

  // The sample matrix (2 x (taxa - 2) x samples rows of one int per
  // column) is produced and written one row at a time and never held
  // whole, but its size must still be a count that exists.
  if (!CheckedProduct({2, n_interior, values.n_samples, alignment.n_sites},
                      static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()))) {
    throw FatalError("CalcAncestralStates Error: Failure to allocate anc_seqs.",
                     ErrorForm::kBailout);
  }
  return data;
}

void CheckGammaMemory(const RunData& data, const RunValues& values) {
  // Each node keeps its posteriors given every category beside the mixture.
  const long long n_nodes = 2LL * data.alignment.n_taxa - 1;
  RequireMemoryFor(NodeBuffers(data, values, values.gamma_categories),
                   "CalcAncestralStates Error: " + std::to_string(n_nodes) + " nodes with " +
                       std::to_string(data.n_blocks) + " stem pairs and loop columns in " +
                       std::to_string(values.gamma_categories) + " rate categories each");
}

TreeWorkspace::TreeWorkspace(const RunData& data) {
  // The tree: 2 x taxa - 1 nodes, which SetUpTree links in place, so the
  // node array is never resized once pointers into it exist.
  const long long n_nodes = 2LL * data.alignment.n_taxa - 1;
  nodes = AllocateBuffer<NodeStruct>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate nodes.", ErrorForm::kBailout);
  down_pass = AllocateBuffer<NodeStruct*>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate down_pass.", ErrorForm::kBailout);
  up_pass = AllocateBuffer<NodeStruct*>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate up_pass.", ErrorForm::kBailout);
}

void TreeWorkspace::Build(const std::string& tree_text, const RunData& data, int is_harmonic,
                          bool listing) {
  // A tree is built into records at their reset values (null links, zero
  // lengths, no vectors, numbers -9); the tree's NodeVectors give the
  // vectors.
  for (NodeStruct& node : nodes) node = NodeStruct{};
  const Alignment& alignment = data.alignment;
  SetUpTree(nodes, up_pass, down_pass, alignment.Names, tree_text, alignment.n_taxa);
  // Every tip would equal the root: no information on ancestors, and a
  // harmonic mean of zeros for the hidden branches.
  if (std::all_of(nodes.begin(), nodes.end(),
                  [](const NodeStruct& node) { return node.length == 0; })) {
    Fail(
        "SetUpTree Error: Every branch of the tree has length 0; ancestral states need a tree "
        "with branch lengths.");
  }
  if (!data.outgroup.empty()) RootOnOutgroup(up_pass, down_pass, data.outgroup, alignment.Names);
  SetScaledBranchLengths(down_pass, is_harmonic);
  if (listing) ShowTreeStructure(nodes, down_pass, up_pass);
}

HiddenBranchMatrices SetBranchMatrices(const TreeWorkspace& tree, const PartitionModels& models,
                                       BranchMatrices& matrices, const RunValues& values) {
  matrices.Resize(tree.nodes.size());
  const bool listing = values.show_debug != 0;
  const double stem_time = DoubletTimeFactor(values) * models.stem_rate;
  SetSingeltonTransitionProbabilities(tree.up_pass, models.loops, matrices, models.loop_rate,
                                      listing);
  SetDoubletTransitionProbabilities(tree.up_pass, models.stems, matrices, stem_time, listing);

  // A hidden branch lasts scaled_length x lambda, and every node below the
  // root has the same scaled_length, so one pair of hidden matrices serves
  // every node and column of the tree.
  HiddenBranchMatrices hidden;
  SetHiddenSingeltonTransitionProbabilities(*tree.down_pass.front(), models.loops, hidden.singlet,
                                            values.lambda * models.loop_rate, listing);
  SetHiddenDoubletTransitionProbabilities(*tree.down_pass.front(), models.stems, hidden.doublet,
                                          values.lambda, stem_time, listing);
  return hidden;
}

void CheckGammaRun(const RunData& data, const RunValues& values) {
  if (!values.marginal) {
    Fail("CalcAncestralStates Error: The parameter file '" + values.param_file +
         "' gives gamma-distributed rates across sites (alpha), which --classic does not "
         "model; run without --classic.");
  }
  CheckGammaMemory(data, values);
}
