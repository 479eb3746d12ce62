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
#include <memory>
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

// A short seeded MrBayes run with rates=gamma on examples/<name>.txt, as
// pairnex writes it; the scratch folder holds its files.
struct GammaRun {
  ScratchDir dir;
  std::string data_file;
  std::string t_file;
  std::string p_file;
};

std::unique_ptr<GammaRun> RunMrBayesWithGamma(const std::string& name) {
  auto run = std::make_unique<GammaRun>();
  const std::string mb = FindOnPath("mb");
  EXPECT_FALSE(mb.empty()) << "MrBayes (mb) is not on PATH; scripts/install-deps.sh installs it";
  run->data_file = std::string(EXAMPLES_DIR) + "/" + name + ".txt";
  const ProgramResult converted =
      RunProgram(PAIRNEX_BINARY, {"--mrbayes=3.2", "--rates=gamma", "--ngen=400", "--samplefreq=20",
                                  run->data_file, run->dir.Path("gamma.nex")});
  EXPECT_EQ(converted.status, 0) << converted.output;
  run->dir.Write("seeded.nex",
                 "#NEXUS\nbegin mrbayes;\n\tset seed=3 swapseed=3;\n\texecute gamma.nex;\nend;\n");
  const ProgramResult mrbayes = RunProgram(mb, {"seeded.nex"}, "", run->dir.Path(""));
  EXPECT_EQ(mrbayes.status, 0) << mrbayes.output;
  run->t_file = run->dir.Path("gamma.nex.t");
  run->p_file = run->dir.Path("gamma.nex.p");
  return run;
}

// The stem/loop run of the bundled example, made once for the tests below.
const GammaRun& PlantGammaRun() {
  static const std::unique_ptr<GammaRun> run = RunMrBayesWithGamma("plant_srp10");
  return *run;
}

}  // namespace

TEST(GammaMrBayesParity, StemsAndLoopsGiveMrBayesLnLAndEveryThreadCountTheSameSamples) {
  const GammaRun& run = PlantGammaRun();
  const LastSample sample = ReadLastSample(run.p_file);
  EXPECT_GT(sample.Value("alpha{1}"), 0.0);
  EXPECT_NE(sample.Value("alpha{2}"), 1.0);  // the chain moved the loop shape
  EXPECT_LT(LogLikelihoodDifference(run.data_file, run.t_file, run.p_file), 0.01);

  // Category draws come from each row's own positions in the stream.
  ScratchDir dir;
  const std::string table = WriteSampleTable(dir, sample);
  std::string first;
  for (const char* threads : {"--threads=1", "--threads=2", "--threads=3"}) {
    const std::string out = dir.Path(std::string("out") + threads[10]);
    const ProgramResult ours = RunProgram(
        RIBOTRACE_BINARY,
        {"--seed=11", threads, "--state", run.data_file, run.t_file, table, out, "1", "1", "40", "0", "1"});
    ASSERT_EQ(ours.status, 0) << ours.output;
    const std::string results = ReadFile(out) + ReadFile(out + ".state") + ReadFile(out + ".pairs");
    if (first.empty()) first = results;
    EXPECT_TRUE(results == first) << threads;
  }
  const ProgramResult classic = RunProgram(
      RIBOTRACE_BINARY, {"--classic", run.data_file, run.t_file, table, dir.Path("c"), "1", "1",
                         "1", "0", "0"});
  EXPECT_EQ(classic.status, 1);
  EXPECT_NE(classic.output.find("which --classic does not model"), std::string::npos)
      << classic.output;
}

