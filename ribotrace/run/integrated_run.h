// A run over MrBayes's posterior sample of trees and parameters: every
// used sample's tree with its own parameters, the nodes identified across
// trees by their clades, the results keyed by clade.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "run/convergence_check.h"
#include "base/stage_timings.h"
#include "inference/gap_reconstruction.h"
#include "inference/node_vectors.h"
#include "io/nexus_text.h"
#include "io/posterior_sample.h"
#include "io/results_file.h"
#include "run/analysis_driver.h"
#include "run/inference_stages.h"
#include "run/row_scratch.h"
#include "run/sample_stream.h"
#include "run/tree_workspace.h"
#include "tree/clade_summary.h"

// The steps of the run, kept apart so that the clades' tables can be read
// without writing any file.
class IntegratedAnalysis {
 public:
  // Roots every used tree on data.outgroup (which must be given: the run
  // takes the first taxon when the user names none) and gathers its
  // clades: those in at least
  // values.min_clade of the trees get results, and the majority-rule
  // consensus names them.
  IntegratedAnalysis(const RunValues& values, const RunData& data, PosteriorSample sample);

  // Analyses every used sample in order: its tree, its parameters' branch
  // matrices, the posterior passes; adds each result clade's posteriors to
  // its table and, with `files`, draws the rows that the tree gives: the
  // k-th draw (from 0) of a clade held by M trees comes from the (k mod
  // M)-th of them in sample order, each row at the position in the random
  // stream (from `seed`) that the row layout of a single-tree run gives
  // it, with the clades in place of the nodes. With `rows` the rows go
  // there, to be written by WriteFiles.
  void AnalyseSamples(std::int32_t seed, RowScratch* rows, StageTimings* timings);

  // Writes the results file (rows from `rows`), the summary, the
  // consensus tree, the clade list, the most probable sequences and the
  // tables of every result clade, and with files.report the report: the
  // consensus tree, its clades' averaged posteriors, the mean parameters
  // and log-likelihood of the samples, the pairs of the drawn rows.
  void WriteFiles(ResultsFiles& files, RowScratch& rows, std::int32_t seed) const;

  const PosteriorSample& sample() const { return sample_; }
  const CladeSummary& clades() const { return summary_; }
  // The clades that get results, as positions in clades().clades.
  const std::vector<int>& result_clades() const { return results_; }
  // The posteriors of result clade j averaged over the trees that hold
  // it, laid out like a node's posterior_probs.
  std::span<const double> MeanPosteriors(std::size_t j) const;
  // With --gaps=tree, each column's probability of absence at result
  // clade j averaged over the trees that hold it; otherwise empty.
  std::vector<double> MeanGapPosteriors(std::size_t j) const;
  std::size_t n_rows() const;

 private:
  const IdentifiedClade& ResultClade(std::size_t j) const;
  void WriteReport(SafeOutputFile& file, std::int32_t seed) const;
  // The built tree's node of each result clade; null where it lacks one.
  std::vector<NodeStruct*> NodesByResultClade() const;
  // Draws the rows that tree `s` gives (see AnalyseSamples) into `rows`,
  // on values.threads threads; conditions its sampled nodes on pairs first
  // when asked to. With `gaps` (--gaps=tree) the rows' gaps come from the
  // tree's own gap reconstruction.
  void DrawRows(std::size_t s, const std::vector<NodeStruct*>& nodes,
                const HiddenBranchMatrices& hidden, const PassResults& passes,
                const GapReconstruction* gaps, std::int32_t seed, RowScratch& rows);

  const RunValues& values_;
  const RunData& data_;
  PosteriorSample sample_;
  TreeWorkspace tree_;
  std::optional<NodeVectors> vectors_;  // made for the first tree, reassigned to the others
  CladeSummary summary_;
  ConvergenceFigures convergence_;
  std::vector<int> results_;     // result clade j -> position in summary_.clades
  std::vector<int> result_of_;   // position in summary_.clades -> j, or -1
  std::vector<double> sums_;  // per result clade, its posteriors summed over its trees
  std::vector<double> gap_sums_;  // with --gaps=tree: per result clade and column, p_gap summed
  double gap_rate_sum_ = 0.0;
  std::size_t n_gap_rates_at_bound_ = 0;
  std::size_t block_entries_ = 0;
  double scaled_length_sum_ = 0.0;
  PartitionLogLikelihoods log_likelihood_sum_;
  std::optional<SampledPairCounts> pair_counts_;  // of the drawn rows, with --report
  std::vector<Helix> helices_;
};

// The whole run: reads the runs' .t files and the already read .p texts,
// analyses, writes the results and reports the written files.
void RunIntegratedAnalysis(const RunValues& values, const RunData& data,
                           const std::vector<std::string>& parameter_files,
                           const std::vector<NexusText>& parameter_texts, std::int32_t seed,
                           StageTimings* timings);
