// The report of a run (--report): gathered from what the passes hold, as
// they run, and written once the sample rows have streamed past.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "inference/log_likelihood.h"
#include "io/report_writer.h"
#include "run/inference_stages.h"
#include "run/sample_stream.h"

// One node of the page: its index in the tree, its posteriors, and the
// probability that each column is absent there (the most probable rows,
// like .map.fa, have gaps where it exceeds 0.5).
struct ReportNodeSource {
  int index = 0;
  const double* posteriors = nullptr;
  std::vector<double> p_gap;
};

class RunReport {
 public:
  // Reads the tree, the model and every interior node's posteriors, so it
  // must be made after the posterior passes and before sampling conditions
  // any posterior on pairs. `seed` is the run's seed.
  RunReport(const InferenceInputs& inputs, const RunValues& values, std::int32_t seed,
            const PartitionLogLikelihoods& log_likelihood, const GapReconstruction& gaps);

  // A report of nodes that no single tree holds (the clades of a run over
  // a posterior sample): `tree` in pre-order, and the posteriors of the
  // nodes that have them, by their index in it. The caller sets the
  // model's values, the log-likelihood and the mode in data().
  RunReport(const Alignment& alignment, const std::vector<SiteRecord>& SS,
            std::vector<ReportTreeNode> tree,
            const std::vector<ReportNodeSource>& nodes, const RunValues& values, std::int32_t seed);

  ReportData& data() { return data_; }

  // Where the sample stream counts the pairs of its rows.
  SampledPairCounts& sampled_pairs() { return sampled_; }

  // Writes the page, with the counts of the streamed rows.
  void Write(SafeOutputFile& file);

 private:
  void Gather(const Alignment& alignment, const std::vector<SiteRecord>& SS,
              std::vector<ReportTreeNode> tree,
              const std::vector<ReportNodeSource>& nodes);

  ReportData data_;
  SampledPairCounts sampled_;
};
