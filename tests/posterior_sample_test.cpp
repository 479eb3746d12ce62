// Runs over MrBayes's posterior sample (.t and .p files of two runs of the
// bundled example): parity of the clades' averaged posteriors with
// single-tree runs, the whole program's rows and threads, and the errors
// that pair the wrong files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "inference/gap_reconstruction.h"
#include "io/nexus_text.h"
#include "io/parameter_file.h"
#include "io/parameter_sample.h"
#include "io/posterior_sample.h"
#include "io/tree_file.h"
#include "run/inference_stages.h"
#include "io/clade_output.h"
#include "run/sample_analysis.h"
#include "run/tree_sample.h"
#include "run/tree_workspace.h"
#include "test_support.h"
#include "tree/clades.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kData = kExamples + "/plant_srp10.txt";
const std::string kRuns = kExamples + "/plant_srp10_2runs.nex";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> Tabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  return fields;
}

// The .t file with only the statement of generation `gen`: a one-tree file.
std::string OneTreeFile(const std::string& t_text, long long gen) {
  std::string kept;
  const std::string wanted = "tree gen." + std::to_string(gen) + " ";
  for (const std::string& line : Lines(t_text)) {
    if (line.find("tree gen.") != std::string::npos && line.find(wanted) == std::string::npos) {
      continue;
    }
    kept += line + "\n";
  }
  return kept;
}

// The .p row of generation `gen` as a one-row parameter table, values as
// MrBayes printed them.
std::string OneRowTable(const std::string& p_text, long long gen) {
  const std::vector<std::string> lines = Lines(p_text);
  const std::vector<std::string> header = Tabs(lines[1]);
  for (std::size_t l = 2; l < lines.size(); ++l) {
    const std::vector<std::string> row = Tabs(lines[l]);
    if (row.empty() || std::stoll(row[0]) != gen) continue;
    std::string table = "Parameter\tMean\n";
    for (std::size_t f = 3; f < header.size(); ++f) table += header[f] + "\t" + row[f] + "\n";
    return table;
  }
  ADD_FAILURE() << "no row of generation " << gen;
  return "";
}

RunValues ValuesFor(const std::string& out) {
  RunValues values;
  values.data_file = kData;
  values.out_file = out;
  values.is_harmonic = 1;
  values.lambda = 1.0;
  values.n_samples = 4;
  values.outgroup = {"ABCN01005680_1_1602_1315"};  // the first taxon, the run's default
  // Some checks change the parameters of the .p rows on purpose.
  values.allow_lnl_mismatch = true;
  return values;
}

// What separate runs on single trees of the sample give, by clade (as its
// taxa) over the trees that hold it.
struct SingleTreeRuns {
  std::map<std::vector<int>, std::vector<std::vector<double>>> posteriors;
  std::map<std::vector<int>, std::vector<std::vector<double>>> p_gap;
  // Branch (clade, or taxon as a one-member clade) -> each tree's figures.
  std::map<std::vector<int>, std::vector<std::vector<BranchFigures>>> changes;
};

