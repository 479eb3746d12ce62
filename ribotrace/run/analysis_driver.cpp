#include "run/analysis_driver.h"

#include <cstddef>
#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

#include "bailout/bailout.h"
#include "inference/hidden_simulation.h"
#include "inference/node_vectors.h"
#include "run/inference_stages.h"
#include "io/data_file.h"
#include "io/nexus_text.h"
#include "io/parameter_file.h"
#include "io/results_file.h"
#include "io/tree_file.h"
#include "model/parameter_record.h"
#include "model/rate_matrices.h"
#include "model/transition_probabilities.h"
#include "output/safe_output_file.h"
#include "base/buffers.h"
#include "base/diagnostics.h"
#include "base/random_source.h"
#include "base/stage_timings.h"
#include "sequence/stems_and_loops.h"
#include "tree/branch_scaling.h"
#include "tree/node_struct.h"
#include "tree/show_tree_structure.h"
#include "tree/tree_construction.h"
#include "tree/tree_rooting.h"

void CalcAncestralStates(const RunValues& values) {
  show_debug_info = values.show_debug != 0;
  std::int32_t seed = values.seed ? *values.seed : GetSeedFromClock();
  const std::unique_ptr<StageTimings> timings =
      values.timings ? std::make_unique<StageTimings>() : nullptr;

  const Alignment alignment = ReadDataFile(values.data_file);
  if (alignment.n_taxa < 3) {
    // Below three taxa no interior node lies below the root: nothing to sample.
    Fail("CalcAncestralStates Error: The data file '" + values.data_file + "' holds " +
         std::to_string(alignment.n_taxa) + " taxa; at least 3 are needed.");
  }
  std::vector<SiteRecord> SS = AllocateBuffer<SiteRecord>(
      {alignment.n_sites}, "ReadDataFile Error: Problem allocating memory for Data.");
  const std::vector<int> outgroup = FindOutgroupTaxa(values.outgroup, alignment.Names);

  const StemsAndLoops stems = InitializeStemsAndLoops(alignment, values.condition_on_pairs, SS);
  if (show_debug_info) {
    std::printf("Number doublet sites = %d\nNumber of singleton sites = %d\n", stems.n_doublets,
                stems.n_singletons);
  }

  // The largest buffers of the run are the nodes' likelihood and posterior
  // vectors (inference/node_vectors.h); a tree too large for this machine
  // fails here, before anything is allocated or read further.
  const long long n_nodes = 2LL * alignment.n_taxa - 1;
  const long long n_interior = alignment.n_taxa - 2;
  const int n_blocks = stems.n_doublets + stems.n_singletons;
  const auto node_buffers = [&](int n_categories) {
    std::vector<PlannedBuffer> buffers = NodeVectors::Planned(
        alignment.n_taxa, alignment.structure, values.marginal, n_categories);
    buffers.push_back({{n_nodes}, sizeof(NodeStruct)});
    return buffers;
  };
  RequireMemoryFor(node_buffers(0), "CalcAncestralStates Error: " + std::to_string(n_nodes) +
                                        " nodes with " + std::to_string(n_blocks) +
                                        " stem pairs and loop columns each");
  // Rows are written as they are drawn, so the sample count bounds the size
  // of the results file, not memory: an absurd count fails here, naming it,
  // instead of filling the disk after a long computation. Per node and
  // column: a character per sample and hidden row, one of the most probable
  // sequence, with the tables at most 160 bytes of table rows, and with the
  // report five characters of the page.
  const long long bytes_per_cell = 2LL * values.n_samples + 1 + (values.state_tables ? 160 : 0) +
                                   (values.report ? 5 : 0);
  RequireDiskSpaceFor(CheckedProduct({n_interior, alignment.n_sites + 1, bytes_per_cell}),
                      values.out_file,
                      "CalcAncestralStates Error: " + std::to_string(values.n_samples) +
                          " ancestral samples of " + std::to_string(n_interior) +
                          " interior nodes and " + std::to_string(alignment.n_sites) + " columns");

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

  // The sample matrix (2 x (taxa - 2) x samples rows of one int per
  // column) is produced and written one row at a time and never held
  // whole, but its size must still be a count that exists.
  if (!CheckedProduct({2, n_interior, values.n_samples, alignment.n_sites},
                      static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max()))) {
    throw FatalError("CalcAncestralStates Error: Failure to allocate anc_seqs.",
                     ErrorForm::kBailout);
  }

  std::string tree_id;
  std::string param_id;
  const std::string t_string = ReadTreeFile(values.tree_file, &tree_id);
  const ParameterRecord parameters =
      ReadParameterFile(values.param_file, stems.isStructure, &param_id);
  WarnOnDifferentAnalyses(values.tree_file, tree_id, values.param_file, param_id);
  if (HasGammaRates(parameters)) {
    if (!values.marginal) {
      Fail("CalcAncestralStates Error: The parameter file '" + values.param_file +
           "' gives gamma-distributed rates across sites (alpha), which --classic does not "
           "model; run without --classic.");
    }
    // Each node keeps its posteriors given every category beside the mixture.
    RequireMemoryFor(node_buffers(values.gamma_categories),
                     "CalcAncestralStates Error: " + std::to_string(n_nodes) + " nodes with " +
                         std::to_string(n_blocks) + " stem pairs and loop columns in " +
                         std::to_string(values.gamma_categories) + " rate categories each");
  }
  if (timings) timings->Stop("reading");

  // Opened now, so that an output path that cannot be written, or that is
  // one of the inputs, stops the run before the long computation.
  ResultsFiles files(values.out_file,
                     {{"data file", values.data_file},
                      {"tree file", values.tree_file},
                      {"parameter file", values.param_file}},
                     values.state_tables, values.report);

  SetUpTree(nodes, up_pass, down_pass, alignment.Names, t_string, alignment.n_taxa);
  if (!outgroup.empty()) RootOnOutgroup(up_pass, down_pass, outgroup, alignment.Names);
  SetScaledBranchLengths(down_pass, values.is_harmonic);
  ShowTreeStructure(nodes, down_pass, up_pass);

  if (timings) timings->Stop("tree");

  SetQMatrix(parameters);
  SetDoubletQMatrix(parameters);
  SetSingeltonTransitionProbabilities(up_pass);
  SetDoubletTransitionProbabilities(up_pass, DoubletTimeFactor(values));

  // A hidden branch lasts scaled_length x lambda, and every node below the
  // root has the same scaled_length, so one pair of hidden matrices serves
  // every node and column of the run.
  HiddenBranchMatrices hidden;
  SetHiddenSingeltonTransitionProbabilities(*down_pass.front(), hidden.singlet, values.lambda);
  SetHiddenDoubletTransitionProbabilities(*down_pass.front(), hidden.doublet, values.lambda,
                                          DoubletTimeFactor(values));

  if (timings) timings->Stop("matrices");

  RunInferenceStages({down_pass, up_pass, SS, alignment, parameters, hidden, timings.get()}, values,
                     &seed, files);
  files.CommitAll();
  if (timings) timings->Print(stderr);
  std::string written;
  for (const std::string& path : files.Paths()) written += (written.empty() ? "" : ", ") + path;
  std::fprintf(stderr, "ribotrace wrote %s\n", written.c_str());
}
