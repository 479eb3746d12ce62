// The sample matrix as a stream of rows: ancestral samples, hidden
// sequences and re-introduced gaps, each row produced on its own from its
// position in the random stream, written to the results files in order and
// listed when diagnostics are on. The matrix itself never exists whole.
#pragma once

#include <cstdint>

#include "inference/gap_reconstruction.h"
#include "inference/rate_categories.h"
#include "run/inference_stages.h"
#include "sequence/helices.h"

// Canonical pairs of the streamed rows, counted as they pass.
struct SampledPairCounts {
  CanonicalPairCounter sampled;  // the ancestral sample rows
  CanonicalPairCounter hidden;   // the hidden rows
};

// What a run adds to the plain stream of rows, each when asked for.
struct StreamExtras {
  // Gamma rates: every block's rate category is drawn too (see SampleRowPlan).
  const CategorySampling* categories = nullptr;
  // --gaps=tree: the rows' gaps come from the tree (gap_draws.h) instead of
  // the columns' gap frequencies.
  const GapReconstruction* gaps = nullptr;
  // Every row's pairs (gaps put back) are added to these counters.
  SampledPairCounts* pair_counts = nullptr;
};

// Conditions the sampled nodes' doublet posteriors on pairs (once per node),
// then produces every row of the sample matrix on values.threads threads
// and writes them, in row order, through WriteResultsToFile_New. All draws
// come from the stream that starts at *seed, each at the position drawing
// the whole matrix in order would give it; *seed ends where that stream
// ends. `extras` adds what a run asks for beyond the plain rows.
void StreamSampleRows(const InferenceInputs& inputs, const RunValues& values, std::int32_t* seed,
                      ResultsFiles& files, const StreamExtras& extras = {});
