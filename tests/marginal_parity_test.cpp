// ribotrace --marginal against the programs our users trust: the
// log-likelihood against the LnL column that MrBayes wrote for a sampled
// tree and its parameters, and the loop posteriors against IQ-TREE's
// empirical Bayesian ancestral states on the same tree and model.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "alignment/alignment_reader.h"
#include "inference/fractional_likelihoods.h"
#include "inference/likelihood_blocks.h"
#include "inference/marginal_posteriors.h"
#include "io/data_file.h"
#include "io/parameter_file.h"
#include "io/tree_file.h"
#include "model/rate_matrices.h"
#include "model/transition_probabilities.h"
#include "sequence/stems_and_loops.h"
#include "test_support.h"
#include "tree/tree_construction.h"

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
}

// The header and the last row of a MrBayes .p file.
struct LastSample {
  std::vector<std::string> names;
  std::vector<std::string> values;
  double Value(const std::string& name) const {
    const auto at = std::find(names.begin(), names.end(), name);
    EXPECT_NE(at, names.end()) << name;
    return at == names.end() ? 0.0 : std::stod(values[static_cast<std::size_t>(at - names.begin())]);
  }
};

LastSample ReadLastSample(const std::string& p_file) {
  std::istringstream lines(ReadFile(p_file));
  std::string line;
  LastSample sample;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '[') continue;
    if (sample.names.empty()) {
      sample.names = SplitTabs(line);
    } else {
      sample.values = SplitTabs(line);
    }
  }
  return sample;
}

// The parameters of that sample as a summary table that ReadParameterFile
// reads: one row per parameter, from the first exchange rate on.
std::string WriteSampleTable(const ScratchDir& dir, const LastSample& sample) {
  std::string table = "Parameter\tMean\n";
  for (std::size_t i = 0; i < sample.names.size(); ++i) {
    if (sample.names[i].rfind("r(", 0) == 0 || sample.names[i].rfind("pi(", 0) == 0) {
      table += sample.names[i] + "\t" + sample.values[i] + "\n";
    }
  }
  return dir.Write("sample.pstat", table);
}

// Runs ribotrace --marginal --loglik on the last tree of `t_file` with the
// last parameters of `p_file`; returns |ribotrace - MrBayes LnL|.
double LogLikelihoodDifference(const std::string& data_file, const std::string& t_file,
                               const std::string& p_file) {
  ScratchDir dir;
  const LastSample sample = ReadLastSample(p_file);
  const ProgramResult run =
      RunProgram(RIBOTRACE_BINARY, {"--seed=7", "--marginal", "--loglik", data_file, t_file,
                                    WriteSampleTable(dir, sample), dir.Path("out"), "0", "1",
                                    "1", "0", "0"});
  EXPECT_EQ(run.status, 0) << run.output;
  double total = 0.0;
  double stems = 0.0;
  double loops = 0.0;
  const std::size_t at = run.output.find("Log-likelihood: ");
  EXPECT_NE(at, std::string::npos) << run.output;
  if (at == std::string::npos) return INFINITY;
  EXPECT_EQ(std::sscanf(run.output.c_str() + at, "Log-likelihood: %lf (stems: %lf, loops: %lf)",
                        &total, &stems, &loops),
            3);
  EXPECT_NEAR(stems + loops, total, 1e-5);
  const double difference = std::fabs(total - sample.Value("LnL"));
  std::printf("MrBayes LnL %s, ribotrace %.6f, difference %.6f\n",
              sample.values[1].c_str(), total, difference);
  return difference;
}

}  // namespace

TEST(MarginalMrBayesParity, LogLikelihoodOfTheLastSampleEqualsMrBayesLnL) {
  const std::string examples = EXAMPLES_DIR;
  EXPECT_LT(LogLikelihoodDifference(examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.t",
                                    examples + "/plant_srp10.nex.p"),
            0.01);
}

TEST(MarginalMrBayesParity, AmbiguityCodesAtStemsAreStateSetsAsInMrBayes) {
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  ScratchDir dir;
  // The example with ambiguity codes put into stem columns of several taxa.
  const std::string data = dir.Write("ambiguous.txt", ReadFile(std::string(EXAMPLES_DIR) +
                                                               "/plant_srp10_ambiguous.txt"));
  const ProgramResult converted = RunProgram(
      PAIRNEX_BINARY, {"--mrbayes=3.2", "--ngen=200", "--samplefreq=20", data,
                       dir.Path("ambiguous.nex")});
  ASSERT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute ambiguous.nex;\nend;\n");
  const ProgramResult run = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_LT(LogLikelihoodDifference(data, dir.Path("ambiguous.nex.t"), dir.Path("ambiguous.nex.p")),
            0.01);
}

