// ribotrace's exact posteriors against the programs our users trust: the
// log-likelihood against the LnL column that MrBayes wrote for a sampled
// tree and its parameters, and the loop columns of the per-site table
// against IQ-TREE's empirical Bayesian ancestral states on the same tree
// and model, nodes matched through the tree file of the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "inference/likelihood_blocks.h"
#include "test_support.h"

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
    return at == names.end() ? 0.0
                             : std::stod(values[static_cast<std::size_t>(at - names.begin())]);
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
// reads: one row per parameter (TL, rates, frequencies, shapes).
std::string WriteSampleTable(const ScratchDir& dir, const LastSample& sample) {
  std::string table = "Parameter\tMean\n";
  for (std::size_t i = 0; i < sample.names.size(); ++i) {
    const std::string& name = sample.names[i];
    if (name != "Gen" && name != "LnL" && name != "LnPr") {
      table += name + "\t" + sample.values[i] + "\n";
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
  const ProgramResult run = RunProgram(
      RIBOTRACE_BINARY, {"--seed=7", "--marginal", "--loglik", data_file, t_file,
                         WriteSampleTable(dir, sample), dir.Path("out"), "0", "1", "1", "0", "0"});
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
  std::printf("MrBayes LnL %s, ribotrace %.6f, difference %.6f\n", sample.values[1].c_str(), total,
              difference);
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
  const std::string data = dir.Write(
      "ambiguous.txt", ReadFile(std::string(EXAMPLES_DIR) + "/plant_srp10_ambiguous.txt"));
  const ProgramResult converted =
      RunProgram(PAIRNEX_BINARY, {"--mrbayes=3.2", "--nruns=1", "--nchains=1", "--ngen=200",
                                  "--samplefreq=20", data, dir.Path("ambiguous.nex")});
  ASSERT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=1 swapseed=1;\n\texecute ambiguous.nex;\nend;\n");
  const ProgramResult run = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_LT(LogLikelihoodDifference(data, dir.Path("ambiguous.nex.t"), dir.Path("ambiguous.nex.p")),
            0.01);
}

namespace {

// Runs pairnex --rates=gamma and a short seeded MrBayes chain on
// examples/<name>.txt in `dir`; returns the data file.
std::string RunMrBayesWithGamma(const ScratchDir& dir, const std::string& name) {
  const std::string mb = FindOnPath("mb");
  EXPECT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  const std::string data_file = std::string(EXAMPLES_DIR) + "/" + name + ".txt";
  const ProgramResult converted = RunProgram(
      PAIRNEX_BINARY, {"--mrbayes=3.2", "--nruns=1", "--nchains=1", "--rates=gamma", "--ngen=400",
                       "--samplefreq=20", data_file, dir.Path("gamma.nex")});
  EXPECT_EQ(converted.status, 0) << converted.output;
  dir.Write("seeded.nex",
            "#NEXUS\nbegin mrbayes;\n\tset seed=3 swapseed=3;\n\texecute gamma.nex;\nend;\n");
  const ProgramResult mrbayes = RunProgram(mb, {"seeded.nex"}, "", dir.Path(""));
  EXPECT_EQ(mrbayes.status, 0) << mrbayes.output;
  return data_file;
}

}  // namespace

TEST(GammaParity, TheSingleModelGivesMrBayesLnL) {
  ScratchDir dir;
  const std::string data_file = RunMrBayesWithGamma(dir, "snr75");
  EXPECT_GT(ReadLastSample(dir.Path("gamma.nex.p")).Value("alpha"), 0.0);
  EXPECT_LT(LogLikelihoodDifference(data_file, dir.Path("gamma.nex.t"), dir.Path("gamma.nex.p")),
            0.01);
}

namespace {

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

// A tree file with named interior nodes, IQ-TREE's or ribotrace's: Newick
// with branch lengths. Fills the members of every named interior node.
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
    if (!(fields >> number >> name) ||
        number.find_first_not_of("0123456789") != std::string::npos) {
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

// Runs ribotrace --state and IQ-TREE --ancestral on the last tree of
// `t_file` with the loop model of `sample` (with a positive loop_alpha,
// +G4{loop_alpha}), on the loop columns alone, and compares the two
// programs' loop posteriors at the interior nodes, matched by the taxa
// around them. Leaves IQ-TREE's report in *report.
void CompareLoopPosteriorsWithIqTree(const std::string& data_file, const std::string& t_file,
                                     const LastSample& sample, double loop_alpha,
                                     std::string* report) {
  std::string iqtree = FindOnPath("iqtree2");
  if (iqtree.empty()) iqtree = FindOnPath("iqtree");
  ASSERT_FALSE(iqtree.empty()) << "IQ-TREE is not on PATH; scripts/install-deps.sh installs it";
  ScratchDir dir;
  const Alignment alignment = ReadAlignment(data_file);
  const ProgramResult ours = RunProgram(
      RIBOTRACE_BINARY, {"--seed=7", "--state", data_file, t_file, WriteSampleTable(dir, sample),
                         dir.Path("out"), "0", "1", "0", "0", "0"});
  ASSERT_EQ(ours.status, 0) << ours.output;

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
    for (const int c : loop_columns)
      fasta += raw[static_cast<std::size_t>(t) + 1][static_cast<std::size_t>(c)];
    fasta += "\n";
  }
  dir.Write("loops.fa", fasta);
  dir.Write("tree.nwk", NamedNewick(t_file));
  const char* pairs[6] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  double rates[6];
  for (int i = 0; i < 6; ++i) rates[i] = sample.Value(std::string("r(") + pairs[i] + "){2}");
  char model[512];
  std::snprintf(model, sizeof model,
                "GTR{%.10g,%.10g,%.10g,%.10g,%.10g}+F{%.10g,%.10g,%.10g,%.10g}",
                rates[0] / rates[5], rates[1] / rates[5], rates[2] / rates[5], rates[3] / rates[5],
                rates[4] / rates[5], sample.Value("pi(A){2}"), sample.Value("pi(C){2}"),
                sample.Value("pi(G){2}"), sample.Value("pi(T){2}"));
  if (loop_alpha > 0.0) {
    std::snprintf(model + std::strlen(model), sizeof model - std::strlen(model), "+G4{%.10g}",
                  loop_alpha);
  }
  const ProgramResult iq = RunProgram(iqtree,
                                      {"-s", "loops.fa", "-te", "tree.nwk", "-m", model, "-blfix",
                                       "--ancestral", "-nt", "1", "-seed", "1", "-quiet", "-redo"},
                                      "", dir.Path(""));
  ASSERT_EQ(iq.status, 0) << iq.output;

  // IQ-TREE's report must show the six rates we gave it.
  *report = ReadFile(dir.Path("loops.fa.iqtree"));
  const char* report_pairs[6] = {"A-C", "A-G", "A-T", "C-G", "C-T", "G-T"};
  for (int i = 0; i < 6; ++i) {
    const std::size_t at = report->find(std::string("  ") + report_pairs[i] + ": ");
    ASSERT_NE(at, std::string::npos) << report_pairs[i];
    EXPECT_NEAR(std::stod(report->substr(at + 7)), rates[i] / rates[5], 5e-5) << report_pairs[i];
  }

  // Interior nodes by their tripartitions: IQ-TREE's from its tree file,
  // ours from the tree file of the run.
  const auto tripartitions = [](const std::string& tree_file, Cluster& all) {
    std::map<std::string, std::vector<Cluster>> children;
    const std::string text = ReadFile(tree_file);
    const char* p = text.c_str();
    all = ParseIqTree(p, children);
    std::map<std::string, Tripartition> nodes;
    for (const auto& [name, members] : children) {
      nodes[name] = members.size() == 3 ? Tripartition(members.begin(), members.end())
                                        : Split(all, members[0], members[1]);
    }
    return nodes;
  };
  Cluster all;
  std::map<Tripartition, std::string> iq_nodes;
  for (const auto& [name, split] : tripartitions(dir.Path("loops.fa.treefile"), all)) {
    iq_nodes[split] = name;
  }
  std::map<std::string, Tripartition> our_nodes = tripartitions(dir.Path("out.tree"), all);
  our_nodes.erase("anc_0");  // the root, which the tables leave out

  // Posterior rows of a .state file: node, site (from 1) -> A C G U.
  const auto read_states = [](const std::string& path) {
    std::map<std::pair<std::string, int>, std::array<double, 4>> states;
    std::istringstream lines(ReadFile(path));
    std::string line;
    while (std::getline(lines, line)) {
      if (line.empty() || line[0] == '#' || line.rfind("Node\t", 0) == 0) continue;
      const std::vector<std::string> f = SplitTabs(line);
      EXPECT_GE(f.size(), 7u) << line;
      states[{f[0], std::stoi(f[1])}] = {std::stod(f[3]), std::stod(f[4]), std::stod(f[5]),
                                         std::stod(f[6])};
    }
    return states;
  };
  const auto iq_states = read_states(dir.Path("loops.fa.state"));
  const auto our_states = read_states(dir.Path("out.state"));

  double largest = 0.0;
  int compared_nodes = 0;
  for (const auto& [name, split] : our_nodes) {
    const auto found = iq_nodes.find(split);
    ASSERT_NE(found, iq_nodes.end()) << name;
    ++compared_nodes;
    for (std::size_t i = 0; i < loop_columns.size(); ++i) {
      const std::array<double, 4>& expected =
          iq_states.at({found->second, static_cast<int>(i) + 1});
      const std::array<double, 4>& got = our_states.at({name, loop_columns[i] + 1});
      for (std::size_t x = 0; x < 4; ++x) {
        largest = std::max(largest, std::fabs(got[x] - expected[x]));
      }
    }
  }
  EXPECT_EQ(compared_nodes, alignment.n_taxa - 2);
  std::printf("Largest difference from IQ-TREE's loop posteriors: %.3g\n", largest);
  // IQ-TREE prints five decimals, ribotrace six significant digits.
  EXPECT_LT(largest, 1e-5);
}

}  // namespace

TEST(MarginalIqTreeParity, LoopPosteriorsEqualIqTreeAncestralStates) {
  const std::string examples = EXAMPLES_DIR;
  std::string report;
  CompareLoopPosteriorsWithIqTree(examples + "/plant_srp10.txt", examples + "/plant_srp10.nex.t",
                                  ReadLastSample(examples + "/plant_srp10.nex.p"), 0.0, &report);
}

// The bundled example under rates=gamma: MrBayes's LnL, IQ-TREE's loop
// posteriors under +G4 with the same shape (its categories are mean rates
// too), the same samples on any number of threads, and --classic refused.
TEST(GammaParity, StemsAndLoopsMatchMrBayesAndIqTreeAndEveryThreadCountDrawsTheSame) {
  ScratchDir dir;
  const std::string data_file = RunMrBayesWithGamma(dir, "plant_srp10");
  const std::string t_file = dir.Path("gamma.nex.t");
  const LastSample sample = ReadLastSample(dir.Path("gamma.nex.p"));
  EXPECT_LT(LogLikelihoodDifference(data_file, t_file, dir.Path("gamma.nex.p")), 0.01);

  const double alpha = sample.Value("alpha{2}");
  std::string report;
  CompareLoopPosteriorsWithIqTree(data_file, t_file, sample, alpha, &report);
  EXPECT_NE(report.find("computed as MEAN of the portion"), std::string::npos) << report;
  const std::size_t at = report.find("Gamma shape alpha: ");
  ASSERT_NE(at, std::string::npos) << report;
  EXPECT_NEAR(std::stod(report.substr(at + 19)), alpha, 5e-4 * alpha);

  const std::string table = WriteSampleTable(dir, sample);
  std::string first;
  for (const std::string threads : {"1", "2", "3"}) {
    const std::string out = dir.Path("out" + threads);
    const ProgramResult ours =
        RunProgram(RIBOTRACE_BINARY, {"--seed=11", "--threads=" + threads, "--state", data_file,
                                      t_file, table, out, "1", "1", "40", "0", "1"});
    ASSERT_EQ(ours.status, 0) << ours.output;
    const std::string results = ReadFile(out) + ReadFile(out + ".state") + ReadFile(out + ".pairs");
    if (first.empty()) first = results;
    EXPECT_TRUE(results == first) << threads << " threads";
  }
  const ProgramResult classic =
      RunProgram(RIBOTRACE_BINARY,
                 {"--classic", data_file, t_file, table, dir.Path("c"), "1", "1", "1", "0", "0"});
  EXPECT_EQ(classic.status, 1);
  EXPECT_NE(classic.output.find("which --classic does not model"), std::string::npos);
}

// ratepr=variable: the stems' and loops' rate multipliers (m{1}, m{2}) in
// MrBayes's own sample scale every branch of their partition as in its LnL.
TEST(MarginalMrBayesParity, PartitionRateMultipliersGiveMrBayesLnL) {
  const std::string mb = FindOnPath("mb");
  ASSERT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  const std::string examples = EXAMPLES_DIR;
  std::string nexus = ReadFile(examples + "/plant_srp10.nex");
  const auto replace = [&nexus](const std::string& from, const std::string& to) {
    const std::size_t at = nexus.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    nexus.replace(at, from.size(), to);
  };
  replace("nowarn=yes;", "nowarn=yes seed=5 swapseed=5;");
  replace("unlink revmat=(all);", "unlink revmat=(all);\n\tprset applyto=(all) ratepr=variable;");
  replace("ngen=2000", "ngen=400");
  replace("sump relburnin=no burnin=50;", "sump relburnin=no burnin=2;");
  replace("sumt relburnin=no burnin=50", "sumt relburnin=no burnin=2");
  ScratchDir dir;
  dir.Write("variable.nex", nexus);
  const ProgramResult run = RunProgram(mb, {"variable.nex"}, "", dir.Path(""));
  ASSERT_EQ(run.status, 0) << run.output;
  const LastSample sample = ReadLastSample(dir.Path("variable.nex.p"));
  ASSERT_NE(sample.Value("m{1}"), sample.Value("m{2}"));
  EXPECT_LT(LogLikelihoodDifference(examples + "/plant_srp10.txt", dir.Path("variable.nex.t"),
                                    dir.Path("variable.nex.p")),
            0.01);
}
