// --gaps=tree end to end, read back from the files: the bundled example
// (every node's gaps drawn from its posterior, hidden rows from the gap
// model, the same files on 1 and 3 threads) and the vault RNA family of
// Debian's infernal test data, on the consensus tree and mean parameters of
// a 500,000-generation MrBayes run kept in tests/data/vault (pairnex
// --mrbayes=3.2 --ngen=500000 --samplefreq=100, mb with seed=1 swapseed=1).
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>

#include "inference/gap_characters.h"
#include "inference/gap_posteriors.h"
#include "inference_test_support.h"
#include "io/tree_file.h"
#include "sequence/state_coding.h"
#include "test_support.h"
#include "tree_test_support.h"

namespace {

const std::string kExamples = std::string(EXAMPLES_DIR) + "/plant_srp10";

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::istringstream cells(line);
  for (std::string field; std::getline(cells, field, '\t');) fields.push_back(field);
  return fields;
}

// One --gaps=tree run with the per-site tables.
struct TreeGapRun {
  TreeGapRun(const std::string& data, const std::string& mrbayes, int n_samples, int threads = 1)
      : alignment(ReadAlignment(data)), SS(SiteRecordsOf(alignment, 0)) {
    const ProgramResult run =
        RunProgram(RIBOTRACE_BINARY,
                   {"--gaps=tree", "--state", "--seed=5", "--threads=" + std::to_string(threads),
                    data, mrbayes + ".con.tre", mrbayes + ".pstat", out, "1", "1.0",
                    std::to_string(n_samples), "0", "0"});
    EXPECT_EQ(run.status, 0) << run.output;
    tree = BuildTree(ReadTreeFile(mrbayes + ".con.tre"), alignment.Names);
    std::istringstream blocks(ReadFile(out));
    for (std::string name, row; std::getline(blocks, name) && std::getline(blocks, row);) {
      if (name.starts_with(">anc_") || name.starts_with(">psr_")) {
        rows[name.substr(0, name.rfind('_'))].push_back(row);
      }
    }
    std::istringstream state(ReadFile(out + ".state"));
    std::string line;
    std::getline(state, line);  // the header; p_gap is the eighth column
    while (std::getline(state, line)) {
      const std::vector<std::string> f = Fields(line);
      p_gap[{std::stoi(f[0].substr(4)), std::stoi(f[1]) - 1}] = std::stod(f[7]);
    }
  }

  // Every sample and hidden row gaps both columns of a stem pair or neither.
  void ExpectStemsGappedAsPairs() const {
    for (const auto& [node, sequences] : rows) {
      for (const std::string& sequence : sequences) {
        for (int c = 0; c < alignment.n_sites; ++c) {
          const int partner = SS[c].partner >= 0 ? SS[c].partner : c;
          ASSERT_EQ(sequence[c] == '-', sequence[partner] == '-') << node;
        }
      }
    }
  }

  // The mean of p_gap and of the column's gap fraction (the probability of
  // a gap under --gaps=column), and the share of p_gap >= 0.05, where every
  // descendant taxon has the column (both columns of a stem pair).
  std::array<double, 3> WherePresentBelow() const {
    std::array<double, 3> sums{};
    int n = 0;
    for (const NodeStruct* node : tree->up_pass) {
      for (int c = 0; !node->IsTip() && node->anc != nullptr && c < alignment.n_sites; ++c) {
        if (!PresentBelow(*node, c)) continue;
        const double p = p_gap.at({node->index, c});
        sums = {sums[0] + p, sums[1] + SS[c].freq_gaps, sums[2] + (p >= 0.05 ? 1.0 : 0.0)};
        ++n;
      }
    }
    EXPECT_GT(n, 1000);
    return {sums[0] / n, sums[1] / n, sums[2] / n};
  }

  bool PresentBelow(const NodeStruct& node, int c) const {
    if (!node.IsTip())
      return PresentBelow(*node.children[0], c) && PresentBelow(*node.children[1], c);
    const int partner = SS[c].partner >= 0 ? SS[c].partner : c;
    return alignment.Code(node.taxon_index, c) != kGapCode &&
           alignment.Code(node.taxon_index, partner) != kGapCode;
  }

