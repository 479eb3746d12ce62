// The tree and parameter files that MrBayes 3.2.7 wrote for the bundled
// example alignments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

#include "io/data_file.h"
#include "test_support.h"
#include "io/tree_file.h"
#include "tree_test_support.h"

namespace {

std::string Example(const std::string& name) { return std::string(EXAMPLES_DIR) + "/" + name; }

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Checks that every tip is matched to the data row of its name and every
// taxon is a tip exactly once.
void ExpectTreeMatchesData(const Alignment& alignment, const BuiltTree& tree) {
  const std::size_t n_nodes = 2 * static_cast<std::size_t>(alignment.n_taxa) - 1;
  ASSERT_EQ(tree.nodes.size(), n_nodes);
  std::vector<int> tips_per_taxon(static_cast<std::size_t>(alignment.n_taxa), 0);
  for (const NodeStruct* node : tree.up_pass) {
    ASSERT_NE(node, nullptr);
    if (!node->IsTip()) continue;
    ASSERT_GE(node->taxon_index, 0);
    ASSERT_LT(node->taxon_index, alignment.n_taxa);
    EXPECT_EQ(node->label,
              Lower(alignment.Names[static_cast<std::size_t>(node->taxon_index)].name));
    ++tips_per_taxon[static_cast<std::size_t>(node->taxon_index)];
  }
  EXPECT_TRUE(
      std::all_of(tips_per_taxon.begin(), tips_per_taxon.end(), [](int n) { return n == 1; }));
}

}  // namespace

TEST(MrBayesExample, ConsensusTreesOfBothExamplesMatchTheirData) {
  const Alignment plant = ReadAlignment(Example("plant_srp10.txt"));
  const auto consensus = BuildTree(ReadTreeFile(Example("plant_srp10.nex.con.tre")), plant.Names);
  ExpectTreeMatchesData(plant, *consensus);
  // Taxon 1 opens the consensus tree with its median length.
  const NodeStruct* first = consensus->Tip("abcn01005680_1_1602_1315");
  ASSERT_NE(first, nullptr);
  EXPECT_DOUBLE_EQ(first->length, 5.757028e-02);

  const Alignment snr = ReadAlignment(Example("snr75.txt"));
  ExpectTreeMatchesData(snr, *BuildTree(ReadTreeFile(Example("snr75.nex.con.tre")), snr.Names));
}

TEST(MrBayesExample, SampledTreesGiveTheLastSample) {
  const Alignment plant = ReadAlignment(Example("plant_srp10.txt"));
  const auto sampled = BuildTree(ReadTreeFile(Example("plant_srp10.nex.t")), plant.Names);
  ExpectTreeMatchesData(plant, *sampled);

  // The first tip of the file's last tree statement, through the translate table.
  std::istringstream lines(ReadFile(Example("plant_srp10.nex.t")));
  std::string line;
  std::string last_tree;
  std::map<std::string, std::string> translate;
  while (std::getline(lines, line)) {
    if (line.find("tree gen.") != std::string::npos) last_tree = line;
    // Translate entries: a number, blanks, a name and a ',' or ';'.
    std::istringstream fields(line);
    std::string number;
    std::string name;
    if (fields >> number >> name && number.find_first_not_of("0123456789") == std::string::npos &&
        (name.back() == ',' || name.back() == ';')) {
      name.pop_back();
      translate[number] = Lower(name);
    }
  }
  // The first tip: the number after the innermost leading '(' and its length.
  const std::size_t open = last_tree.find_first_not_of('(', last_tree.find('('));
  const std::size_t colon = last_tree.find(':', open);
  const std::size_t end = last_tree.find_first_of(",)", colon);
  const std::string number = last_tree.substr(open, colon - open);
  const NodeStruct* tip = sampled->Tip(translate[number]);
  ASSERT_NE(tip, nullptr) << number;
  EXPECT_DOUBLE_EQ(tip->length, std::stod(last_tree.substr(colon + 1, end - colon - 1)));
}