// Runs the passes on the trees of generations 500, 1000 and 1500 of run 1,
// each on its own with the parameters of its .p row.
SingleTreeRuns RunSingleTrees(const ScratchDir& dir, const RunValues& values, const RunData& data,
                              const std::string& p_text) {
  const auto n_sites = static_cast<std::size_t>(data.alignment.n_sites);
  const std::string t_text = ReadFile(kRuns + ".run1.t");
  SingleTreeRuns single;
  for (const long long gen : {500LL, 1000LL, 1500LL}) {
    TreeWorkspace tree(data);  // fresh, while the run over the sample reuses one
    const std::string tree_file = dir.Write("one.t", OneTreeFile(t_text, gen));
    const std::string table = dir.Write("one.pstat", OneRowTable(p_text, gen));
    const ModelParams parameters = ReadParameterFile(table, true);
    tree.Build(ReadTreeFile(tree_file), data, values.is_harmonic);
    const PartitionModels models = MakePartitionModels(parameters);
    BranchMatrices matrices;
    const HiddenBranchMatrices hidden = SetBranchMatrices(tree, models, matrices, values);
    const InferenceInputs inputs{tree.down_pass, tree.up_pass, data.SS,  data.alignment,
                                 parameters,     models,       matrices, hidden};
    NodeVectors vectors = MakeNodeVectors(inputs, values);
    const PassResults passes = RunPosteriorPasses(inputs, values, vectors, false);
    const GapReconstruction gaps =
        ReconstructGaps(tree.down_pass, data.alignment, data.SS, values.gap_model);
    const std::vector<TaxonSet> clades = CladesByIndex(tree.down_pass, data.alignment.n_taxa);
    for (const NodeStruct* node : tree.down_pass) {
      if (node->anc == nullptr) continue;
      const std::vector<int> members = clades[static_cast<std::size_t>(node->index)].Members();
      std::vector<BranchFigures>& figures = single.changes[members].emplace_back();
      for (std::size_t b = 0; b < passes.changes->n_blocks(); ++b) {
        figures.push_back(passes.changes->At(*node, static_cast<int>(b)));
      }
    }
    for (const NodeStruct* node : tree.down_pass) {
      if (node->IsTip() || node->anc == nullptr) continue;
      const std::vector<int> members = clades[static_cast<std::size_t>(node->index)].Members();
      single.posteriors[members].emplace_back(node->posterior_probs.begin(),
                                              node->posterior_probs.end());
      std::vector<double>& p_gap = single.p_gap[members].emplace_back();
      for (std::size_t c = 0; c < n_sites; ++c) p_gap.push_back(gaps.PGap(*node, c));
    }
  }
  return single;
}

const IdentifiedClade& CladeNamed(const ResultUnits& units, const std::string& name) {
  return *std::find_if(units.clades().clades.begin(), units.clades().clades.end(),
                       [&](const IdentifiedClade& c) { return CladeName(c.id) == name; });
}

// Every clade's posteriors and p_gap are the mean of the single-tree runs'.
void CompareCladeMeans(const SampleAnalysis& analysis, const SingleTreeRuns& single,
                       std::size_t n_sites) {
  int compared = 0;
  const ResultUnits& units = analysis.units();
  for (std::size_t j = 0; j < units.size(); ++j) {
    const IdentifiedClade& clade = CladeNamed(units, units.name(j));
    const auto found = single.posteriors.find(clade.taxa.Members());
    ASSERT_NE(found, single.posteriors.end());
    EXPECT_EQ(found->second.size(), clade.trees.size());
    if (clade.trees.size() != 3) continue;
    const std::span<const double> mean = analysis.means().Posteriors(j);
    for (std::size_t e = 0; e < mean.size(); ++e) {
      const double expected = (found->second[0][e] + found->second[1][e] + found->second[2][e]) / 3;
      ASSERT_NEAR(mean[e], expected, 1e-12) << units.name(j) << " entry " << e;
    }
    const std::vector<double> p_gap = analysis.means().Gaps(j);
    const std::vector<std::vector<double>>& gaps = single.p_gap.at(clade.taxa.Members());
    ASSERT_EQ(p_gap.size(), n_sites);
    for (std::size_t c = 0; c < n_sites; ++c) {
      ASSERT_NEAR(p_gap[c], (gaps[0][c] + gaps[1][c] + gaps[2][c]) / 3, 1e-12)
          << units.name(j) << " column " << c;
    }
    ++compared;
  }
  EXPECT_GE(compared, 5);
}

