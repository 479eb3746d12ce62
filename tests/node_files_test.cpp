// The files that name and describe the nodes of a run, read back as a user
// or another program would: the labelled tree by the project's own tree
// construction, the tables and sequences as text.
#include <gtest/gtest.h>

#include <array>
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
  ProgramResult Run(std::vector<std::string> args) {
    for (const std::string& value : {kData, kTree, kExamples + "/plant_srp10.nex.pstat", out_}) {
      args.push_back(value);
    }
    args.insert(args.end(), {"1", "1.0", "1", "0", "0"});
    return RunProgram(RIBOTRACE_BINARY, args);
  }
  ScratchDir dir_;
  std::string out_ = dir_.Path("out.fa");
};

// Node by node in pre-order: the tree file read back by the tree
// construction has the links, taxa and branch lengths (to the last bit) of
// the tree the run built, and names every interior node by its number.
std::unique_ptr<BuiltTree> ReadBackTreeFile(const std::string& path,
                                            const std::vector<std::string>& outgroup) {
  const Alignment alignment = ReadAlignment(kData);
  const auto run = BuildTree(ReadTreeFile(kTree), alignment.Names);
  if (!outgroup.empty()) {
    RootOnOutgroup(run->up_pass, run->down_pass, FindOutgroupTaxa(outgroup, alignment.Names),
                   alignment.Names);
  }
  std::string text = ReadFile(path);
  EXPECT_EQ(text.substr(text.size() - 2), ";\n");
  text.resize(text.size() - 2);
  // The clades' [&prob=...] are comments, which tree readers skip.
  for (std::size_t at = text.find('['); at != std::string::npos; at = text.find('[', at)) {
    text.erase(at, text.find(']', at) + 1 - at);
  }
  auto back = BuildTree(text, alignment.Names);
  auto indices = [](const NodeStruct& node) {
    std::vector<int> children;
    for (const NodeStruct* child : node.children) children.push_back(child->index);
    return children;
  };
  for (std::size_t i = 0; i < back->up_pass.size(); ++i) {
    const NodeStruct& a = *run->up_pass[i];
    const NodeStruct& b = *back->up_pass[i];
    EXPECT_EQ(indices(b), indices(a)) << i;
    EXPECT_EQ(b.taxon_index, a.taxon_index) << i;
    EXPECT_EQ(b.length, a.length) << i;
    if (!b.IsTip()) {
      EXPECT_EQ(b.label, "anc_" + std::to_string(b.index));
    }
  }
  return back;
}

std::set<int> TaxaBelow(const NodeStruct* node) {
  if (node->IsTip()) return {node->taxon_index};
  std::set<int> taxa = TaxaBelow(node->children[0]);
  taxa.merge(TaxaBelow(node->children[1]));
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
    while (std::getline(cells, fields.emplace_back(), '\t')) {
    }
    fields.pop_back();
    rows.push_back(fields);
  }
  return rows;
}

// The .state table by node name and column: State, A C G U, p_gap, Pair.
using StateTable = std::map<std::pair<std::string, int>, std::vector<std::string>>;
// The .pairs table's State by node name and 5' column.
using PairStates = std::map<std::pair<std::string, int>, std::string>;

void ReadStateTable(const std::string& path, StateTable* states) {
  for (auto& f : Rows(path, "Node\tSite\tState\tp_A\tp_C\tp_G\tp_U\tp_gap\tPair")) {
    ASSERT_EQ(f.size(), 9u);
    (*states)[{f[0], std::stoi(f[1])}] = std::vector<std::string>(f.begin() + 2, f.end());
  }
}

// Each pair summed over one side is the other side's row of the .state
// table (both printed with six significant digits).
void CheckPairsAgreeWithStates(const std::string& path, const StateTable& states,
                               PairStates* pair_states) {
  std::string pair_header = "Node\tSite5\tSite3\tState";
  for (const char* doublet : {"AA", "AC", "AG", "AU", "CA", "CC", "CG", "CU", "GA", "GC", "GG",
                              "GU", "UA", "UC", "UG", "UU"}) {
    pair_header += std::string("\tp_") + doublet;
  }
  pair_header += "\tp_gap";
  for (const auto& f : Rows(path, pair_header)) {
    ASSERT_EQ(f.size(), 21u);
    const std::vector<std::string>& five = states.at({f[0], std::stoi(f[1])});
    const std::vector<std::string>& three = states.at({f[0], std::stoi(f[2])});
    EXPECT_EQ(five[6] + " " + three[6], f[2] + " " + f[1]);
    // A pair is present or absent as a whole.
    EXPECT_EQ(five[5] + " " + three[5], f[20] + " " + f[20]);
    (*pair_states)[{f[0], std::stoi(f[1])}] = f[3];
    for (std::size_t x = 0; x < 4; ++x) {
      std::array<double, 2> sums{};
      for (std::size_t y = 0; y < 4; ++y) {
        sums[0] += std::stod(f[4 + 4 * x + y]);
        sums[1] += std::stod(f[4 + 4 * y + x]);
      }
      EXPECT_NEAR(sums[0], std::stod(five[1 + x]), 3e-6) << f[0] << " " << f[1];
      EXPECT_NEAR(sums[1], std::stod(three[1 + x]), 3e-6) << f[0] << " " << f[2];
    }
  }
}

