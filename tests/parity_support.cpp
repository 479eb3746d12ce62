#include "parity_support.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "inference/likelihood_blocks.h"

namespace {

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream in(line);
  std::string field;
  while (std::getline(in, field, '\t')) fields.push_back(field);
  return fields;
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

// The data file's loop columns as FASTA, for IQ-TREE.
std::string LoopFasta(const std::string& data_file, const Alignment& alignment,
                      const std::vector<int>& loop_columns) {
  std::vector<std::string> raw;
  std::istringstream lines(ReadFile(data_file));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line[0] != '>') raw.push_back(line);
  }
  std::string fasta;
  for (int t = 0; t < alignment.n_taxa; ++t) {
    fasta += ">" + alignment.Names[static_cast<std::size_t>(t)].name + "\n";
    for (const int c : loop_columns)
      fasta += raw[static_cast<std::size_t>(t) + 1][static_cast<std::size_t>(c)];
    fasta += "\n";
  }
  return fasta;
}

// The sample's loop exchange rates relative to G<->T, as IQ-TREE gives them.
std::array<double, 6> RelativeLoopRates(const LastSample& sample) {
  const char* pairs[6] = {"A<->C", "A<->G", "A<->T", "C<->G", "C<->T", "G<->T"};
  double rates[6];
  for (int i = 0; i < 6; ++i) rates[i] = sample.Value(std::string("r(") + pairs[i] + "){2}");
  std::array<double, 6> relative{};
  for (int i = 0; i < 6; ++i) relative[static_cast<std::size_t>(i)] = rates[i] / rates[5];
  return relative;
}

// The sample's loop model in IQ-TREE's notation: GTR with fixed rates and
// base frequencies, and +G4 with a positive loop_alpha.
std::string IqTreeLoopModel(const LastSample& sample, const std::array<double, 6>& rates,
                            double loop_alpha) {
  char model[512];
  std::snprintf(model, sizeof model,
                "GTR{%.10g,%.10g,%.10g,%.10g,%.10g}+F{%.10g,%.10g,%.10g,%.10g}", rates[0], rates[1],
                rates[2], rates[3], rates[4], sample.Value("pi(A){2}"), sample.Value("pi(C){2}"),
                sample.Value("pi(G){2}"), sample.Value("pi(T){2}"));
  if (loop_alpha > 0.0) {
    std::snprintf(model + std::strlen(model), sizeof model - std::strlen(model), "+G4{%.10g}",
                  loop_alpha);
  }
  return model;
}

// Interior nodes by their tripartitions, named as in the tree file (IQ-TREE's
// or ribotrace's); `all` is the set of every taxon.
std::map<std::string, Tripartition> InteriorNodes(const std::string& tree_file, Cluster& all) {
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
}

// Posterior rows of a .state file: node, site (from 1) -> A C G U.
std::map<std::pair<std::string, int>, std::array<double, 4>> ReadStates(const std::string& path) {
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
}

}  // namespace

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

  std::vector<int> loop_columns;
  for (int c = 0; c < alignment.n_sites; ++c) {
    if (alignment.structure[static_cast<std::size_t>(c)] == kLoopColumn) loop_columns.push_back(c);
  }
  dir.Write("loops.fa", LoopFasta(data_file, alignment, loop_columns));
  dir.Write("tree.nwk", NamedNewick(t_file));
  const std::array<double, 6> rates = RelativeLoopRates(sample);
  const ProgramResult iq = RunProgram(
      iqtree,
      {"-s", "loops.fa", "-te", "tree.nwk", "-m", IqTreeLoopModel(sample, rates, loop_alpha),
       "-blfix", "--ancestral", "-nt", "1", "-seed", "1", "-quiet", "-redo"},
      "", dir.Path(""));
  ASSERT_EQ(iq.status, 0) << iq.output;

  // IQ-TREE's report must show the six rates we gave it.
  *report = ReadFile(dir.Path("loops.fa.iqtree"));
  const char* report_pairs[6] = {"A-C", "A-G", "A-T", "C-G", "C-T", "G-T"};
  for (std::size_t i = 0; i < 6; ++i) {
    const std::size_t at = report->find(std::string("  ") + report_pairs[i] + ": ");
    ASSERT_NE(at, std::string::npos) << report_pairs[i];
    EXPECT_NEAR(std::stod(report->substr(at + 7)), rates[i], 5e-5) << report_pairs[i];
  }

  Cluster all;
  std::map<Tripartition, std::string> iq_nodes;
  for (const auto& [name, split] : InteriorNodes(dir.Path("loops.fa.treefile"), all)) {
    iq_nodes[split] = name;
  }
  std::map<std::string, Tripartition> our_nodes = InteriorNodes(dir.Path("out.tree"), all);
  our_nodes.erase("anc_0");  // the root, which the tables leave out
  const auto iq_states = ReadStates(dir.Path("loops.fa.state"));
  const auto our_states = ReadStates(dir.Path("out.state"));

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
