// The outputs of an analysed sample besides its rows: the summary's lines,
// the tree, the clade list, the most probable sequences, the tables and the
// report.
#pragma once

#include <cstdint>
#include <optional>

#include "io/results_file.h"
#include "run/run_values.h"
#include "run/run_report.h"
#include "run/sample_analysis.h"

// Writes the summary after the results file's rows: "h_mean" and "lambda"
// or "prd_brlen" (the mean over the trees), "size", with --gaps=tree
// "gap_rate" (the mean), with --gaps=indel "insertion_rate" and
// "deletion_rate" (the means), the runs' convergence over MrBayes's
// sample, and after --fit "fit_log_likelihood", "fit_free_parameters" and
// "fit_AIC".
void WriteSummary(const SampleAnalysis& analysis, const RunValues& values, ResultsFiles& files);

// The tree (labelled, or the consensus), the clade list over a sample,
// every unit's most probable sequence and table rows in table order; and
// with files.report the report's data, gathered from the same means (so
// before sampling conditions any), to be written once the rows are drawn.
std::optional<RunReport> WriteUnitFiles(const SampleAnalysis& analysis, const RunValues& values,
                                        std::int32_t seed, ResultsFiles& files);

// The report, with the pairs of the drawn rows.
void WriteReport(RunReport& report, const SampleAnalysis& analysis, SafeOutputFile& file);

// out_file.changes and out_file.branches, with --changes.
void WriteChangeTables(const SampleAnalysis& analysis, ResultsFiles& files);
