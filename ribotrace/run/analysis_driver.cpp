#include "run/analysis_driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bailout/bailout.h"
#include "base/random_source.h"
#include "base/stage_timings.h"
#include "io/analysed_alignment.h"
#include "run/convergence_check.h"
#include "io/nexus_text.h"
#include "io/parameter_file.h"
#include "io/parameter_sample.h"
#include "io/posterior_sample.h"
#include "io/output_writers.h"
#include "io/tree_file.h"
#include "run/row_drawing.h"
#include "run/row_scratch.h"
#include "run/run_outputs.h"
#include "run/sample_analysis.h"
#include "run/tree_sample.h"
#include "run/tree_workspace.h"

namespace {

void ReportWritten(const OutputWriters& outputs) {
  std::string written;
  for (const std::string& path : outputs.Paths()) written += (written.empty() ? "" : ", ") + path;
  std::fprintf(stderr, "ribotrace wrote %s\n", written.c_str());
}

// The rows of many trees come tree by tree, a clade's draws from each tree
// that holds it; the results file takes them in order at the end.
void HandScratchRows(RowScratch& scratch, const ResultUnits& units, std::size_t n_samples,
                     OutputWriters& outputs) {
  std::string text;
  scratch.ReadInOrder([&](std::size_t row, std::string_view characters) {
    AppendRowBlock(text, units, n_samples, row, characters);
    if (text.size() >= (std::size_t{1} << 20)) {
      outputs.Rows(text);
      text.clear();
    }
  });
  outputs.Rows(text);
}

// The one analysis of a sample of trees: every tree's passes, gaps and
// rows, then the outputs, renamed into place together.
void RunAnalysis(const RunValues& values, const RunData& data, TreeSample sample, std::int32_t seed,
                 StageTimings* timings) {
  if (timings) timings->Stop("reading");
  // Opened now, so that an output path that cannot be written, or that is
  // one of the inputs, stops the run before the long computation.
  OutputWriters outputs(values.out_file, sample.inputs, ChosenOutputs(values, sample),
                        {data.alignment, data.SS, values.include_data});
  SampleAnalysis analysis(values, data, std::move(sample));
  const ResultUnits& units = analysis.units();
  if (timings && units.over_clades()) timings->Stop("clades");

  outputs.Head();
  const auto n_samples = static_cast<std::size_t>(std::max(values.n_samples, 0));
  const std::size_t n_sites = data.alignment.structure.size();
  std::optional<RowScratch> scratch;
  std::unique_ptr<RowSink> rows;
  if (units.over_clades()) {
    scratch.emplace(2 * units.size() * n_samples, n_sites, values.out_file);
    rows = std::make_unique<ScratchRows>(*scratch, n_sites);
  } else {
    rows = std::make_unique<StreamedRows>(outputs, units, n_samples, n_sites);
  }
  const auto start = std::chrono::steady_clock::now();
  analysis.AnalyseTrees(seed, rows.get(), timings, [&] { HandUnits(analysis, outputs); });
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (scratch) HandScratchRows(*scratch, units, n_samples, outputs);
  outputs.End(GatherResults(analysis, values, seed));
  if (timings) {
    timings->Stop("writing");
    if (units.over_clades()) {
      std::fprintf(stderr, "%zu trees in %.3f s: %.4f s per tree\n", analysis.n_trees(), seconds,
                   seconds / static_cast<double>(analysis.n_trees()));
    }
    timings->Print(stderr);
  }
  outputs.CommitAll();
  ReportWritten(outputs);
}

}  // namespace

void CalcAncestralStates(const RunValues& values) {
  const std::int32_t seed = values.seed ? *values.seed : GetSeedFromClock();
  const std::unique_ptr<StageTimings> timings =
      values.timings ? std::make_unique<StageTimings>() : nullptr;

  RunData data = LoadRunData(values);
  // The parameter file decides the mode: MrBayes's sampled parameters (.p,
  // one file per run) integrate over the posterior sample; a parameter
  // summary (.pstat) analyses one tree.
  const std::vector<std::string> parameter_files = SplitFileList(values.param_file);
  std::vector<std::string> mrbayes_outputs = SplitFileList(values.tree_file);
  mrbayes_outputs.insert(mrbayes_outputs.end(), parameter_files.begin(), parameter_files.end());
  CheckAnalysedAlignment(mrbayes_outputs, data.alignment, values.data_file);
  std::vector<NexusText> parameter_texts;
  for (const std::string& file : parameter_files) {
    parameter_texts.push_back(ReadNexusText(file, true, "ReadParameterFile"));
  }
  if (IsParameterSample(parameter_texts.front().text)) {
    // Every sampled tree is rooted alike, so that its nodes are clades: on
    // the first taxon, as MrBayes roots its trees, unless --outgroup says.
    if (data.outgroup.empty()) data.outgroup = {0};
    RunAnalysis(values, data, ReadMrBayesSample(values, data, parameter_files, parameter_texts),
                seed, timings.get());
    return;
  }
  if (!values.sample_options_given.empty()) {
    Fail(values.sample_options_given.front() +
         " applies to a run over MrBayes's sampled trees and parameters (.t and .p files); with "
         "the parameter summary '" +
         values.param_file + "' it would do nothing. Leave it out.");
  }
  if (parameter_files.size() > 1) {
    Fail("ReadParameterFile Error: '" + parameter_files.front() +
         "' is not MrBayes's sampled parameters (.p, with the columns Gen and LnL); several "
         "parameter files must all be the .p files of the runs of one analysis.");
  }
  if (const std::vector<std::string> trees = SplitFileList(values.tree_file); trees.size() > 1) {
    Fail("ReadTreeFile Error: Several tree files (" + values.tree_file +
         ") are the runs of an analysis, which need their sampled parameters (.p files, in the "
         "same order) instead of the parameter summary '" +
         values.param_file + "'.");
  }
  RunAnalysis(values, data, ReadSummarySample(values, data, parameter_texts.front()), seed,
              timings.get());
}