// Each branch's figures of change: a clade's and a taxon's are the mean of
// the single-tree runs' (every tree holds every taxon).
void CompareBranchChangeMeans(const SampleAnalysis& analysis, const SingleTreeRuns& single) {
  const ResultUnits& units = analysis.units();
  const BranchChangeMeans& changes = analysis.changes();
  int branches = 0;
  for (std::size_t branch = 0; branch < changes.size(); ++branch) {
    const std::vector<int> members =
        branch < units.size() ? CladeNamed(units, changes.name(branch)).taxa.Members()
                              : std::vector<int>{static_cast<int>(branch - units.size())};
    const auto found = single.changes.find(members);
    if (found == single.changes.end() || found->second.size() != 3) continue;
    const std::vector<std::vector<BranchFigures>>& trees = found->second;
    for (std::size_t b = 0; b < changes.n_blocks(); ++b) {
      const BranchFigures& mean = changes.figures(branch)[b];
      const BranchFigures expected = (trees[0][b] + trees[1][b] + trees[2][b]) * (1.0 / 3);
      ASSERT_NEAR(mean.p_cbc, expected.p_cbc, 1e-9) << changes.name(branch) << " block " << b;
      ASSERT_NEAR(mean.p_hemi, expected.p_hemi, 1e-9);
      ASSERT_NEAR(mean.p_break, expected.p_break, 1e-9);
      ASSERT_NEAR(mean.p_restore, expected.p_restore, 1e-9);
      ASSERT_NEAR(mean.e_subs, expected.e_subs, 1e-9);
    }
    ++branches;
  }
  EXPECT_GE(branches, 10 + 5);
}

// See CladePosteriorsAreTheMeanOfSingleTreeRuns; p_text: run 1's .p.
void CheckCladePosteriorsAreTheMeanOfSingleTreeRuns(const std::string& p_text) {
  ScratchDir dir;
  RunValues values = ValuesFor(dir.Path("out.fa"));
  values.gaps_on_tree = true;
  values.changes = true;
  const RunData data = LoadRunData(values);
  const std::string p_file = dir.Write("x.nex.run1.p", p_text);
  const SingleTreeRuns single = RunSingleTrees(dir, values, data, p_text);

  values.n_trees = 3;
  const std::string tree_list = kRuns + ".run1.t";
  values.tree_file = tree_list;
  SampleAnalysis analysis(
      values, data,
      ReadMrBayesSample(values, data, {p_file}, {ReadNexusText(p_file, true, "test")}));
  ASSERT_EQ(analysis.n_trees(), 3U);
  EXPECT_EQ(analysis.sample().trees.samples[1].generation, 1000);
  EXPECT_EQ(HasGammaRates(analysis.sample().trees.samples[1].parameters),
            p_text.find("alpha") != std::string::npos);
  analysis.AnalyseTrees(1, nullptr, nullptr);
  CompareCladeMeans(analysis, single, static_cast<std::size_t>(data.alignment.n_sites));
  CompareBranchChangeMeans(analysis, single);
}

}  // namespace

// Three used samples of run 1 (burn-in 25 of 101, so generations 500, 1000
// and 1500): every clade that all three trees hold has, in the run over
// the sample, the mean of its posteriors in three single-tree runs on
// one-tree files and one-row parameter tables of those samples; with
// --gaps=tree, of its gap posteriors too, each tree fitting its own rate;
// and every clade's and taxon's branch has the mean of its figures of
// change. Once with equal rates, once with gamma rates (alpha columns added).
TEST(PosteriorSample, CladePosteriorsAreTheMeanOfSingleTreeRuns) {
  for (const bool gamma : {false, true}) {
    SCOPED_TRACE(gamma ? "gamma rates" : "equal rates");
    std::string p_text = ReadFile(kRuns + ".run1.p");
    if (gamma) {
      std::string with_alpha;
      for (const std::string& line : Lines(p_text)) {
        const bool header = line.rfind("Gen\t", 0) == 0;
        with_alpha += line +
                      (line.rfind("[", 0) == 0 ? ""
                       : header                ? "\talpha{1}\talpha{2}"
                                               : "\t5.0e-01\t1.2e+00") +
                      "\n";
      }
      p_text = with_alpha;
    }
    CheckCladePosteriorsAreTheMeanOfSingleTreeRuns(p_text);
  }
}

