// Trees far beyond the bundled examples, and malformed tree texts: a deep
// caterpillar must neither exhaust the call stack nor take quadratic time,
// and every refusal of a malformed text must say where the fault is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "io/tree_file.h"
#include "test_support.h"
#include "tree/branch_scaling.h"
#include "tree_test_support.h"

namespace {

// A MrBayes-style tree file on taxa t0 .. t(n-1): a translate table from
// 1 .. n, and the caterpillar (1,2,(3,(4,(...(n-1,n))))) whose depth grows
// with n, the worst case for any recursive walk.
std::string CaterpillarTreeFile(int n_taxa) {
  std::ostringstream file;
  file << "#NEXUS\nbegin trees;\n\ttranslate\n";
  for (int i = 1; i <= n_taxa; ++i) {
    file << "\t\t" << i << " T" << i - 1 << (i == n_taxa ? ";\n" : ",\n");
  }
  file << "\ttree rep.1 = (1:0.1,2:0.2,";
  for (int i = 3; i < n_taxa; ++i) file << '(' << i << ":0.2,";
  file << n_taxa << ":0.1";
  for (int i = 3; i < n_taxa; ++i) file << (i == n_taxa - 1 ? "):0.4" : "):0.3");
  file << ");\nend;\n";
  return file.str();
}

TEST(DeepTree, CaterpillarOfOneHundredThousandTaxaIsReadAndBuilt) {
  constexpr int kTaxa = 100'000;
  ScratchDir dir;
  const std::string tree_text = ReadTreeFile(dir.Write("deep.t", CaterpillarTreeFile(kTaxa)));
  std::vector<std::string> names;
  for (int i = 0; i < kTaxa; ++i) names.push_back('T' + std::to_string(i));
  const std::unique_ptr<BuiltTree> tree = BuildTree(tree_text, TaxonNames(names));

  // Depth of every node from the up-pass (parents first), so that the
  // check itself stays linear.
  std::vector<int> depth(tree->nodes.size(), 0);
  int deepest = 0;
  for (const NodeStruct* node : tree->up_pass) {
    if (node->anc == nullptr) continue;
    depth[node->index] = depth[node->anc->index] + 1;
    deepest = std::max(deepest, depth[node->index]);
  }
  EXPECT_EQ(deepest, kTaxa - 1);
  EXPECT_EQ(tree->down_pass.back(), tree->root());
  EXPECT_EQ(tree->up_pass.front(), tree->root());
  EXPECT_EQ(tree->up_pass.back()->index, 2 * kTaxa - 2);
  EXPECT_EQ(tree->Tip("t99998")->taxon_index, kTaxa - 2);
  // Every branch but the split one is 0.2 or 0.3; the mean stays finite.
  SetScaledBranchLengths(tree->down_pass, 1);
  EXPECT_GT(tree->down_pass.front()->scaled_length, 0.0);
}

std::string BuildFailure(const std::string& text) {
  return FatalOutput([&] { BuildTree(text, TaxonNames({"a", "b", "c", "d"})); });
}

TEST(MalformedTree, EveryRefusalNamesThePosition) {
  // "SetUpTree Error: ... character N ..." on one line.
  auto names_position = [](const std::string& message) {
    const std::size_t at = message.find("character ");
    return message.rfind("SetUpTree Error: ", 0) == 0 && at != std::string::npos &&
           std::isdigit(static_cast<unsigned char>(message[at + 10])) &&
           message.find('\n') == message.size() - 1;
  };
  const struct {
    const char* text;
    const char* fault;
  } cases[] = {
      {"((a:1,b:1):1,(c:1,d:1):1", "a group left open"},
      {"((a:1,b:1):1,(c:1,d:1):1))", "one ')' too many"},
      {"((a:1,b:1):1),(c:1,d:1):1)", "the tree closed early"},
      {"((a:1,b:1):1,(:1,d:1):1)", "an empty label before a length"},
      {"((a:1,b:1):1,(,d:1):1)", "an empty member"},
      {"((a:1,b:1):1,(c:1,a:1):1)", "a duplicate label"},
      {"((a:1,b:1):1,(c:1,A:1):1)", "a duplicate label but for case"},
      {"((a:1,b:-0.5):1,(c:1,d:1):1)", "a negative length"},
      {"((a:1,b:nan):1,(c:1,d:1):1)", "a length that is not a number"},
      {"((a:1,b:inf):1,(c:1,d:1):1)", "an infinite length"},
      {"((a:1,b:1e999):1,(c:1,d:1):1)", "a length beyond the range of double"},
      {"((a:1,b:1):1,(c:1,d:1):-inf)", "a negative infinite length"},
      {"((a:1,b:1):1,(c:1,e:1):1)", "a label of no taxon"},
  };
  for (const auto& c : cases) {
    const std::string message = BuildFailure(c.text);
    EXPECT_TRUE(names_position(message)) << c.fault << ": " << message;
  }
}

}  // namespace
