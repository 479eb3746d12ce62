// Whole ribotrace runs on the bundled example: a real Rfam alignment and the
// tree and parameters MrBayes 3.2.7 estimated from it.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "test_support.h"

namespace {

const std::string kExamples = EXAMPLES_DIR;
constexpr int kTaxa = 10;
constexpr int kSites = 367;

struct RunOutcome {
  ProgramResult result;
  std::string sequences;
  std::string summary;
};

class WholeRun : public testing::Test {
 protected:
  RunOutcome Start(const std::vector<std::string>& values, const std::string& seed = "--seed=11",
                   const std::vector<std::string>& options = {},
                   const std::string& tree = kExamples + "/plant_srp10.nex.con.tre") {
    const std::string out = dir_.Path("out.fa");
    std::vector<std::string> args = options;
    for (const std::string& value :
         {seed, kExamples + "/plant_srp10.txt", tree, kExamples + "/plant_srp10.nex.pstat", out}) {
      args.push_back(value);
    }
    args.insert(args.end(), values.begin(), values.end());
    RunOutcome run;
    run.result = RunProgram(RIBOTRACE_BINARY, args);
    run.sequences = ReadFile(out);
    run.summary = ReadFile(out + ".par");
    return run;
  }
  ScratchDir dir_;
};

// The records of a FASTA-style file: header (without '>') and sequence.
std::vector<std::pair<std::string, std::string>> Records(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> records;
  std::istringstream lines(text);
  std::string header;
  std::string sequence;
  while (std::getline(lines, header) && std::getline(lines, sequence)) {
    records.emplace_back(header.substr(1), sequence);
  }
  return records;
}

// Headers "<kind>_<node>_<sample>" with a sample number in 1..samples.
int CountBlocks(const std::string& text, const std::string& kind, int samples) {
  int count = 0;
  for (const auto& [header, sequence] : Records(text)) {
    if (header.rfind(kind + "_", 0) != 0) continue;
    const int sample = std::stoi(header.substr(header.rfind('_') + 1));
    if (sample >= 1 && sample <= samples) ++count;
  }
  return count;
}

// Sampled and hidden rows: full length, nucleotides and re-introduced gaps only.
bool RowsAreWellFormed(const std::string& text) {
  for (const auto& [header, sequence] : Records(text)) {
    if (header.rfind("anc_", 0) != 0 && header.rfind("psr_", 0) != 0) continue;
    if (sequence.size() != static_cast<std::size_t>(kSites) ||
        sequence.find_first_not_of("ACGU-") != std::string::npos) {
      return false;
    }
  }
  return true;
}

bool IsHarmonicSummary(const std::string& summary) {
  std::istringstream lines(summary);
  std::string key;
  double mean = 0.0;
  if (!(lines >> key >> mean) || key != "h_mean" || mean <= 0.0) return false;
  return summary.substr(summary.find('\n') + 1) == "lambda\t0.500000\nsize\t3\n";
}

}  // namespace

TEST_F(WholeRun, WritesEveryBlockForEverySwitchSetting) {
  for (const std::string harmonic : {"0", "1"}) {
    for (const std::string condition : {"0", "1"}) {
      const RunOutcome run = Start({harmonic, "0.5", "3", "1", condition});
      ASSERT_EQ(run.result.status, 0) << run.result.output;
      EXPECT_EQ(run.result.output, "");
      EXPECT_EQ(run.sequences.rfind(">SS_cons\n(((-((((", 0), 0u);
      EXPECT_EQ(CountBlocks(run.sequences, "anc", 3), (kTaxa - 2) * 3);
      EXPECT_EQ(CountBlocks(run.sequences, "psr", 3), (kTaxa - 2) * 3);
      EXPECT_EQ(Records(run.sequences)[0].first, "SS_cons");
      EXPECT_EQ(Records(run.sequences)[1].first, "ABCN01005680_1_1602_1315");  // include_data 1
      EXPECT_TRUE(RowsAreWellFormed(run.sequences));
      if (harmonic == "1") {
        EXPECT_TRUE(IsHarmonicSummary(run.summary)) << run.summary;
      } else {
        EXPECT_EQ(run.summary, "prd_brlen\t1.000000\nsize\t3\n");
      }
    }
  }
}

