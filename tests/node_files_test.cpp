// The files that name and describe the nodes of a run, read back as a user
// or another program would: the labelled tree by the project's own tree
// construction, the tables and sequences as text.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "io/tree_file.h"
#include "test_support.h"
#include "tree/tree_rooting.h"
#include "tree_test_support.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;
const std::string kData = kExamples + "/plant_srp10.txt";
const std::string kTree = kExamples + "/plant_srp10.nex.con.tre";

class NodeFiles : public testing::Test {
 protected:
  ProgramResult Run(const std::vector<std::string>& options) {
    std::vector<std::string> args = options;
    for (const std::string& value : {std::string("--seed=5"), kData, kTree,
                                     kExamples + "/plant_srp10.nex.pstat", out_, std::string("1"),
                                     std::string("1.0"), std::string("1"), std::string("0"),
                                     std::string("0")}) {
      args.push_back(value);
    }
    return RunProgram(RIBOTRACE_BINARY, args);
  }
  ScratchDir dir_;
  std::string out_ = dir_.Path("out.fa");
};

// The tree of the run, built in-process as the driver builds it.
std::unique_ptr<BuiltTree> RunTree(const Alignment& alignment,
                                   const std::vector<std::string>& outgroup) {
  auto tree = BuildTree(ReadTreeFile(kTree), alignment.Names);
  if (!outgroup.empty()) {
    RootOnOutgroup(tree->up_pass, tree->down_pass, FindOutgroupTaxa(outgroup, alignment.Names),
                   alignment.Names);
  }
  return tree;
}

// The tree file that the run wrote, read back by the same construction.
std::unique_ptr<BuiltTree> ReadBack(const std::string& path, const Alignment& alignment) {
  std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(text.size() - 2), ";\n");
  text.resize(text.size() - 2);
  return BuildTree(text, alignment.Names);
}

// Node by node in pre-order: the same links, taxa and branch lengths (to
// the last bit), and interior nodes named by their numbers.
void ExpectSameTree(const BuiltTree& expected, const BuiltTree& got) {
  ASSERT_EQ(expected.up_pass.size(), got.up_pass.size());
  auto index = [](const NodeStruct* node) { return node == nullptr ? -1 : node->index; };
  for (std::size_t i = 0; i < got.up_pass.size(); ++i) {
    const NodeStruct& a = *expected.up_pass[i];
    const NodeStruct& b = *got.up_pass[i];
    EXPECT_EQ(b.index, a.index);
    EXPECT_EQ(index(b.left), index(a.left)) << i;
    EXPECT_EQ(index(b.right), index(a.right)) << i;
    EXPECT_EQ(b.taxon_index, a.taxon_index) << i;
    EXPECT_EQ(b.length, a.length) << i;
    if (b.left != nullptr) {
      EXPECT_EQ(b.label, "anc_" + std::to_string(b.index));
    }
  }
}

std::set<int> TaxaBelow(const NodeStruct* node) {
  if (node->left == nullptr) return {node->taxon_index};
  std::set<int> taxa = TaxaBelow(node->left);
  taxa.merge(TaxaBelow(node->right));
  return taxa;
}

// The rows of a tab-separated table after its header, split into fields.
std::vector<std::vector<std::string>> Rows(const std::string& path, const std::string& header) {
  std::istringstream lines(ReadFile(path));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, header);
  std::vector<std::vector<std::string>> rows;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, '\t')) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

struct SiteEntry {
  char state = '?';
  std::array<double, 4> p{};
  std::string pair;
};

// The .state table by node name and 1-based column.
std::map<std::pair<std::string, int>, SiteEntry> ReadStates(const std::string& path) {
  std::map<std::pair<std::string, int>, SiteEntry> states;
  for (const auto& f : Rows(path, "Node\tSite\tState\tp_A\tp_C\tp_G\tp_U\tPair")) {
    EXPECT_EQ(f.size(), 8u);
    if (f.size() != 8) continue;
    states[{f[0], std::stoi(f[1])}] = {
        f[2][0], {std::stod(f[3]), std::stod(f[4]), std::stod(f[5]), std::stod(f[6])}, f[7]};
  }
  return states;
}

