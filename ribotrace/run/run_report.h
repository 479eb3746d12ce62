// The report of a run (--report): gathered from what the passes hold, as
// they run, and written once the sample rows have streamed past.
#pragma once

#include <cstdint>

#include "inference/log_likelihood.h"
#include "io/report_writer.h"
#include "run/inference_stages.h"
#include "run/sample_stream.h"

class RunReport {
 public:
  // Reads the tree, the model and every interior node's posteriors, so it
  // must be made after the posterior passes and before sampling conditions
  // any posterior on pairs. `seed` is the run's seed.
  RunReport(const InferenceInputs& inputs, const RunValues& values, std::int32_t seed,
            const PartitionLogLikelihoods& log_likelihood);

  // Where the sample stream counts the pairs of its rows.
  SampledPairCounts& sampled_pairs() { return sampled_; }

  // Writes the page, with the counts of the streamed rows.
  void Write(SafeOutputFile& file);

 private:
  ReportData data_;
  SampledPairCounts sampled_;
};
