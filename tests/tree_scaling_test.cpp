#include <gtest/gtest.h>

#include <memory>

#include "branch_scaling.h"
#include "test_support.h"
#include "tree_construction.h"

namespace {

struct Tree {
  std::vector<NodeStruct> nodes;
  std::vector<NodeStruct*> down_pass;
  std::vector<NodeStruct*> up_pass;
};

std::unique_ptr<Tree> Build(const std::string& text, const std::vector<std::string>& taxa) {
  auto tree = std::make_unique<Tree>();
  const std::size_t n_nodes = 2 * taxa.size() - 1;
  tree->nodes.resize(n_nodes);
  tree->down_pass.resize(n_nodes);
  tree->up_pass.resize(n_nodes);
  std::vector<TaxonName> names;
  for (const std::string& taxon : taxa) names.push_back({taxon, static_cast<int>(names.size())});
  SetUpTree(tree->nodes, tree->up_pass, tree->down_pass, names, text, static_cast<int>(taxa.size()));
  return tree;
}

}  // namespace

TEST(BranchScaling, RootBranchesCountAsOneInTheHarmonicMean) {
  // Root halfway along c's branch: root branches 1 and 1 make one branch of 2.
  const auto tree = Build("(a:1,b:1,c:2)", {"a", "b", "c"});
  EXPECT_DOUBLE_EQ(GetHarmonicMeanOfBranchLengths(tree->down_pass), 1.2);
  SetScaledBranchLengths(tree->down_pass, 1);
  for (std::size_t i = 0; i + 1 < tree->down_pass.size(); ++i) {
    EXPECT_DOUBLE_EQ(tree->down_pass[i]->scaled_length, 1.2);
  }
  EXPECT_EQ(tree->down_pass.back()->scaled_length, 0.0);

  // Five branches of the unrooted tree: 1, 2, 4, 4 and the joined 3 + 5 = 8.
  const auto five = Build("((a:1,b:2):3,(c:4,d:4):5)", {"a", "b", "c", "d"});
  EXPECT_DOUBLE_EQ(GetHarmonicMeanOfBranchLengths(five->down_pass),
                   5.0 / (1.0 + 1.0 / 2 + 1.0 / 4 + 1.0 / 4 + 1.0 / 8));
}

TEST(BranchScaling, UnitLengthOrAnErrorForOtherSwitchValues) {
  const auto tree = Build("(a:1,b:1,c:2)", {"a", "b", "c"});
  SetScaledBranchLengths(tree->down_pass, 0);
  for (std::size_t i = 0; i + 1 < tree->down_pass.size(); ++i) {
    EXPECT_EQ(tree->down_pass[i]->scaled_length, 1.0);
  }
  EXPECT_EQ(tree->down_pass.back()->scaled_length, 0.0);
  EXPECT_EQ(FatalOutput([&] { SetScaledBranchLengths(tree->down_pass, 2); }),
            "\n\nErr: GetHarmonicMeanOfBranchLengths Error: Parameter 'is_harmonic' has an "
            "incorrect value.\n");
}