// Interior nodes of a tree by the taxa on each side of their three
// branches, whichever way the tree is rooted.
std::map<std::set<std::set<int>>, std::string> NodesBySplit(const BuiltTree& tree) {
  const std::set<int> all = TaxaBelow(tree.root());
  std::map<std::set<std::set<int>>, std::string> nodes;
  for (const NodeStruct* node : tree.up_pass) {
    if (node->left == nullptr || node->anc == nullptr) continue;
    const std::set<int> left = TaxaBelow(node->left);
    const std::set<int> right = TaxaBelow(node->right);
    std::set<int> rest;
    for (const int taxon : all) {
      if (!left.contains(taxon) && !right.contains(taxon)) rest.insert(taxon);
    }
    nodes[{left, right, rest}] = node->label;
  }
  return nodes;
}

}  // namespace

TEST_F(NodeFiles, TheTreeFileReadsBackAsTheTreeOfTheRunWithOrWithoutAnOutgroup) {
  const Alignment alignment = ReadAlignment(kData);
  const ProgramResult plain = Run({});
  ASSERT_EQ(plain.status, 0) << plain.output;
  ExpectSameTree(*RunTree(alignment, {}), *ReadBack(out_ + ".tree", alignment));

  const std::vector<std::string> outgroup = {"AC079888_10_27802_27492", "u85037_1_1_298",
                                             "AAAA02010927_1_7990_7685"};
  const ProgramResult rooted = Run({"--outgroup=" + outgroup[0] + "," + outgroup[1] + "," +
                                    outgroup[2]});
  ASSERT_EQ(rooted.status, 0) << rooted.output;
  const auto back = ReadBack(out_ + ".tree", alignment);
  ExpectSameTree(*RunTree(alignment, outgroup), *back);
  EXPECT_EQ(TaxaBelow(back->root()->right), (std::set<int>{6, 7, 8}));
}

TEST_F(NodeFiles, AnOutgroupThatIsNoCladeOrNoTaxonStopsTheRunAndWritesNothing) {
  for (const auto& [outgroup, message] : std::vector<std::pair<std::string, std::string>>{
           {"X71484_1_3_290,U85037_1_1_298", "do not form a clade of the tree"},
           {"X71484_1_3_290,nothing", "the data file holds no taxon named 'nothing'"}}) {
    const ProgramResult run = Run({"--outgroup=" + outgroup});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find(message), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path(""))) << outgroup;
  }
}

