#include "run/analysis_driver.h"

#include <cstdio>
#include <vector>

#include "alignment/alignment_reader.h"
#include "bailout/bailout.h"
#include "tree/branch_scaling.h"
#include "run/buffers.h"
#include "io/data_file.h"
#include "run/diagnostics.h"
#include "inference/hidden_simulation.h"
#include "inference/inference_stages.h"
#include "tree/node_struct.h"
#include "io/parameter_file.h"
#include "model/parameter_record.h"
#include "run/random_source.h"
#include "model/rate_matrices.h"
#include "tree/show_tree_structure.h"
#include "sequence/stems_and_loops.h"
#include "tree/tree_construction.h"
#include "model/transition_probabilities.h"
#include "io/tree_file.h"

void CalcAncestralStates(const RunValues& values) {
  show_debug_info = values.show_debug != 0;
  std::int32_t seed = values.seed ? *values.seed : GetSeedFromClock();

  const AlignmentCounts counts = GetNumberOfTaxaSitesAndAllocate(values.data_file);
  if (counts.n_taxa < 3) {
    // Below three taxa no interior node lies below the root: nothing to sample.
    Fail("CalcAncestralStates Error: The data file '" + values.data_file + "' holds " +
         std::to_string(counts.n_taxa < 0 ? 0 : counts.n_taxa) +
         " taxa; at least 3 are needed.");
  }

  Alignment alignment;
  alignment.n_taxa = counts.n_taxa;
  alignment.n_sites = counts.n_sites;
  alignment.structure = AllocateBuffer<int>(
      {counts.n_sites}, "ReadDataFile Error: Problem allocating memory for structure.");
  alignment.Names = AllocateBuffer<TaxonName>(
      {counts.n_taxa}, "ReadDataFile Error: Problem allocating memory for Names.");
  std::vector<SiteRecord> SS = AllocateBuffer<SiteRecord>(
      {counts.n_sites}, "ReadDataFile Error: Problem allocating memory for Data.");
  alignment.dmatrix = AllocateBuffer<int>(
      {counts.n_taxa, counts.n_sites}, "ReadDataFile Error: Problem allocating memory for dmatrix.");

  ReadDataFile(values.data_file, alignment);

  const StemsAndLoops stems = InitializeStemsAndLoops(alignment, values.condition_on_pairs, SS);
  if (show_debug_info) {
    std::printf("Number doublet sites = %d\nNumber of singleton sites = %d\n", stems.n_doublets,
                stems.n_singletons);
  }

  // The largest buffers of the run grow with the sample count, which is
  // not bounded by the files: an absurd count fails here, naming it, before
  // anything is allocated or read further.
  const long long n_nodes = 2LL * counts.n_taxa - 1;
  const long long n_interior = counts.n_taxa - 2;
  const int n_blocks = stems.n_doublets + stems.n_singletons;
  RequireMemoryFor({{{n_nodes}, sizeof(NodeStruct)},
                    {{n_nodes, 2, 20, n_blocks}, sizeof(double)},
                    {{2, n_interior, values.n_samples, counts.n_sites}, sizeof(int)},
                    {{2, n_interior, values.n_samples}, sizeof(double)}},
                   "CalcAncestralStates Error: " + std::to_string(values.n_samples) +
                       " ancestral samples of " + std::to_string(n_interior) +
                       " interior nodes and " + std::to_string(counts.n_sites) + " columns");

  // The tree: 2 x taxa - 1 nodes, which SetUpTree links in place, so the
  // node array is never resized once pointers into it exist. Fresh nodes
  // and sequences hold their reset values (null links, zero lengths and
  // arrays, numbers -9).
  std::vector<NodeStruct> nodes = AllocateBuffer<NodeStruct>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate nodes.", ErrorForm::kBailout);
  std::vector<NodeStruct*> down_pass = AllocateBuffer<NodeStruct*>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate down_pass.", ErrorForm::kBailout);
  std::vector<NodeStruct*> up_pass = AllocateBuffer<NodeStruct*>(
      {n_nodes}, "CalcAncestralStates Error: Failure to allocate up_pass.", ErrorForm::kBailout);

  // The sample matrix: 2 x (taxa - 2) x samples rows of one int per column,
  // the sampled ancestral sequences first, then the hidden sequences; and
  // the log-probability of every sampled row.
  std::vector<int> anc_seqs = AllocateBuffer<int>(
      {2, n_interior, values.n_samples, counts.n_sites},
      "CalcAncestralStates Error: Failure to allocate anc_seqs.", ErrorForm::kBailout);
  std::vector<double> log_P = AllocateBuffer<double>(
      {2, n_interior, values.n_samples}, "CalcAncestralStates Error: Failure to allocate log_P.",
      ErrorForm::kBailout);

  const std::string t_string = ReadTreeFile(values.tree_file);
  const ParameterRecord parameters = ReadParameterFile(values.param_file, stems.isStructure);

  for (NodeStruct& node : nodes) {
    node.frac_likelihoods = AllocateBuffer<double>(
        {20, n_blocks}, "CalcAncestralStates Error: Failure to allocate frac_likelihoods.",
        ErrorForm::kBailout);
    node.posterior_probs = AllocateBuffer<double>(
        {20, n_blocks}, "CalcAncestralStates Error: Failure to allocate posterior_probs.",
        ErrorForm::kBailout);
  }

  SetUpTree(nodes, up_pass, down_pass, alignment.Names, t_string, counts.n_taxa);
  SetScaledBranchLengths(down_pass, values.is_harmonic);
  ShowTreeStructure(nodes, down_pass, up_pass);

  SetQMatrix(parameters);
  SetDoubletQMatrix(parameters);
  SetSingeltonTransitionProbabilities(up_pass);
  SetDoubletTransitionProbabilities(up_pass);

  // A hidden branch lasts scaled_length x lambda, and every node below the
  // root has the same scaled_length, so one pair of hidden matrices serves
  // every node and column of the run.
  HiddenBranchMatrices hidden;
  SetHiddenSingeltonTransitionProbabilities(*down_pass.front(), hidden.singlet, values.lambda);
  SetHiddenDoubletTransitionProbabilities(*down_pass.front(), hidden.doublet, values.lambda);

  RunInferenceStages({down_pass, up_pass, SS, alignment, parameters, hidden}, values, &seed,
                     anc_seqs, log_P);
}
