#include "run/analysis_driver.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "bailout/bailout.h"
#include "base/diagnostics.h"
#include "base/random_source.h"
#include "base/stage_timings.h"
#include "io/analysed_alignment.h"
#include "run/convergence_check.h"
#include "io/nexus_text.h"
#include "io/parameter_file.h"
#include "io/parameter_sample.h"
#include "io/posterior_sample.h"
#include "io/results_file.h"
#include "io/tree_file.h"
#include "run/inference_stages.h"
#include "run/integrated_run.h"
#include "run/tree_workspace.h"

namespace {

void ReportWritten(const ResultsFiles& files) {
  std::string written;
  for (const std::string& path : files.Paths()) written += (written.empty() ? "" : ", ") + path;
  std::fprintf(stderr, "ribotrace wrote %s\n", written.c_str());
}

// Today's analysis of one tree: the tree file's (last) tree with the
// parameter summary's means.
void AnalyseOneTree(const RunValues& values, const RunData& data, const NexusText& parameter_text,
                    std::int32_t seed, StageTimings* timings) {
  std::string tree_id;
  const std::string t_string = ReadTreeFile(values.tree_file, &tree_id);
  const ParameterRecord parameters =
      ReadParameterText(parameter_text, values.param_file, data.stems.isStructure);
  WarnOnDifferentAnalyses(values.tree_file, tree_id, values.param_file,
                          parameter_text.analysis_id);
  if (HasGammaRates(parameters)) CheckGammaRun(data, values);
  const SummaryDiagnostics diagnostics = ReadSummaryDiagnostics(parameter_text);
  WarnOnSummaryConvergence(diagnostics, values.param_file);
  if (timings) timings->Stop("reading");

  // Opened now, so that an output path that cannot be written, or that is
  // one of the inputs, stops the run before the long computation.
  ResultsFiles files(values.out_file,
                     {{"data file", values.data_file},
                      {"tree file", values.tree_file},
                      {"parameter file", values.param_file}},
                     values.state_tables, values.report);

  TreeWorkspace tree(data);
  try {
    tree.Build(t_string, data, values.is_harmonic);
  } catch (const FatalError& error) {
    // The tree reader's messages place the fault in the tree's text; the
    // user needs the file too.
    throw FatalError(std::string(error.what()) + "\n(In the tree of '" + values.tree_file + "'.)",
                     error.form());
  }
  if (timings) timings->Stop("tree");
  const HiddenBranchMatrices hidden = SetBranchMatrices(tree, parameters, values);
  if (timings) timings->Stop("matrices");

  RunInferenceStages({tree.down_pass, tree.up_pass, data.SS, data.alignment, parameters, hidden,
                      timings, ConvergenceRows(diagnostics)},
                     values, &seed, files);
  files.CommitAll();
  if (timings) timings->Print(stderr);
  ReportWritten(files);
}

}  // namespace

void CheckGammaRun(const RunData& data, const RunValues& values) {
  if (!values.marginal) {
    Fail("CalcAncestralStates Error: The parameter file '" + values.param_file +
         "' gives gamma-distributed rates across sites (alpha), which --classic does not "
         "model; run without --classic.");
  }
  CheckGammaMemory(data, values);
}

void CalcAncestralStates(const RunValues& values) {
  show_debug_info = values.show_debug != 0;
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
    RunIntegratedAnalysis(values, data, parameter_files, parameter_texts, seed, timings.get());
    if (timings) timings->Print(stderr);
    return;
  }
  if (!values.sample_options_given.empty()) {
    Fail(values.sample_options_given.front() +
         " applies to a run over MrBayes's sampled trees and parameters (.t and .p files); with "
         "the parameter summary '" + values.param_file + "' it would do nothing. Leave it out.");
  }
  if (parameter_files.size() > 1) {
    Fail("ReadParameterFile Error: '" + parameter_files.front() +
         "' is not MrBayes's sampled parameters (.p, with the columns Gen and LnL); several "
         "parameter files must all be the .p files of the runs of one analysis.");
  }
  if (const std::vector<std::string> trees = SplitFileList(values.tree_file); trees.size() > 1) {
    Fail("ReadTreeFile Error: Several tree files (" + values.tree_file +
         ") are the runs of an analysis, which need their sampled parameters (.p files, in the "
         "same order) instead of the parameter summary '" + values.param_file + "'.");
  }
  AnalyseOneTree(values, data, parameter_texts.front(), seed, timings.get());
}
