#include <gtest/gtest.h>

#include <map>
#include <set>
#include <memory>

#include "test_support.h"
#include "tree/tree_rooting.h"
#include "tree_test_support.h"

namespace {

// Sum of the branch lengths on the path between two tips.
double Distance(const BuiltTree& tree, const std::string& a, const std::string& b) {
  std::map<const NodeStruct*, double> up_from_a;
  double total = 0.0;
  for (const NodeStruct* n = tree.Tip(a); n != nullptr; n = n->anc) {
    up_from_a[n] = total;
    total += n->length;
  }
  total = 0.0;
  for (const NodeStruct* n = tree.Tip(b); n != nullptr; n = n->anc) {
    if (up_from_a.contains(n)) return total + up_from_a[n];
    total += n->length;
  }
  return -1.0;
}

std::unique_ptr<BuiltTree> Build(const std::string& text, const std::vector<std::string>& taxa) {
  return BuildTree(text, TaxonNames(taxa));
}

std::string BuildFailure(const std::string& text, const std::vector<std::string>& taxa) {
  return FatalOutput([&] { Build(text, taxa); });
}

// What every built tree must satisfy: binary, pre-order numbers equal to
// the up-pass positions, children before parents in the down-pass sequence.
void ExpectWellFormed(const BuiltTree& tree) {
  ASSERT_EQ(tree.down_pass.back(), tree.root());
  EXPECT_EQ(tree.root()->anc, nullptr);
  EXPECT_EQ(tree.root()->length, 0.0);
  for (std::size_t i = 0; i < tree.up_pass.size(); ++i) {
    const NodeStruct* node = tree.up_pass[i];
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->index, static_cast<int>(i));
    EXPECT_TRUE(node->IsTip() || node->children.size() == 2) << node->index;
    for (const NodeStruct* child : node->children) EXPECT_EQ(child->anc, node);
  }
  std::map<const NodeStruct*, std::size_t> position;
  for (std::size_t i = 0; i < tree.down_pass.size(); ++i) position[tree.down_pass[i]] = i;
  EXPECT_EQ(position.size(), tree.nodes.size());
  for (const NodeStruct& node : tree.nodes) {
    if (node.anc != nullptr) {
      EXPECT_LT(position[&node], position[node.anc]);
    }
  }
}

}  // namespace

TEST(SetUpTree, ThreeTaxaAreRootedHalfwayAlongTheLastBranch) {
  const auto tree = Build("(a:0.1,b:0.2,c:0.3)", {"a", "b", "c"});
  ExpectWellFormed(*tree);
  const NodeStruct* root = tree->root();
  const NodeStruct* old_root = root->children[0];
  EXPECT_EQ(root->children[1], tree->Tip("c"));
  EXPECT_DOUBLE_EQ(old_root->length, 0.15);
  EXPECT_DOUBLE_EQ(tree->Tip("c")->length, 0.15);
  EXPECT_EQ(old_root->children[0], tree->Tip("a"));
  EXPECT_EQ(old_root->children[1], tree->Tip("b"));
  EXPECT_DOUBLE_EQ(tree->Tip("a")->length, 0.1);
  EXPECT_DOUBLE_EQ(tree->Tip("b")->length, 0.2);
  EXPECT_EQ(root->index, 0);
  EXPECT_EQ(old_root->index, 1);
  EXPECT_EQ(tree->Tip("a")->index, 2);
  EXPECT_EQ(tree->Tip("b")->index, 3);
  EXPECT_EQ(tree->Tip("c")->index, 4);
  EXPECT_EQ(tree->Tip("c")->taxon_index, 2);
}

TEST(SetUpTree, AGroupAsThirdMemberKeepsTheUnrootedTree) {
  const auto tree = Build("(a:1,b:2,(c:3,d:4):5)", {"a", "b", "c", "d"});
  ExpectWellFormed(*tree);
  const NodeStruct* root = tree->root();
  const NodeStruct* joint = root->children[0];  // joins {a,b} and c
  EXPECT_EQ(root->children[1], tree->Tip("d"));
  EXPECT_DOUBLE_EQ(joint->length, 2.0);
  EXPECT_DOUBLE_EQ(tree->Tip("d")->length, 2.0);
  EXPECT_EQ(joint->children[1], tree->Tip("c"));
  EXPECT_DOUBLE_EQ(tree->Tip("c")->length, 3.0);
  const NodeStruct* ab = joint->children[0];
  EXPECT_DOUBLE_EQ(ab->length, 5.0);
  EXPECT_EQ(ab->children[0], tree->Tip("a"));
  EXPECT_EQ(ab->children[1], tree->Tip("b"));
}

