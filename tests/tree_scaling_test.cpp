#include <gtest/gtest.h>

#include "tree/branch_scaling.h"
#include "test_support.h"
#include "tree_test_support.h"

namespace {

std::unique_ptr<BuiltTree> Build(const std::string& text, const std::vector<std::string>& taxa) {
  return BuildTree(text, TaxonNames(taxa));
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
