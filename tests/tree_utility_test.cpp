#include <gtest/gtest.h>

#include <vector>

#include "tree-utility/string_token.h"
#include "tree-utility/tree_walks.h"

namespace {

// The walks only need child links.
struct Node {
  int id;
  std::vector<Node*> children = {};
};

std::vector<int> Ids(const std::vector<Node*>& sequence) {
  std::vector<int> ids;
  for (const Node* node : sequence) ids.push_back(node == nullptr ? -1 : node->id);
  return ids;
}

}  // namespace

TEST(TreeWalks, DownPassPutsChildrenFirstAndUpPassTheRootFirst) {
  // Root 0 joins 1 and 4; 1 joins tips 2 and 3; 4 joins tips 5 and 6.
  std::vector<Node> n{{0}, {1}, {2}, {3}, {4}, {5}, {6}};
  n[0].children = {&n[1], &n[4]};
  n[1].children = {&n[2], &n[3]};
  n[4].children = {&n[5], &n[6]};

  std::vector<Node*> down(7), up(7);
  int counter = 0;
  GetDownPassSequence(&n[0], std::span<Node*>(down), counter);
  EXPECT_EQ(counter, 7);
  EXPECT_EQ(Ids(down), (std::vector<int>{2, 3, 1, 5, 6, 4, 0}));
  counter = 0;
  GetUpPassSequence(&n[0], std::span<Node*>(up), counter);
  EXPECT_EQ(Ids(up), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));

  // A sequence too short for the tree is refused, not overrun.
  std::vector<Node*> short_sequence(3);
  counter = 0;
  EXPECT_THROW(GetDownPassSequence(&n[0], std::span<Node*>(short_sequence), counter),
               std::length_error);
}

TEST(TreeWalks, DeepCaterpillarDoesNotExhaustTheStack) {
  constexpr int kTips = 200000;
  std::vector<Node> n(2 * kTips - 1);
  for (int i = 0; i < 2 * kTips - 1; ++i) n[i].id = i;
  // Interior node i (0 .. kTips-2) has tip kTips-1+i as its first child and
  // the next interior node as its second; the last interior node has two tips.
  for (int i = 0; i < kTips - 1; ++i) {
    n[i].children = {&n[kTips - 1 + i], i + 1 < kTips - 1 ? &n[i + 1] : &n[2 * kTips - 2]};
  }
  std::vector<Node*> down(n.size());
  int counter = 0;
  GetDownPassSequence(&n[0], std::span<Node*>(down), counter);
  EXPECT_EQ(counter, 2 * kTips - 1);
  EXPECT_EQ(down.back(), &n[0]);
}

TEST(StringToken, SplitsOnAnyRunOfSeparatorsAndEndsWithAnEmptyToken) {
  const std::string text = "\t tree gen.1 =  (a,b);\r\nend;";
  std::size_t pos = 0;
  std::vector<std::string> tokens;
  for (std::string token = StringToken(pos, text, "\n\t\r= "); !token.empty();
       token = StringToken(pos, text, "\n\t\r= ")) {
    tokens.push_back(token);
  }
  EXPECT_EQ(tokens, (std::vector<std::string>{"tree", "gen.1", "(a,b);", "end;"}));
  EXPECT_EQ(StringToken(pos, text, " "), "");
  pos = text.size() + 5;  // a caller may step past the end
  EXPECT_EQ(StringToken(pos, text, " "), "");
  pos = 0;
  EXPECT_EQ(StringToken(pos, "", " "), "");
}