// The most probable sequences: '-' where the column is more likely absent
// than present, else loop columns as the .state table's State, stem pairs
// as the .pairs table's. Returns how many sequences the file holds.
int CheckMostProbableSequences(const std::string& path, int n_sites, const StateTable& states,
                               const PairStates& pair_states) {
  std::istringstream map(ReadFile(path));
  std::string header;
  std::string sequence;
  int n_sequences = 0;
  for (; std::getline(map, header) && std::getline(map, sequence); ++n_sequences) {
    EXPECT_EQ(sequence.size(), static_cast<std::size_t>(n_sites));
    if (sequence.size() != static_cast<std::size_t>(n_sites)) continue;
    for (int c = 0; c < n_sites; ++c) {
      const std::vector<std::string>& entry = states.at({header.substr(1), c + 1});
      if (std::stod(entry[5]) > 0.5) {
        EXPECT_EQ(sequence[static_cast<std::size_t>(c)], '-') << header << c;
      } else if (entry[6] == "-") {
        EXPECT_EQ(sequence.substr(static_cast<std::size_t>(c), 1), entry[0]) << header << c;
      } else if (const auto pair = pair_states.find({header.substr(1), c + 1});
                 pair != pair_states.end()) {
        EXPECT_EQ(sequence.substr(static_cast<std::size_t>(c), 1) +
                      sequence[static_cast<std::size_t>(std::stoi(entry[6])) - 1],
                  pair->second);
      }
    }
  }
  return n_sequences;
}

// Where every taxon has the same base, so has every ancestor: a check of
// which side of a pair each column reads, independent of the code. Returns
// the number of such columns.
int CheckConservedColumns(const Alignment& alignment, const StateTable& states) {
  int conserved = 0;
  for (int c = 0; c < alignment.n_sites; ++c) {
    const int code = alignment.Code(0, c);
    bool same = code >= 0 && code <= 3;
    for (int t = 1; t < alignment.n_taxa && same; ++t) same = alignment.Code(t, c) == code;
    if (!same) continue;
    ++conserved;
    for (const auto& [key, entry] : states) {
      if (key.second == c + 1) {
        EXPECT_EQ(entry[0], std::string(1, "ACGU"[code])) << key.first << " " << c + 1;
      }
    }
  }
  return conserved;
}

}  // namespace

TEST_F(NodeFiles, TheTreeFileReadsBackAsTheTreeOfTheRunWithOrWithoutAnOutgroup) {
  ASSERT_EQ(Run({}).status, 0);
  ReadBackTreeFile(out_ + ".tree", {});

  const std::vector<std::string> outgroup = {"AC079888_10_27802_27492", "u85037_1_1_298",
                                             "AAAA02010927_1_7990_7685"};
  ASSERT_EQ(Run({"--outgroup=" + outgroup[0] + "," + outgroup[1] + "," + outgroup[2]}).status, 0);
  const auto back = ReadBackTreeFile(out_ + ".tree", outgroup);
  EXPECT_EQ(TaxaBelow(back->root()->children[1]), (std::set<int>{6, 7, 8}));
}

TEST_F(NodeFiles, TablesAndSequencesAgreeWithEachOtherAndWithTheData) {
  const Alignment alignment = ReadAlignment(kData);
  const ProgramResult run = Run({"--state"});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(run.errors.ends_with("ribotrace wrote " + out_ + ", " + out_ + ".par, " + out_ +
                                   ".tree, " + out_ + ".map.fa, " + out_ + ".state, " + out_ +
                                   ".pairs\n"))
      << run.errors;
  StateTable states;
  ASSERT_NO_FATAL_FAILURE(ReadStateTable(out_ + ".state", &states));
  const int n_nodes = alignment.n_taxa - 2;
  EXPECT_EQ(states.size(), static_cast<std::size_t>(n_nodes * alignment.n_sites));
  PairStates pair_states;
  ASSERT_NO_FATAL_FAILURE(CheckPairsAgreeWithStates(out_ + ".pairs", states, &pair_states));
  EXPECT_EQ(pair_states.size(), static_cast<std::size_t>(n_nodes * 123));
  EXPECT_EQ(CheckMostProbableSequences(out_ + ".map.fa", alignment.n_sites, states, pair_states),
            n_nodes);
  // Without --gaps=tree too: columns that most taxa lack are gaps in the
  // ancestors (the example's taxa have 295 to 303 bases in 367 columns).
  const std::string most_probable = ReadFile(out_ + ".map.fa");
  EXPECT_GT(std::count(most_probable.begin(), most_probable.end(), '-'), n_nodes * 50);
  EXPECT_GT(CheckConservedColumns(alignment, states), 20);
}