// The whole program over both runs, gaps from each tree: S rows and S
// hidden rows per clade, the same bytes on one, two and all threads, the
// clade list, the consensus tree, the per-clade tables and the report.
TEST(PosteriorSample, WholeRunOverTwoRuns) {
  std::map<int, std::string> results;
  for (const int threads : {1, 2, 0}) {
    // The same relative name in another folder: the report shows it.
    ScratchDir dir;
    const std::string out = dir.Path("out.fa");
    const ProgramResult run = RunProgram(
        RIBOTRACE_BINARY,
        {"--seed=3", "--state", "--report", "--gaps=tree", "--threads=" + std::to_string(threads),
         "--trees=40", kData, kRuns + ".run1.t," + kRuns + ".run2.t",
         kRuns + ".run1.p," + kRuns + ".run2.p", "out.fa", "1", "1.0", "7", "0", "1"},
        "", dir.Path(""));
    ASSERT_EQ(run.status, 0) << run.output << run.errors;
    results[threads] = ReadFile(out) + ReadFile(out + ".state") + ReadFile(out + ".tree") +
                       ReadFile(out + ".map.fa") + ReadFile(out + ".par") + ReadFile(out + ".html");
    if (threads > 1) continue;

    const std::vector<std::string> clades = Lines(ReadFile(out + ".clades"));
    ASSERT_GE(clades.size(), 2U);
    EXPECT_EQ(clades[0], "Clade\tProbability\tTaxa\tMembers");
    const std::string sequences = ReadFile(out);
    const std::size_t n_clades = clades.size() - 1;
    std::size_t sampled = 0;
    std::size_t hidden = 0;
    for (const std::string& line : Lines(sequences)) {
      sampled += line.rfind(">clade_", 0) == 0 ? 1 : 0;
      hidden += line.rfind(">psr_clade_", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(sampled, 7 * n_clades);
    EXPECT_EQ(hidden, 7 * n_clades);
    EXPECT_NE(sequences.find(">clade_1_7\n"), std::string::npos);
    EXPECT_NE(sequences.find(">psr_clade_1_1\n"), std::string::npos);
    const std::string tree = ReadFile(out + ".tree");
    EXPECT_NE(tree.find(")clade_1[&prob="), std::string::npos) << tree;
    EXPECT_NE(tree.find(")clade_0;\n"), std::string::npos) << tree;
    EXPECT_EQ(Lines(ReadFile(out + ".map.fa")).size(), 2 * n_clades);
    EXPECT_NE(ReadFile(out + ".state").find("\tp_gap\t"), std::string::npos);
    EXPECT_NE(ReadFile(out + ".par").find("\ngap_rate\t"), std::string::npos);
    EXPECT_NE(ReadFile(out + ".state").find("\nclade_1\t1\t"), std::string::npos);
    EXPECT_NE(ReadFile(out + ".html").find("\"clade_1\""), std::string::npos);
  }
  EXPECT_EQ(results[1], results[2]);
  EXPECT_EQ(results[1], results[0]);
}

// Files that do not belong together stop the run before any work, naming
// what to pair with what.
TEST(PosteriorSample, MispairedFilesAreClearErrors) {
  ScratchDir dir;
  const std::string t1 = kRuns + ".run1.t";
  const std::string p1 = kRuns + ".run1.p";
  const std::string p_text = ReadFile(p1);
  // A .p whose last row was lost, and one whose generation 40 became 41.
  std::string shorter = p_text.substr(0, p_text.rfind('\n', p_text.size() - 2) + 1);
  std::string shifted = p_text;
  shifted.replace(shifted.find("\n40\t"), 4, "\n41\t");
  // Run 2 without its last sample, in both files.
  const std::string t2_text = ReadFile(kRuns + ".run2.t");
  const std::size_t last_tree = t2_text.find("   tree gen.2000");
  std::string t2_shorter =
      t2_text.substr(0, last_tree) + t2_text.substr(t2_text.find('\n', last_tree) + 1);
  const std::string p2_text = ReadFile(kRuns + ".run2.p");
  const std::string p2_shorter = p2_text.substr(0, p2_text.rfind('\n', p2_text.size() - 2) + 1);
  const std::string out = dir.Path("out.fa");
  const struct {
    std::string trees;
    std::string parameters;
    std::string message;
  } cases[] = {
      {t1 + "," + kRuns + ".run2.t", p1, "Got 2 tree files"},
      {t1 + "," + kRuns + ".run2.t", kRuns + ".pstat", "Several tree files"},
      {kExamples + "/plant_srp10.nex.con.tre", p1, "holds a single tree"},
      {t1, dir.Write("short.p", shorter), "holds 101 trees and the parameter file"},
      {t1, dir.Write("shift.p", shifted), "tree gen.40 in the tree file, generation 41"},
      {t1 + "," + dir.Write("short2.t", t2_shorter), p1 + "," + dir.Write("short2.p", p2_shorter),
       "holds 100 samples and run 1"},
      {kRuns + ".run2.t," + t1, p1 + "," + kRuns + ".run2.p", "is run 2 and the parameter file"},
  };
  for (const auto& [trees, parameters, message] : cases) {
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY, {kData, trees, parameters, out, "1", "1.0", "2", "0", "0"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(message), std::string::npos) << message << "\n" << run.output;
  }
  // Names that do not tell the runs apart: the log-likelihoods do, and the
  // run stops unless told to go on.
  const std::string other_p = dir.Write("other.p", p2_text);
  const ProgramResult swapped = RunProgram(
      RIBOTRACE_BINARY, {"--trees=5", kData, t1, other_p, out, "1", "1.0", "2", "0", "0"});
  EXPECT_EQ(swapped.status, 1);
  EXPECT_NE(swapped.output.find("ReadParameterFile Error: The log-likelihood of 5 of the 5 samples "
                                "differs from MrBayes's LnL in the .p files"),
            std::string::npos)
      << swapped.output;
  EXPECT_NE(swapped.output.find("every sample is off, so these files are not MrBayes's analysis "
                                "of this alignment"),
            std::string::npos)
      << swapped.output;
  const ProgramResult allowed = RunProgram(
      RIBOTRACE_BINARY,
      {"--trees=5", "--allow-lnl-mismatch", kData, t1, other_p, out, "1", "1.0", "2", "0", "0"});
  EXPECT_EQ(allowed.status, 0);
  EXPECT_NE(allowed.errors.find("Warning: The log-likelihood of 5 of the 5 samples differs"),
            std::string::npos)
      << allowed.errors;
}

// The .p reader finds its columns by name, in any order, and refuses a
// column of a model that ribotrace does not compute, naming it.
TEST(PosteriorSample, ParameterColumnsAreFoundByName) {
  const std::string p_text = ReadFile(kRuns + ".run1.p");
  const std::vector<std::string> lines = Lines(p_text);
  // Columns reversed: the values must not move.
  std::string reversed;
  for (std::size_t l = 1; l < 4; ++l) {
    std::vector<std::string> fields = Tabs(lines[l]);
    std::string row;
    for (auto f = fields.rbegin(); f != fields.rend(); ++f) row += (row.empty() ? "" : "\t") + *f;
    reversed += row + "\n";
  }
  ScratchDir dir;
  const NexusText in_order = ReadNexusText(dir.Write("a.p", p_text), true, "test");
  const NexusText shuffled = ReadNexusText(dir.Write("b.p", reversed), true, "test");
  ASSERT_TRUE(IsParameterSample(in_order.text));
  EXPECT_FALSE(IsParameterSample(ReadNexusText(kRuns + ".pstat", true, "test").text));
  const std::vector<ParameterSampleRow> rows = ReadParameterSample(in_order.text, "a.p", true);
  const std::vector<ParameterSampleRow> moved = ReadParameterSample(shuffled.text, "b.p", true);
  ASSERT_EQ(rows.size(), 101U);
  ASSERT_EQ(moved.size(), 2U);
  EXPECT_EQ(moved[1].generation, rows[1].generation);
  EXPECT_EQ(moved[1].log_likelihood, rows[1].log_likelihood);
  EXPECT_EQ(moved[1].parameters, rows[1].parameters);

  std::string pinvar = p_text;
  pinvar.replace(pinvar.find("\tLnPr\t"), 6, "\tpinvar{all}\t");
  EXPECT_NE(
      FatalOutput([&] {
        ReadParameterSample(ReadNexusText(dir.Write("c.p", pinvar), true, "t").text, "c.p", true);
      }).find("line 2: the column 'pinvar{all}' is a parameter that ribotrace does not model"),
      std::string::npos);
}