TEST_F(WholeRun, HeadersCarryPreOrderIndicesOfInteriorNodes) {
  const RunOutcome run = Start({"1", "1.0", "2", "0", "0"});
  ASSERT_EQ(run.result.status, 0);
  EXPECT_EQ(run.sequences.find(">ABCN"), std::string::npos);  // include_data 0
  std::set<int> indices;
  for (const auto& [header, sequence] : Records(run.sequences)) {
    if (header.rfind("anc_", 0) == 0) indices.insert(std::stoi(header.substr(4)));
  }
  // 19 nodes numbered 0..18 in pre-order: the root (0) and the ten tips
  // never head a block, so eight distinct interior indices remain.
  EXPECT_EQ(indices.size(), static_cast<std::size_t>(kTaxa - 2));
  EXPECT_EQ(indices.count(0), 0u);
  for (const int index : indices) EXPECT_LT(index, 2 * kTaxa - 1);
}

// The three-neighbour posteriors of --classic reproduce, byte for byte, the
// results that earlier versions wrote by default for the same seed.
TEST_F(WholeRun, ClassicModeReproducesTheStoredResultsOfEarlierVersions) {
  const std::string stored = std::string(TEST_DATA_DIR) + "/classic/";
  const RunOutcome conditioned =
      Start({"1", "1.0", "2", "1", "1"}, "--seed=2024", {"--classic", "--loglik"});
  ASSERT_EQ(conditioned.result.status, 0);
  EXPECT_EQ(conditioned.result.output, ReadFile(stored + "conditioned.stdout"));
  EXPECT_TRUE(conditioned.sequences == ReadFile(stored + "conditioned.fa"));
  EXPECT_EQ(conditioned.summary, ReadFile(stored + "conditioned.fa.par"));

  const RunOutcome plain = Start({"0", "0.5", "2", "0", "0"}, "--seed=7", {"--classic"},
                                 kExamples + "/plant_srp10.nex.t");
  ASSERT_EQ(plain.result.status, 0);
  EXPECT_TRUE(plain.sequences == ReadFile(stored + "unconditioned.fa"));
  EXPECT_EQ(plain.summary, ReadFile(stored + "unconditioned.fa.par"));

  // The default, exact posteriors draw other sequences from the same seed.
  const RunOutcome exact = Start({"1", "1.0", "2", "1", "1"}, "--seed=2024", {"--loglik"});
  ASSERT_EQ(exact.result.status, 0);
  EXPECT_NE(exact.result.output, conditioned.result.output);
  EXPECT_FALSE(exact.sequences == conditioned.sequences);
}

TEST_F(WholeRun, SeedMakesRunsRepeatable) {
  const RunOutcome first = Start({"1", "1.0", "4", "1", "1"}, "--seed=12345");
  const RunOutcome again = Start({"1", "1.0", "4", "1", "1"}, "--seed=12345");
  const RunOutcome other = Start({"1", "1.0", "4", "1", "1"}, "--seed=54321");
  ASSERT_EQ(first.result.status, 0);
  EXPECT_EQ(first.sequences, again.sequences);
  EXPECT_EQ(first.summary, again.summary);
  EXPECT_NE(first.sequences, other.sequences);
}

TEST_F(WholeRun, DiagnosticsShowEveryStageAndStillWriteResults) {
  const RunOutcome run = Start({"1", "1.0", "2", "1", "1", "1"});
  ASSERT_EQ(run.result.status, 0);
  for (const char* heading :
       {"Data file contents (filename = ",
        "Number doublet sites = 123\nNumber of singleton sites = 121\n", "\nLoop Q-matrix:\n",
        "\nStem Q-matrix:\n", "\nSingleton transition probabilities:\n",
        "\nDoublet transition probabilities:\n", "\nFractional likelihoods --\n",
        "\nPosterior probabilities --\n", "\nAncestral sequences:\n"}) {
    EXPECT_NE(run.result.output.find(heading), std::string::npos) << heading;
  }
  EXPECT_EQ(CountBlocks(run.sequences, "psr", 2), (kTaxa - 2) * 2);
}
