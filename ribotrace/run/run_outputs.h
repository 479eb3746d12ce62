// What an analysed sample hands its output writers: which outputs the run
// writes, each result unit once its means are final, and the run's figures
// once the rows are drawn.
#pragma once

#include <cstdint>

#include "io/output_writers.h"
#include "io/run_results.h"
#include "run/run_values.h"
#include "run/sample_analysis.h"
#include "run/tree_sample.h"

// From the options, and the sample: over MrBayes's sample the units are
// clades, which have their list.
OutputChoice ChosenOutputs(const RunValues& values, const TreeSample& sample);

// Every unit in table order, with its mean posteriors and p_gap.
void HandUnits(const SampleAnalysis& analysis, OutputWriters& outputs);

// The summary: "h_mean" and "lambda" or "prd_brlen" (the mean over the
// trees), "size", with --gaps=tree "gap_rate" (the mean), with
// --gaps=indel "insertion_rate" and "deletion_rate" (the means), the runs'
// convergence over MrBayes's sample (warning where it falls short), and
// after --fit "fit_log_likelihood", "fit_free_parameters" and "fit_AIC";
// the tree, the clades, the branches' figures, and with the report what it
// tells of the run. Views into `analysis`.
RunResults GatherResults(const SampleAnalysis& analysis, const RunValues& values,
                         std::int32_t seed);
