// The report of a run (--report): gathered from the result units'
// posteriors, and written once the sample rows have been drawn.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "inference/gap_reconstruction.h"
#include "inference/log_likelihood.h"
#include "io/report_writer.h"
#include "run/run_values.h"
#include "run/row_drawing.h"
#include "sequence/stems_and_loops.h"

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
  // `tree` in pre-order, and the posteriors of the nodes that have them,
  // by their index in it. The caller sets the model's values, the
  // log-likelihood and, over a sample, the mode in data().
  RunReport(const Alignment& alignment, const std::vector<SiteRecord>& SS,
            std::vector<ReportTreeNode> tree, const std::vector<ReportNodeSource>& nodes,
            const RunValues& values, std::int32_t seed);

  ReportData& data() { return data_; }

  // Where the sample stream counts the pairs of its rows.
  SampledPairCounts& sampled_pairs() { return sampled_; }

  // Writes the page, with the counts of the streamed rows.
  void Write(SafeOutputFile& file);

 private:
  void Gather(const Alignment& alignment, const std::vector<SiteRecord>& SS,
              std::vector<ReportTreeNode> tree, const std::vector<ReportNodeSource>& nodes);

  ReportData data_;
  SampledPairCounts sampled_;
};
