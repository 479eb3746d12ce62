// --gaps=tree end to end, read back from the files as a user would: the
// bundled example (every node's gaps drawn from its posterior, hidden rows
// from the gap model, the same files on 1 and 3 threads) and the vault RNA
// family from Debian's infernal test data, on the consensus tree and mean
// parameters of a 500,000-generation MrBayes run kept in tests/data/vault
// (pairnex --mrbayes=3.2 --ngen=500000 --samplefreq=100 on Vault.sto, then
// mb with "set seed=1 swapseed=1;").
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <sstream>

#include "inference/gap_characters.h"
#include "inference/gap_posteriors.h"
#include "inference_test_support.h"
#include "io/tree_file.h"
#include "sequence/state_coding.h"
#include "test_support.h"
#include "tree_test_support.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;

struct Inputs {
  std::string data;
  std::string tree;
  std::string parameters;
};

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream cells(line);
  while (std::getline(cells, fields.emplace_back(), '\t')) {
  }
  fields.pop_back();
  return fields;
}

// One --gaps=tree run with the per-site tables, and the tree it ran on.
struct TreeGapRun {
  TreeGapRun(const Inputs& inputs, int n_samples, int threads = 1) {
    const ProgramResult run = RunProgram(
        RIBOTRACE_BINARY, {"--gaps=tree", "--state", "--seed=5", "--threads=" + std::to_string(threads),
                           inputs.data, inputs.tree, inputs.parameters, out, "1", "1.0",
                           std::to_string(n_samples), "0", "0"});
    EXPECT_EQ(run.status, 0) << run.output;
    alignment = ReadAlignment(inputs.data);
    SS = SiteRecordsOf(alignment, 0);
    tree = BuildTree(ReadTreeFile(inputs.tree), alignment.Names);
    std::istringstream blocks(ReadFile(out));
    std::string name;
    std::string row;
    while (std::getline(blocks, name) && std::getline(blocks, row)) {
      const bool hidden = name.starts_with(">psr_");
      if (!hidden && !name.starts_with(">anc_")) continue;
      const int node = std::stoi(name.substr(5, name.rfind('_') - 5));
      (hidden ? hidden_rows : sampled_rows)[node].push_back(row);
    }
    std::istringstream state(ReadFile(out + ".state"));
    std::getline(state, row);
    EXPECT_EQ(row, "Node\tSite\tState\tp_A\tp_C\tp_G\tp_U\tp_gap\tPair");
    while (std::getline(state, row)) {
      const std::vector<std::string> f = Fields(row);
      p_gap[{std::stoi(f[0].substr(4)), std::stoi(f[1]) - 1}] = std::stod(f[7]);
    }
  }

  int Partner(int column) const { return SS[column].partner >= 0 ? SS[column].partner : column; }

  // Every sample and hidden row has both columns of each stem pair gapped
  // or neither.
  void ExpectStemsGappedAsPairs() const {
    for (const auto* rows : {&sampled_rows, &hidden_rows}) {
      for (const auto& [node, sequences] : *rows) {
        for (const std::string& sequence : sequences) {
          for (int c = 0; c < alignment.n_sites; ++c) {
            ASSERT_EQ(sequence[c] == '-', sequence[Partner(c)] == '-') << node << " " << c;
          }
        }
      }
    }
  }

  // Where every descendant taxon has the column (both columns of a stem
  // pair), at every interior node below the root: p_gap, and the column's
  // gap fraction, the probability of a gap under --gaps=column.
  struct Cells {
    std::vector<double> p_gap;
    std::vector<double> column_rule;
  };
  Cells PresentBelow() const {
    Cells found;
    for (const NodeStruct* node : tree->up_pass) {
      if (node->left == nullptr || node->anc == nullptr) continue;
      for (int c = 0; c < alignment.n_sites; ++c) {
        if (!PresentBelow(*node, c)) continue;
        found.p_gap.push_back(p_gap.at({node->index, c}));
        found.column_rule.push_back(SS[c].freq_gaps);
      }
    }
    return found;
  }

  bool PresentBelow(const NodeStruct& node, int c) const {
    if (node.left != nullptr) return PresentBelow(*node.left, c) && PresentBelow(*node.right, c);
    return alignment.Code(node.taxon_index, c) != kGapCode &&
           alignment.Code(node.taxon_index, Partner(c)) != kGapCode;
  }

  ScratchDir dir;
  std::string out = dir.Path("out.fa");
  Alignment alignment;
  std::vector<SiteRecord> SS;
  std::unique_ptr<BuiltTree> tree;
  std::map<int, std::vector<std::string>> sampled_rows;  // by node index
  std::map<int, std::vector<std::string>> hidden_rows;
  std::map<std::pair<int, int>, double> p_gap;  // node index and 0-based column
};

// A share of n draws against its probability: within five standard
// deviations, and exactly 0 or n where the probability is (as printed).
void ExpectDrawnShare(int drawn, int n, double p, const std::string& where) {
  const double sd = std::sqrt(p * (1.0 - p) / n);
  EXPECT_NEAR(static_cast<double>(drawn) / n, p, 5.0 * sd + 2e-6) << where;
}

double Mean(const std::vector<double>& values) {
  double sum = 0.0;
  for (const double value : values) sum += value;
  return sum / static_cast<double>(values.size());
}

double ShareAtLeast(const std::vector<double>& values, double bound) {
  double count = 0.0;
  for (const double value : values) count += value >= bound ? 1.0 : 0.0;
  return count / static_cast<double>(values.size());
}

}  // namespace