namespace {

// The run's tree, data and marginal posteriors, built in-process as the
// driver builds them in --marginal mode.
struct MarginalExample {
  Alignment alignment;
  std::vector<SiteRecord> SS;
  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;
  std::vector<NodeStruct*> up_pass;
};

std::unique_ptr<MarginalExample> RunMarginalExample(const std::string& data_file,
                                                    const std::string& t_file,
                                                    const std::string& table) {
  auto run = std::make_unique<MarginalExample>();
  run->alignment = ReadDataFile(data_file);
  const Alignment& alignment = run->alignment;
  run->SS.resize(static_cast<std::size_t>(alignment.n_sites));
  const StemsAndLoops stems = InitializeStemsAndLoops(alignment, 0, run->SS);
  const ParameterRecord parameters = ReadParameterFile(table, stems.isStructure);
  const std::size_t n_nodes = 2 * static_cast<std::size_t>(alignment.n_taxa) - 1;
  run->nodes.resize(n_nodes);
  run->down_pass.resize(n_nodes);
  run->up_pass.resize(n_nodes);
  SetUpTree(run->nodes, run->up_pass, run->down_pass, alignment.Names, ReadTreeFile(t_file),
            alignment.n_taxa);
  SetQMatrix(parameters);
  SetDoubletQMatrix(parameters);
  SetSingeltonTransitionProbabilities(run->up_pass);
  SetDoubletTransitionProbabilities(run->up_pass, 2.0);
  FractionalOptions options;
  options.stem_codes_as_sets = true;
  GetFractionalLikelihoods(run->down_pass, run->SS, alignment, options);
  GetMarginalPosteriors(run->up_pass, alignment.structure, parameters);
  return run;
}

using Cluster = std::set<std::string>;
// An interior vertex of the unrooted tree, by the three groups of taxa its
// branches lead to; the same whichever way the tree is rooted.
using Tripartition = std::set<Cluster>;

Tripartition Split(const Cluster& all, const Cluster& a, const Cluster& b) {
  Cluster rest;
  for (const std::string& taxon : all) {
    if (a.count(taxon) == 0 && b.count(taxon) == 0) rest.insert(taxon);
  }
  return {a, b, rest};
}

// The taxa below a node, by their names in the data file (the tree reader
// keeps its labels lower-cased).
Cluster Below(const NodeStruct& node, const std::vector<TaxonName>& Names) {
  if (node.left == nullptr) return {Names[static_cast<std::size_t>(node.taxon_index)].name};
  Cluster taxa = Below(*node.left, Names);
  taxa.merge(Below(*node.right, Names));
  return taxa;
}

// IQ-TREE's tree file: Newick with branch lengths and named interior nodes.
// Fills the tripartition of every named interior node.
Cluster ParseIqTree(const char*& p, std::map<std::string, std::vector<Cluster>>& children) {
  Cluster taxa;
  std::vector<Cluster> members;
  if (*p == '(') {
    do {
      ++p;
      members.push_back(ParseIqTree(p, children));
      taxa.insert(members.back().begin(), members.back().end());
    } while (*p == ',');
    ++p;  // ')'
  }
  std::string label;
  while (*p != ':' && *p != ',' && *p != ')' && *p != ';' && *p != '\0') label += *p++;
  if (*p == ':') {
    ++p;
    while (*p != ',' && *p != ')' && *p != ';' && *p != '\0') ++p;
  }
  if (members.empty()) return {label};
  children[label] = members;
  return taxa;
}

// The last tree of a MrBayes .t file as plain Newick with taxon names.
std::string NamedNewick(const std::string& t_file) {
  const std::string text = ReadFile(t_file);
  std::map<std::string, std::string> names;
  std::istringstream lines(text.substr(0, text.find("tree gen.")));
  std::string line;
  while (std::getline(lines, line)) {
    // Translate entries: a number, blanks, a name ending in ',' or ';'.
    std::istringstream fields(line);
    std::string number;
    std::string name;
    if (!(fields >> number >> name) || number.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    if (name.back() == ',' || name.back() == ';') name.pop_back();
    names[number] = name;
  }
  const std::size_t statement = text.rfind("tree gen.");
  const std::string tree =
      text.substr(text.find('(', statement), text.find(';', statement) - text.find('(', statement));
  std::string named;
  for (std::size_t i = 0; i < tree.size();) {
    if ((tree[i] == '(' || tree[i] == ',') && i + 1 < tree.size() && std::isdigit(tree[i + 1])) {
      std::size_t end = i + 1;
      while (std::isdigit(tree[end])) ++end;
      named += tree[i] + names.at(tree.substr(i + 1, end - i - 1));
      i = end;
    } else {
      named += tree[i++];
    }
  }
  return named + ";\n";
}

}  // namespace

TEST(MarginalIqTreeParity, LoopPosteriorsEqualIqTreeAncestralStates) {
  std::string iqtree = FindOnPath("iqtree2");
  if (iqtree.empty()) iqtree = FindOnPath("iqtree");
  ASSERT_FALSE(iqtree.empty()) << "IQ-TREE is not on PATH; scripts/install-deps.sh installs it";
  const std::string examples = EXAMPLES_DIR;
  const std::string data_file = examples + "/plant_srp10.txt";
  const std::string t_file = examples + "/plant_srp10.nex.t";
  ScratchDir dir;
  const LastSample sample = ReadLastSample(examples + "/plant_srp10.nex.p");
  const auto run = RunMarginalExample(data_file, t_file, WriteSampleTable(dir, sample));
  const Alignment& alignment = run->alignment;

  // The loop columns only, and the loop model with IQ-TREE's rates
  // relative to G<->T.
  std::vector<int> loop_columns;
  for (int c = 0; c < alignment.n_sites; ++c) {
    if (alignment.structure[static_cast<std::size_t>(c)] == kLoopColumn) loop_columns.push_back(c);
  }
  const std::vector<std::string> raw = [&] {
    std::vector<std::string> rows;
    std::istringstream lines(ReadFile(data_file));
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line[0] != '>') rows.push_back(line);
    }
    return rows;
  }();
  std::string fasta;
  for (int t = 0; t < alignment.n_taxa; ++t) {
    fasta += ">" + alignment.Names[static_cast<std::size_t>(t)].name + "\n";
    for (const int c : loop_columns) fasta += raw[static_cast<std::size_t>(t) + 1][static_cast<std::size_t>(c)];
    fasta += "\n";
  }
  dir.Write("loops.fa", fasta);
  dir.Write("tree.nwk", NamedNewick(t_file));
  const char* pairs[6] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  double rates[6];
  for (int i = 0; i < 6; ++i) rates[i] = sample.Value(std::string("r(") + pairs[i] + "){2}");
  char model[512];
  std::snprintf(model, sizeof model, "GTR{%.10g,%.10g,%.10g,%.10g,%.10g}+F{%.10g,%.10g,%.10g,%.10g}",
                rates[0] / rates[5], rates[1] / rates[5], rates[2] / rates[5], rates[3] / rates[5],
                rates[4] / rates[5], sample.Value("pi(A){2}"), sample.Value("pi(C){2}"),
                sample.Value("pi(G){2}"), sample.Value("pi(T){2}"));
  const ProgramResult iq =
      RunProgram(iqtree, {"-s", "loops.fa", "-te", "tree.nwk", "-m", model, "-blfix", "--ancestral",
                          "-nt", "1", "-seed", "1", "-quiet", "-redo"},
                 "", dir.Path(""));
  ASSERT_EQ(iq.status, 0) << iq.output;

  // IQ-TREE's report must show the six rates we gave it.
  const std::string report = ReadFile(dir.Path("loops.fa.iqtree"));
  const char* report_pairs[6] = {"A-C", "A-G", "A-T", "C-G", "C-T", "G-T"};
  for (int i = 0; i < 6; ++i) {
    const std::size_t at = report.find(std::string("  ") + report_pairs[i] + ": ");
    ASSERT_NE(at, std::string::npos) << report_pairs[i];
    EXPECT_NEAR(std::stod(report.substr(at + 7)), rates[i] / rates[5], 5e-5) << report_pairs[i];
  }

  // IQ-TREE's interior nodes by their tripartitions.
  std::map<std::string, std::vector<Cluster>> children;
  const std::string treefile = ReadFile(dir.Path("loops.fa.treefile"));
  const char* p = treefile.c_str();
  const Cluster all = ParseIqTree(p, children);
  std::map<Tripartition, std::string> iq_nodes;
  for (const auto& [name, members] : children) {
    iq_nodes[members.size() == 3 ? Tripartition(members.begin(), members.end())
                                 : Split(all, members[0], members[1])] = name;
  }

  // Posterior rows of the .state file: node, site (from 1) -> A C G U.
  std::map<std::pair<std::string, int>, std::array<double, 4>> states;
  std::istringstream lines(ReadFile(dir.Path("loops.fa.state")));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty() || line[0] == '#' || line.rfind("Node\t", 0) == 0) continue;
    const std::vector<std::string> f = SplitTabs(line);
    ASSERT_EQ(f.size(), 7u) << line;
    states[{f[0], std::stoi(f[1])}] = {std::stod(f[3]), std::stod(f[4]), std::stod(f[5]),
                                       std::stod(f[6])};
  }

  double largest = 0.0;
  int compared_nodes = 0;
  for (const NodeStruct* node : run->up_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    const auto found = iq_nodes.find(Split(all, Below(*node->left, alignment.Names), Below(*node->right, alignment.Names)));
    ASSERT_NE(found, iq_nodes.end()) << "node " << node->index;
    ++compared_nodes;
    int block = 0;
    int loop_site = 0;
    for (const int pairing : alignment.structure) {
      if (!OwnsBlock(pairing)) continue;
      if (pairing == kLoopColumn) {
        ++loop_site;
        const std::array<double, 4>& expected = states.at({found->second, loop_site});
        for (int x = 0; x < 4; ++x) {
          const double ours = node->posterior_probs[static_cast<std::size_t>(block) * kBlockSize +
                                                    kSingletEntries + static_cast<std::size_t>(x)];
          largest = std::max(largest, std::fabs(ours - expected[static_cast<std::size_t>(x)]));
        }
      }
      ++block;
    }
  }
  EXPECT_EQ(compared_nodes, alignment.n_taxa - 2);
  std::printf("Largest difference from IQ-TREE's loop posteriors: %.3g\n", largest);
  // IQ-TREE prints five decimals.
  EXPECT_LT(largest, 1e-5);
}