  ScratchDir dir;
  std::string out = dir.Path("out.fa");
  Alignment alignment;
  std::vector<SiteRecord> SS;
  std::unique_ptr<BuiltTree> tree;
  std::map<std::string, std::vector<std::string>> rows;  // by ">anc_<n>" or ">psr_<n>"
  std::map<std::pair<int, int>, double> p_gap;           // by node index and 0-based column
};

}  // namespace

TEST(GapsOnTree, ExampleDrawsEveryNodesGapsFromItsPosteriorAndTheGapModel) {
  const int n = 200;
  const TreeGapRun run(kExamples + ".txt", kExamples + ".nex", n);
  run.ExpectStemsGappedAsPairs();
  const TreeGapRun threaded(kExamples + ".txt", kExamples + ".nex", n, 3);
  for (const char* suffix : {"", ".par", ".tree", ".map.fa", ".state", ".pairs"}) {
    EXPECT_EQ(ReadFile(run.out + suffix), ReadFile(threaded.out + suffix)) << suffix;
  }
  std::map<std::string, double> summary;
  std::istringstream par(ReadFile(run.out + ".par"));
  for (std::string line; std::getline(par, line);) {
    summary[Fields(line)[0]] = std::stod(Fields(line)[1]);
  }
  ASSERT_GT(summary["gap_rate"], 0.0);
  const double decay = std::exp(-summary["gap_rate"] * summary["h_mean"] * summary["lambda"]);

  // The most probable sequences have a gap exactly where p_gap > 0.5.
  std::istringstream map(ReadFile(run.out + ".map.fa"));
  for (std::string header, sequence; std::getline(map, header) && std::getline(map, sequence);) {
    for (int c = 0; c < run.alignment.n_sites; ++c) {
      ASSERT_EQ(sequence[c] == '-', run.p_gap.at({std::stoi(header.substr(5)), c}) > 0.5) << header;
    }
  }

  // Each node's sampled gaps follow its p_gap, its hidden gaps that p_gap
  // carried along the hidden branch: within five standard deviations.
  const GapCharacters characters = MakeGapCharacters(run.alignment, run.SS);
  for (const auto& [key, p] : run.p_gap) {
    const auto [node, c] = key;
    const std::array<double, 4> hidden =
        GapTransitionMatrix(characters.absence_frequency[characters.of_column[c]], decay);
    const double expected[2] = {p, (1.0 - p) * hidden[1] + p * hidden[3]};
    for (const int k : {0, 1}) {
      int gaps = 0;
      for (const std::string& row : run.rows.at((k ? ">psr_" : ">anc_") + std::to_string(node))) {
        gaps += row[c] == '-' ? 1 : 0;
      }
      const double sd = std::sqrt(expected[k] * (1.0 - expected[k]) / n);
      EXPECT_NEAR(gaps / double(n), expected[k], 5.0 * sd + 2e-6) << node << " " << c << " " << k;
    }
  }
  // Where every descendant has the column, the node seldom lacks it (the
  // bundled tree comes from a very short chain; see the vault test).
  const std::array<double, 3> present_below = run.WherePresentBelow();
  EXPECT_LT(present_below[0], 0.5 * present_below[1]);
}

TEST(GapsOnTree, RealFamilyKeepsStemsWholeAndAncestorsOfUngappedTaxaUngapped) {
  const std::string family = "/usr/share/doc/infernal/examples/testsuite/Vault.sto";
  ASSERT_FALSE(ReadFile(family).empty()) << "Debian's infernal test data is missing; "
                                            "scripts/install-deps.sh installs the infernal package";
  const TreeGapRun run(family, std::string(TEST_DATA_DIR) + "/vault/vault.nex", 20);
  run.ExpectStemsGappedAsPairs();
  // The gap model is reversible with one rate for all columns, so a node on
  // long branches beside taxa that lack a column may lack it too; on this
  // tree p_gap < 0.05 at 98.4% of these cells, a fifteenth of the column
  // rule's probability on average.
  const std::array<double, 3> present_below = run.WherePresentBelow();
  EXPECT_LT(present_below[2], 0.02);
  EXPECT_LT(present_below[0], 0.1 * present_below[1]);
}