TEST_F(NodeFiles, TablesAndSequencesAgreeWithEachOtherAndWithTheData) {
  const Alignment alignment = ReadAlignment(kData);
  const ProgramResult run = Run({"--state"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.errors, "ribotrace wrote " + out_ + ", " + out_ + ".par, " + out_ + ".tree, " +
                            out_ + ".map.fa, " + out_ + ".state, " + out_ + ".pairs\n");
  const auto states = ReadStates(out_ + ".state");
  const int n_nodes = alignment.n_taxa - 2;
  EXPECT_EQ(states.size(), static_cast<std::size_t>(n_nodes * alignment.n_sites));

  // Each pair summed over one side is the other side's row of the .state
  // table (both printed with six significant digits).
  std::string pair_header = "Node\tSite5\tSite3\tState";
  for (const char* doublet : {"AA", "AC", "AG", "AU", "CA", "CC", "CG", "CU", "GA", "GC", "GG",
                              "GU", "UA", "UC", "UG", "UU"}) {
    pair_header += std::string("\tp_") + doublet;
  }
  std::map<std::pair<std::string, int>, std::string> pair_states;
  int n_pairs = 0;
  for (const auto& f : Rows(out_ + ".pairs", pair_header)) {
    ASSERT_EQ(f.size(), 20u);
    ++n_pairs;
    const int five = std::stoi(f[1]);
    const int three = std::stoi(f[2]);
    const SiteEntry& left = states.at({f[0], five});
    const SiteEntry& right = states.at({f[0], three});
    EXPECT_EQ(left.pair, f[2]);
    EXPECT_EQ(right.pair, f[1]);
    pair_states[{f[0], five}] = f[3];
    for (int x = 0; x < 4; ++x) {
      double five_sum = 0.0;
      double three_sum = 0.0;
      for (int y = 0; y < 4; ++y) {
        five_sum += std::stod(f[static_cast<std::size_t>(4 + 4 * x + y)]);
        three_sum += std::stod(f[static_cast<std::size_t>(4 + 4 * y + x)]);
      }
      EXPECT_NEAR(five_sum, left.p[static_cast<std::size_t>(x)], 3e-6) << f[0] << " " << five;
      EXPECT_NEAR(three_sum, right.p[static_cast<std::size_t>(x)], 3e-6) << f[0] << " " << three;
    }
  }
  EXPECT_EQ(n_pairs, n_nodes * 123);

  // The most probable sequences: loop columns as the .state table's State,
  // stem pairs as the .pairs table's.
  std::istringstream map(ReadFile(out_ + ".map.fa"));
  std::string header;
  std::string sequence;
  int n_sequences = 0;
  while (std::getline(map, header) && std::getline(map, sequence)) {
    ++n_sequences;
    const std::string name = header.substr(1);
    ASSERT_EQ(sequence.size(), static_cast<std::size_t>(alignment.n_sites));
    for (int c = 0; c < alignment.n_sites; ++c) {
      const SiteEntry& entry = states.at({name, c + 1});
      if (entry.pair == "-") {
        EXPECT_EQ(sequence[static_cast<std::size_t>(c)], entry.state) << name << " " << c + 1;
      } else if (const auto pair = pair_states.find({name, c + 1}); pair != pair_states.end()) {
        const std::size_t three = static_cast<std::size_t>(std::stoi(entry.pair)) - 1;
        EXPECT_EQ(sequence.substr(static_cast<std::size_t>(c), 1) + sequence[three], pair->second);
      }
    }
  }
  EXPECT_EQ(n_sequences, n_nodes);

  // Where every taxon has the same base, so has every ancestor: a check of
  // which side of a pair each column reads, independent of the code.
  const std::string bases = "ACGU";
  int conserved = 0;
  for (int c = 0; c < alignment.n_sites; ++c) {
    const int code = alignment.Code(0, c);
    bool same = code >= 0 && code <= 3;
    for (int t = 1; t < alignment.n_taxa && same; ++t) same = alignment.Code(t, c) == code;
    if (!same) continue;
    ++conserved;
    for (const auto& [key, entry] : states) {
      if (key.second == c + 1) {
        EXPECT_EQ(entry.state, bases[static_cast<std::size_t>(code)]) << key.first << " " << c + 1;
      }
    }
  }
  EXPECT_GT(conserved, 20);
}

TEST_F(NodeFiles, ExactPosteriorsOfANodeDoNotDependOnWhereTheRootIs) {
  const Alignment alignment = ReadAlignment(kData);
  ASSERT_EQ(Run({"--state"}).status, 0);
  const auto first = ReadStates(out_ + ".state");
  const auto first_nodes = NodesBySplit(*ReadBack(out_ + ".tree", alignment));
  ASSERT_EQ(Run({"--state", "--outgroup=X71484_1_3_290,ABCN01005680_1_1602_1315"}).status, 0);
  const auto second = ReadStates(out_ + ".state");
  const auto second_nodes = NodesBySplit(*ReadBack(out_ + ".tree", alignment));
  ASSERT_EQ(first_nodes.size(), second_nodes.size());
  int renamed = 0;
  for (const auto& [split, name] : first_nodes) {
    const std::string& other = second_nodes.at(split);
    renamed += other != name ? 1 : 0;
    for (int c = 1; c <= alignment.n_sites; ++c) {
      for (std::size_t x = 0; x < 4; ++x) {
        EXPECT_NEAR(first.at({name, c}).p[x], second.at({other, c}).p[x], 1e-6);
      }
    }
  }
  EXPECT_GT(renamed, 0) << "the new root numbers the nodes differently";
}
