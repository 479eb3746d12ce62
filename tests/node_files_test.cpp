// The files that name and describe the nodes of a run, read back as a user
// or another program would: the labelled tree by the project's own tree
// construction.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

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