TEST(GapsOnTree, ExampleDrawsEveryNodesGapsFromItsPosteriorAndTheGapModel) {
  const Inputs example{kExamples + "/plant_srp10.txt", kExamples + "/plant_srp10.nex.con.tre",
                       kExamples + "/plant_srp10.nex.pstat"};
  const int n = 200;
  const TreeGapRun run(example, n);
  run.ExpectStemsGappedAsPairs();

  // The same files on three threads.
  const TreeGapRun threaded(example, n, 3);
  for (const char* suffix : {"", ".par", ".tree", ".map.fa", ".state", ".pairs"}) {
    EXPECT_EQ(ReadFile(run.out + suffix), ReadFile(threaded.out + suffix)) << suffix;
  }

  // The summary ends with the fitted rate, which the hidden rows use.
  std::map<std::string, double> summary;
  std::istringstream par(ReadFile(run.out + ".par"));
  for (std::string line; std::getline(par, line);) {
    const std::vector<std::string> f = Fields(line);
    summary[f[0]] = std::stod(f[1]);
  }
  ASSERT_TRUE(summary.contains("gap_rate"));
  EXPECT_GT(summary["gap_rate"], 0.0);
  const double hidden_decay = std::exp(-summary["gap_rate"] * summary["h_mean"] * summary["lambda"]);

  // The pair table's p_gap is that of both its columns.
  std::istringstream pairs(ReadFile(run.out + ".pairs"));
  std::string line;
  std::getline(pairs, line);
  EXPECT_TRUE(line.ends_with("\tp_UU\tp_gap")) << line;
  while (std::getline(pairs, line)) {
    const std::vector<std::string> f = Fields(line);
    const int node = std::stoi(f[0].substr(4));
    EXPECT_EQ(std::stod(f[20]), run.p_gap.at({node, std::stoi(f[1]) - 1})) << line;
    EXPECT_EQ(std::stod(f[20]), run.p_gap.at({node, std::stoi(f[2]) - 1})) << line;
  }

  // The most probable sequences have a gap exactly where p_gap > 0.5.
  std::istringstream map(ReadFile(run.out + ".map.fa"));
  std::string header;
  std::string sequence;
  int n_maps = 0;
  while (std::getline(map, header) && std::getline(map, sequence)) {
    const int node = std::stoi(header.substr(5));
    for (int c = 0; c < run.alignment.n_sites; ++c) {
      ASSERT_EQ(sequence[c] == '-', run.p_gap.at({node, c}) > 0.5) << header << " " << c;
    }
    ++n_maps;
  }
  EXPECT_EQ(n_maps, run.alignment.n_taxa - 2);

  // Each node's sampled gaps follow its p_gap; its hidden gaps that p_gap
  // carried along the hidden branch under the column's gap frequency.
  const GapCharacters characters = MakeGapCharacters(run.alignment, run.SS);
  for (const auto& [node, rows] : run.sampled_rows) {
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < characters.size(); ++k) {
      const int c = static_cast<int>(characters.first_column[k]);
      const double p = run.p_gap.at({node, c});
      const std::array<double, 4> hidden =
          GapTransitionMatrix(characters.absence_frequency[k], hidden_decay);
      int sampled = 0;
      int hidden_gaps = 0;
      for (int s = 0; s < n; ++s) {
        sampled += rows[s][c] == '-' ? 1 : 0;
        hidden_gaps += run.hidden_rows.at(node)[s][c] == '-' ? 1 : 0;
      }
      const std::string where = "anc_" + std::to_string(node) + " column " + std::to_string(c);
      ExpectDrawnShare(sampled, n, p, where);
      ExpectDrawnShare(hidden_gaps, n, (1.0 - p) * hidden[1] + p * hidden[3], where + " hidden");
    }
  }

  // Where every descendant has the column the node seldom lacks it. The
  // bundled tree comes from a very short chain, which makes gaps look
  // more changeable than on a converged tree (see the vault test).
  const TreeGapRun::Cells present_below = run.PresentBelow();
  EXPECT_LT(Mean(present_below.p_gap), 0.5 * Mean(present_below.column_rule));
}

TEST(GapsOnTree, RealFamilyKeepsStemsWholeAndAncestorsOfUngappedTaxaUngapped) {
  const std::string family = "/usr/share/doc/infernal/examples/testsuite/Vault.sto";
  ASSERT_FALSE(ReadFile(family).empty()) << "Debian's infernal test data is missing; "
                                            "scripts/install-deps.sh installs the infernal package";
  const std::string stored = std::string(TEST_DATA_DIR) + "/vault/vault.nex";
  const TreeGapRun run({family, stored + ".con.tre", stored + ".pstat"}, 20);
  run.ExpectStemsGappedAsPairs();
  // The gap model is reversible with one rate for every column, so a node
  // on long branches next to taxa that lack the column may still lack it
  // with some probability; on this tree p_gap stays below 0.05 at 98.4% of
  // these cells, and is a fifteenth of the column rule's on average.
  const TreeGapRun::Cells present_below = run.PresentBelow();
  ASSERT_GT(present_below.p_gap.size(), 5000u);
  EXPECT_LT(ShareAtLeast(present_below.p_gap, 0.05), 0.02);
  EXPECT_LT(Mean(present_below.p_gap), 0.1 * Mean(present_below.column_rule));
}