TEST(SetUpTree, NestedGroupsInAnyMemberKeepEveryTipDistance) {
  // Distances between tips are those of the unrooted tree as written.
  const auto third = Build("(a:1,b:2,(c:3,(d:4,e:5):6):7)", {"a", "b", "c", "d", "e"});
  ExpectWellFormed(*third);
  EXPECT_DOUBLE_EQ(Distance(*third, "a", "b"), 3.0);
  EXPECT_DOUBLE_EQ(Distance(*third, "a", "c"), 11.0);
  EXPECT_DOUBLE_EQ(Distance(*third, "b", "e"), 20.0);
  EXPECT_DOUBLE_EQ(Distance(*third, "c", "d"), 13.0);
  EXPECT_DOUBLE_EQ(Distance(*third, "d", "e"), 9.0);

  const auto mixed = Build("((a:1,b:2):3,c:4,((d:5,e:6):7,f:8):9)", {"a", "b", "c", "d", "e", "f"});
  ExpectWellFormed(*mixed);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "a", "b"), 3.0);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "a", "c"), 8.0);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "b", "d"), 2 + 3 + 9 + 7 + 5.0);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "c", "f"), 4 + 9 + 8.0);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "d", "f"), 5 + 7 + 8.0);
  EXPECT_DOUBLE_EQ(Distance(*mixed, "e", "d"), 11.0);
}

TEST(SetUpTree, ARootedTreeKeepsItsRoot) {
  const auto tree = Build("((a:1,b:2):3,c:4)", {"c", "b", "a"});
  ExpectWellFormed(*tree);
  EXPECT_EQ(tree->root()->children[1], tree->Tip("c"));
  EXPECT_DOUBLE_EQ(tree->root()->children[0]->length, 3.0);
  EXPECT_EQ(tree->Tip("a")->taxon_index, 2);
  EXPECT_EQ(tree->Tip("c")->taxon_index, 0);
}

TEST(SetUpTree, LabelsMatchNamesExactlyFirstThenRegardlessOfCase) {
  const auto tree = Build("(alpha:1,beta:1,gamma:1)", {"Gamma", "beta", "ALPHA"});
  EXPECT_EQ(tree->Tip("alpha")->taxon_index, 2);
  EXPECT_EQ(tree->Tip("beta")->taxon_index, 1);
  EXPECT_EQ(tree->Tip("gamma")->taxon_index, 0);
  // An exact match wins over a match that ignores case.
  const auto exact = Build("(ab:1,c:1,AB:1)", {"AB", "ab", "c"});
  EXPECT_EQ(exact->Tip("ab")->taxon_index, 1);
  EXPECT_EQ(exact->Tip("AB")->taxon_index, 0);
  // Names equal but for case reach MrBayes as AB and Ab_2, which its
  // lower-cased tree names tell apart.
  const auto renamed = Build("(ab:1,c:1,ab_2:1)", {"AB", "Ab", "c"});
  EXPECT_EQ(renamed->Tip("ab")->taxon_index, 0);
  EXPECT_EQ(renamed->Tip("ab_2")->taxon_index, 1);
  EXPECT_EQ(
      BuildFailure("(A-b:1,c:1,d:1)", {"a-b", "A-B", "c"}),
      "SetUpTree Error: The tree's taxon 'A-b' matches both 'a-b' and 'A-B' of the data file, "
      "which differ only in case.\n");
}

TEST(SetUpTree, RefusesTreesThatDoNotFitTheData) {
  const std::vector<std::string> abc = {"a", "b", "c"};
  EXPECT_EQ(
      BuildFailure("(a:1,b:1,1:1)", abc),
      "SetUpTree Error: The tree's taxon '1' at character 10 of the tree text matches no taxon "
      "of the data file.\n");
  EXPECT_EQ(
      BuildFailure("(a:1,b:1,x:1)", abc),
      "SetUpTree Error: The tree's taxon 'x' at character 10 of the tree text matches no taxon "
      "of the data file.\n");
  EXPECT_EQ(BuildFailure("(a:1,b:1,a:1)", abc),
            "SetUpTree Error: The taxon 'a' appears twice in the tree, again at character 10 of "
            "the tree text.\n");
  EXPECT_EQ(BuildFailure("((a:1,b:1):1,a:1)", {"a", "b", "c"}),
            "SetUpTree Error: The taxon 'a' appears twice in the tree, again at character 14 of "
            "the tree text.\n");
  EXPECT_EQ(BuildFailure("(a:1,b:1)", abc),
            "SetUpTree Error: The taxon 'c' of the data file is missing from the tree.\n");
  EXPECT_EQ(BuildFailure("((a:1,b:1):1,(c:1,d:1):1)", abc),
            "SetUpTree Error: The tree has more tips than the 3 taxa of the data file.\n");
}