TEST(GammaMrBayesParity, TheSingleModelGivesMrBayesLnL) {
  const std::unique_ptr<GammaRun> run = RunMrBayesWithGamma("snr75");
  EXPECT_GT(ReadLastSample(run->p_file).Value("alpha"), 0.0);
  EXPECT_LT(LogLikelihoodDifference(run->data_file, run->t_file, run->p_file), 0.01);
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

// Runs ribotrace --state and IQ-TREE --ancestral on the last tree of
// `t_file` with the loop model of `sample` (and its loop gamma shape, when
// the sample has one, as +G4), on the loop columns alone. Returns the
// largest difference between the two programs' loop posteriors at the
// interior nodes, matched by the taxa around them, and leaves IQ-TREE's
// report in *report.
double LargestDifferenceFromIqTree(const std::string& data_file, const std::string& t_file,
                                   const LastSample& sample, std::string* report) {
  std::string iqtree = FindOnPath("iqtree2");
  if (iqtree.empty()) iqtree = FindOnPath("iqtree");
  EXPECT_FALSE(iqtree.empty()) << "IQ-TREE is not on PATH; scripts/install-deps.sh installs it";
  ScratchDir dir;
  const Alignment alignment = ReadAlignment(data_file);
  const ProgramResult ours =
      RunProgram(RIBOTRACE_BINARY, {"--seed=7", "--state", data_file, t_file,
                                    WriteSampleTable(dir, sample), dir.Path("out"), "0", "1", "0",
                                    "0", "0"});
  EXPECT_EQ(ours.status, 0) << ours.output;

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
  const bool gamma = std::find(sample.names.begin(), sample.names.end(), "alpha{2}") !=
                     sample.names.end();
  if (gamma) {
    std::snprintf(model + std::strlen(model), sizeof model - std::strlen(model), "+G4{%.10g}",
                  sample.Value("alpha{2}"));
  }
  const ProgramResult iq =
      RunProgram(iqtree, {"-s", "loops.fa", "-te", "tree.nwk", "-m", model, "-blfix", "--ancestral",
                          "-nt", "1", "-seed", "1", "-quiet", "-redo"},
                 "", dir.Path(""));
  EXPECT_EQ(iq.status, 0) << iq.output;

  // IQ-TREE's report must show the six rates we gave it.
  *report = ReadFile(dir.Path("loops.fa.iqtree"));
  const char* report_pairs[6] = {"A-C", "A-G", "A-T", "C-G", "C-T", "G-T"};
  for (int i = 0; i < 6; ++i) {
    const std::size_t at = report->find(std::string("  ") + report_pairs[i] + ": ");
    if (at == std::string::npos) {
      ADD_FAILURE() << report_pairs[i] << " is not in IQ-TREE's report";
      return INFINITY;
    }
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
    if (found == iq_nodes.end()) {
      ADD_FAILURE() << name << " has no node in IQ-TREE's tree";
      return INFINITY;
    }
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
  return largest;
}

}  // namespace

// IQ-TREE prints five decimals, ribotrace six significant digits.
TEST(MarginalIqTreeParity, LoopPosteriorsEqualIqTreeAncestralStates) {
  const std::string examples = EXAMPLES_DIR;
  std::string report;
  EXPECT_LT(LargestDifferenceFromIqTree(examples + "/plant_srp10.txt",
                                        examples + "/plant_srp10.nex.t",
                                        ReadLastSample(examples + "/plant_srp10.nex.p"), &report),
            1e-5);
}

TEST(GammaIqTreeParity, LoopPosteriorsEqualIqTreesWithTheSameMeanRateCategories) {
  const GammaRun& run = PlantGammaRun();
  const LastSample sample = ReadLastSample(run.p_file);
  std::string report;
  EXPECT_LT(LargestDifferenceFromIqTree(run.data_file, run.t_file, sample, &report), 1e-5);
  // IQ-TREE's categories are means too, and the shape stays the one given.
  EXPECT_NE(report.find("computed as MEAN of the portion"), std::string::npos) << report;
  const std::size_t at = report.find("Gamma shape alpha: ");
  ASSERT_NE(at, std::string::npos) << report;
  EXPECT_NEAR(std::stod(report.substr(at + 19)), sample.Value("alpha{2}"),
              5e-4 * sample.Value("alpha{2}"));
}