TEST(SetUpTree, RefusesMalformedTrees) {
  const std::vector<std::string> taxa = {"a", "b", "c", "d", "e", "f", "g"};
  const struct {
    std::string text;
    std::string message;
  } cases[] = {
      {"(a,b,(c,d))",
       "SetUpTree Error: No branch length for the taxon 'a' before character 3 of the tree "
       "text.\n"},
      {"(a:1,b:1,(c:1,d:1))",
       "SetUpTree Error: No branch length for the group before character 19 of the tree text.\n"},
      {"((a:1,b:1):1,(c:1,d:1):1",
       "SetUpTree Error: The tree text ends inside a group (after character 24): its parentheses "
       "are unbalanced.\n"},
      {"((a:1,b:1):1,(c:1,d:1):1))",
       "SetUpTree Error: Unexpected text after the end of the tree at character 26 of the tree "
       "text.\n"},
      {"((a:1,b:1):1,(c:1,d:1):1):0.5",
       "SetUpTree Error: Unexpected text after the end of the tree at character 26 of the tree "
       "text.\n"},
      {"((a:1,b:1):1,(c:1,d:1):1)r,",
       "SetUpTree Error: Unexpected text after the end of the tree at character 27 of the tree "
       "text.\n"},
      {"((a:1):1,b:1,(c:1,d:1):1)",
       "SetUpTree Error: A group with a single member at character 6 of the tree text.\n"},
      {"(a:1,,b:1,(c:1,d:1):1)",
       "SetUpTree Error: Empty member of a group at character 6 of the tree text.\n"},
      {"(a:1,b:x,(c:1,d:1):1)",
       "SetUpTree Error: The branch length 'x' at character 8 of the tree text is not a "
       "non-negative number.\n"},
      {"(a:1,b:-2,(c:1,d:1):1)",
       "SetUpTree Error: The branch length '-2' at character 8 of the tree text is not a "
       "non-negative number.\n"},
      {"(a:1:2,b:1,(c:1,d:1):1)",
       "SetUpTree Error: A branch length that follows no taxon or group at character 5 of the tree "
       "text.\n"},
      {"a:1,b:1", "SetUpTree Error: The tree text does not begin with '('.\n"},
      {"", "SetUpTree Error: The tree text holds no tree.\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuildFailure(c.text, taxa), c.message) << c.text;
}

TEST(SetUpTree, NamesOfInteriorNodesAreKeptInRootedTreesOnly) {
  const auto rooted = Build("((a:1,b:2)anc_1:3,c:4)anc_0", {"a", "b", "c"});
  EXPECT_EQ(rooted->root()->label + " " + rooted->root()->children[0]->label, "anc_0 anc_1");
  // The names follow the taxon that roots the tree, or the groups around it.
  for (const std::string text :
       {"(e:1,f:1,(c:1,d:1)x:1)", "(a:1,(e:1,f:1)w:1,(b:1,(c:1,d:1)x:1)y:1)z"}) {
    std::vector<std::string> taxa = {"a", "b", "c", "d", "e", "f"};
    if (text.find('a') == std::string::npos) taxa.erase(taxa.begin(), taxa.begin() + 2);
    const auto tree = Build(text, taxa);
    for (const NodeStruct& node : tree->nodes) {
      const std::size_t taxon = static_cast<std::size_t>(node.taxon_index);
      EXPECT_EQ(node.label, node.IsTip() ? taxa[taxon] : "") << text;
    }
  }
}

namespace {

std::set<int> TipsBelow(const NodeStruct* node) {
  if (node->IsTip()) return {node->taxon_index};
  std::set<int> tips = TipsBelow(node->children[0]);
  tips.merge(TipsBelow(node->children[1]));
  return tips;
}

}  // namespace

TEST(RootOnOutgroup, PutsTheRootInTheMiddleOfTheOutgroupsBranchAndKeepsEveryDistance) {
  const std::vector<std::string> taxa = {"a", "b", "c", "d", "e", "f"};
  const std::string text = "((a:1,b:2):3,c:4,((d:5,e:6):7,f:8):9)";
  const auto reference = Build(text, taxa);
  const std::vector<std::pair<std::vector<std::string>, std::set<int>>> outgroups = {
      {{"A", "b"}, {0, 1}},
      {{"d", "e"}, {3, 4}},
      {{"f"}, {5}},
      {{"c", "a", "b"}, {0, 1, 2}},
      {{"a", "b", "c", "d", "e"}, {0, 1, 2, 3, 4}}};
  for (const auto& [outgroup, expected] : outgroups) {
    auto tree = Build(text, taxa);
    const std::vector<TaxonName> names = TaxonNames(taxa);
    RootOnOutgroup(tree->up_pass, tree->down_pass, FindOutgroupTaxa(outgroup, names), names);
    ExpectWellFormed(*tree);
    EXPECT_EQ(TipsBelow(tree->root()->children[1]), expected);
    EXPECT_EQ(tree->root()->children[0]->length, tree->root()->children[1]->length);
    for (const std::string& x : taxa) {
      for (const std::string& y : taxa) {
        EXPECT_DOUBLE_EQ(Distance(*tree, x, y), Distance(*reference, x, y)) << x << " " << y;
      }
    }
  }
  auto tree = Build(text, taxa);
  const std::vector<TaxonName> names = TaxonNames(taxa);
  EXPECT_EQ(
      FatalOutput([&] {
        RootOnOutgroup(tree->up_pass, tree->down_pass, FindOutgroupTaxa({"a", "d"}, names), names);
      }),
      "\n\nErr: --outgroup: the taxa a, d do not form a clade of the tree: no branch "
      "separates them from the other taxa.\n");
  EXPECT_EQ(FatalOutput([&] {
              FindOutgroupTaxa({"a", "x"}, names);
            }),
            "\n\nErr: --outgroup: the data file holds no taxon named 'x'.\n");
  EXPECT_NE(FatalOutput([&] { FindOutgroupTaxa(taxa, names); }), "");
}
