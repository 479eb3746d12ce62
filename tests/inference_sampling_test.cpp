#include <gtest/gtest.h>

#include <cmath>

#include "inference/ancestral_sampling.h"
#include "inference/fractional_likelihoods.h"
#include "sequential_reference.h"
#include "inference/hidden_simulation.h"
#include "inference_test_support.h"
#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "base/random_source.h"
#include "sequence/state_coding.h"
#include "test_support.h"

namespace {

const char* const kThreeTaxa = "((t0:0.3,t1:0.4):0.2,t2:0.5)";
const char* const kFiveTaxa = "(((t0:0.1,t1:0.2):0.3,t2:0.25):0.1,(t3:0.2,t4:0.05):0.3)";

// A tree with its data, site records and posteriors, ready to sample.
struct Prepared {
  HandTree tree;
  Alignment alignment;
  std::vector<SiteRecord> SS;
  std::vector<int> anc_seqs;
  std::vector<double> log_P;
  int n_samples = 0;

  std::size_t Rows() const { return log_P.size(); }
  int At(std::size_t row, int column) const {
    return anc_seqs[row * alignment.n_sites + static_cast<std::size_t>(column)];
  }
  NodeStruct& OnlyNode() { return tree.nodes[1]; }  // the one sampled node of a 3-taxon tree
};

Prepared Prepare(const std::string& newick, const std::vector<int>& structure,
                 const std::vector<std::string>& rows, int condition_on_pairs, int n_samples) {
  Prepared p{BuildTree(newick), MakeAlignment(structure, rows), {}, {}, {}, n_samples};
  p.SS = SiteRecordsOf(p.alignment, condition_on_pairs);
  GiveVectors(p.tree, structure, false);
  GetFractionalLikelihoods(p.tree.down_pass, p.tree.matrices, p.SS, p.alignment);
  GetAncestralStatesFromPosterior(p.tree.up_pass, p.tree.matrices, p.SS, p.alignment,
                                  UniformParameters());
  const std::size_t n_rows = 2 * static_cast<std::size_t>(rows.size() - 2) * n_samples;
  p.anc_seqs.assign(n_rows * structure.size(), -1);
  p.log_P.assign(n_rows, 0.0);
  return p;
}

void Sample(Prepared& p, std::int32_t* seed, int condition_on_pairs) {
  SampleAncestralSequences(p.tree.down_pass, p.SS, p.alignment.structure, p.log_P, seed, p.anc_seqs,
                           p.n_samples, condition_on_pairs);
}

void Simulate(Prepared& p, std::int32_t* seed, const HiddenBranchMatrices& hidden,
              int condition_on_pairs) {
  SimulateHiddenAncestralSequences(p.tree.down_pass, p.SS, p.alignment.structure, seed, p.anc_seqs,
                                   p.n_samples, hidden, condition_on_pairs);
}

// Each count within five standard deviations of its expectation.
void ExpectFrequencies(const std::vector<int>& counts, const std::vector<double>& probs, int total,
                       const std::string& what) {
  for (std::size_t i = 0; i < probs.size(); ++i) {
    const double expected = total * probs[i];
    const double sd = std::sqrt(total * probs[i] * (1.0 - probs[i]));
    EXPECT_NEAR(counts[i], expected, 5.0 * sd + 1.0) << what << ", state " << i;
  }
}

std::vector<double> Block(const NodeStruct& node, std::size_t entry, int n) {
  return {node.posterior_probs.begin() + static_cast<std::ptrdiff_t>(entry),
          node.posterior_probs.begin() + static_cast<std::ptrdiff_t>(entry) + n};
}

// Doublet counts of pair (opening, closing) and nucleotide counts of a
// column over the rows [first, last).
std::vector<int> DoubletCounts(const Prepared& p, std::size_t first, std::size_t last, int opening,
                               int closing) {
  std::vector<int> counts(16);
  for (std::size_t r = first; r < last; ++r) ++counts[p.At(r, opening) * 4 + p.At(r, closing)];
  return counts;
}
std::vector<int> NucleotideCounts(const Prepared& p, std::size_t first, std::size_t last, int c) {
  std::vector<int> counts(4);
  for (std::size_t r = first; r < last; ++r) ++counts[p.At(r, c)];
  return counts;
}

HiddenBranchMatrices IdentityHidden() {
  HiddenBranchMatrices hidden;
  for (int x = 0; x < 4; ++x) hidden.singlet[x * 5] = 1.0;
  for (int x = 0; x < 16; ++x) hidden.doublet[x * 17] = 1.0;
  return hidden;
}

HiddenBranchMatrices JukesCantorHidden(double t) {
  return HiddenBranchMatrices{JukesCantor4(t), JukesCantor16(t)};
}

}  // namespace

TEST(Sampling, DrawnStatesFollowThePosteriorsAndCarryTheirLogProbability) {
  constexpr int kSamples = 20000;
  Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAC"}, 0, kSamples);
  std::int32_t seed = 12345;
  Sample(p, &seed, 0);
  const NodeStruct& node = p.OnlyNode();
  ExpectFrequencies(DoubletCounts(p, 0, kSamples, 0, 3), Block(node, 0, 16), kSamples, "pair");
  // Blocks: the pair's 16 doublets, then columns 1 and 2.
  ExpectFrequencies(NucleotideCounts(p, 0, kSamples, 1), Block(node, 16, 4), kSamples, "col 1");
  ExpectFrequencies(NucleotideCounts(p, 0, kSamples, 2), Block(node, 20, 4), kSamples, "col 2");
  for (std::size_t r = 0; r < 5; ++r) {
    const double expected = std::log(node.posterior_probs[p.At(r, 0) * 4 + p.At(r, 3)]) +
                            std::log(node.posterior_probs[16 + p.At(r, 1)]) +
                            std::log(node.posterior_probs[20 + p.At(r, 2)]);
    EXPECT_NEAR(p.log_P[r], expected, 1e-12);
  }
}

TEST(Sampling, ConditioningOnPairsReweightsEachNodeOnce) {
  constexpr int kSamples = 20000;
  // Two of three taxa pair canonically at columns 0 and 3: f = 2/3.
  Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAA"}, 1, kSamples);
  ASSERT_NEAR(p.SS[0].freq_canonical, 2.0 / 3.0, 1e-15);
  std::vector<double> expected = Block(p.OnlyNode(), 0, 16);
  double sum = 0.0;
  for (int x = 0; x < 16; ++x)
    sum += expected[x] *= IsDoubletChangeCanonicalChange(x) ? 2.0 / 3.0 : 1.0 / 3.0;
  for (double& e : expected) e /= sum;

  std::int32_t seed = 777;
  Sample(p, &seed, 1);
  const std::vector<double> adjusted = Block(p.OnlyNode(), 0, 16);
  for (int x = 0; x < 16; ++x) EXPECT_NEAR(adjusted[x], expected[x], 1e-15) << "doublet " << x;
  ExpectFrequencies(DoubletCounts(p, 0, kSamples, 0, 3), expected, kSamples, "conditioned pair");
}

TEST(Sampling, FullCanonicalFrequencyAllowsOnlyCanonicalPairsSampledOrHidden) {
  constexpr int kSamples = 2000;
  for (const int condition : {1, 0}) {
    Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAC"}, 1, kSamples);
    ASSERT_EQ(p.SS[0].freq_canonical, 1.0);
    std::int32_t seed = 99;
    Sample(p, &seed, condition);
    Simulate(p, &seed, JukesCantorHidden(1.0), condition);
    int non_canonical = 0;
    for (std::size_t r = 0; r < p.Rows(); ++r)
      non_canonical += !IsCanonicalDoublet(p.At(r, 0), p.At(r, 3));
    if (condition == 1) {
      EXPECT_EQ(non_canonical, 0);
    } else {
      EXPECT_GT(non_canonical, 0) << "unconditioned draws do produce other doublets";
    }
  }
}

TEST(Sampling, OnlyConditionOneTouchesThePosteriorsAndNoSamplesDrawNothing) {
  Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAA"}, 1, 3);
  const std::vector<double> before = Block(p.OnlyNode(), 0, 24);
  std::int32_t seed = 5;
  Sample(p, &seed, 2);
  EXPECT_EQ(Block(p.OnlyNode(), 0, 24), before);

  Prepared none = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAA"}, 1, 0);
  seed = 5;
  Sample(none, &seed, 1);
  Simulate(none, &seed, IdentityHidden(), 1);
  EXPECT_EQ(seed, 5);
  EXPECT_EQ(Block(none.OnlyNode(), 0, 24), before) << "no sample, no conditioning";
}

TEST(Sampling, RowsAndDrawsFollowTheFixedOrder) {
  constexpr int kSamples = 10;
  // One pair and three loop columns (4 draws per sampled row); the closing
  // column and column 3 have gaps (2 gap columns).
  Prepared p = Prepare(kFiveTaxa, {1, 0, -1, 0, 0}, {"GAC-A", "GGCUA", "CA-CC", "GUC-A", "AUUGA"},
                       0, kSamples);
  ASSERT_EQ(p.Rows(), 60u);
  const std::int32_t start = 4242;
  std::int32_t seed = start;
  Sample(p, &seed, 0);
  EXPECT_EQ(seed, JumpRandomState(start, 3 * kSamples * 4));
  for (std::size_t r = 0; r < 60; ++r) {
    for (int c = 0; c < 5; ++c) {
      if (r < 30) {
        EXPECT_TRUE(p.At(r, c) >= 0 && p.At(r, c) <= 3) << r << "," << c;
      } else {
        EXPECT_EQ(p.At(r, c), -1) << "hidden rows are not written by sampling";
      }
    }
  }
  Simulate(p, &seed, JukesCantorHidden(0.2), 0);
  EXPECT_EQ(seed, JumpRandomState(start, 3 * 3 * kSamples * 4));
  for (const int code : p.anc_seqs) EXPECT_TRUE(code >= 0 && code <= 3);

  const std::vector<int> before = p.anc_seqs;
  ReintroduceGaps(p.SS, &seed, p.anc_seqs, p.Rows());
  EXPECT_EQ(seed, JumpRandomState(start, 360 + 60 * 2));
  for (std::size_t r = 0; r < 60; ++r) {
    for (const int c : {0, 1, 4}) EXPECT_EQ(p.At(r, c), before[r * 5 + c]);
  }
}

TEST(Hidden, AtLambdaZeroEachHiddenStateIsTheAncestralStateDrawnForIt) {
  constexpr int kSamples = 5;
  Prepared p = Prepare(kFiveTaxa, {1, 0, -1, 0, 0}, {"GACUA", "GGCUA", "CAGCC", "GUCAA", "AUUGA"},
                       0, kSamples);
  std::int32_t seed = 31337;
  Sample(p, &seed, 0);
  std::int32_t replay = seed;
  Simulate(p, &seed, IdentityHidden(), 0);

  std::size_t r = p.Rows() / 2;
  for (const NodeStruct* node : p.tree.down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    for (int k = 0; k < kSamples; ++k, ++r) {
      const int pair = DrawCategorical(&node->posterior_probs[0], 16, DrawUniform(&replay));
      DrawUniform(&replay);
      EXPECT_EQ(p.At(r, 0), pair / 4);
      EXPECT_EQ(p.At(r, 2), pair % 4);
      for (const int c : {1, 3, 4}) {
        const std::size_t block = c == 1 ? 1 : c - 1;  // after the pair's 16 doublets
        EXPECT_EQ(p.At(r, c),
                  DrawCategorical(&node->posterior_probs[12 + block * 4], 4, DrawUniform(&replay)));
        DrawUniform(&replay);
      }
    }
  }
  EXPECT_EQ(replay, seed);
}

TEST(Hidden, HiddenStatesFollowTheRowOfTheDrawnState) {
  constexpr int kSamples = 20000;
  // Not symmetric, so that reading the matrix by columns would show.
  HiddenBranchMatrices hidden;
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) hidden.singlet[x * 4 + y] = y == (x + 1) % 4 ? 0.7 : 0.1;
  }
  for (int x = 0; x < 16; ++x) {
    for (int y = 0; y < 16; ++y) hidden.doublet[x * 16 + y] = y == (x + 5) % 16 ? 0.55 : 0.03;
  }
  Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAC"}, 0, kSamples);
  std::int32_t seed = 2024;
  Sample(p, &seed, 0);
  Simulate(p, &seed, hidden, 0);

  const NodeStruct& node = p.OnlyNode();
  std::vector<double> pair(16, 0.0);
  std::vector<double> loop(4, 0.0);
  for (int x = 0; x < 16; ++x) {
    for (int y = 0; y < 16; ++y) pair[y] += node.posterior_probs[x] * hidden.doublet[x * 16 + y];
  }
  for (int x = 0; x < 4; ++x) {
    for (int y = 0; y < 4; ++y) loop[y] += node.posterior_probs[16 + x] * hidden.singlet[x * 4 + y];
  }
  ExpectFrequencies(DoubletCounts(p, kSamples, 2 * kSamples, 0, 3), pair, kSamples, "hidden pair");
  ExpectFrequencies(NucleotideCounts(p, kSamples, 2 * kSamples, 1), loop, kSamples, "hidden col 1");
}

TEST(Draws, RoundingFallsBackToTheLastPossibleStateAndNothingDrawableIsFatal) {
  const double short_sum[4] = {0.2, 0.3, 0.0, 0.0};
  EXPECT_EQ(DrawCategorical(short_sum, 4, 0.9), 1);
  EXPECT_EQ(DrawCategorical(short_sum, 4, 0.2), 1) << "the running sum must exceed u";
  const double certain[4] = {0.0, 0.0, 0.0, 1.0};
  for (const double u : {1e-9, 0.5, 1.0}) EXPECT_EQ(DrawCategorical(certain, 4, u), 3);
  const double zeros[4] = {0.0, 0.0, 0.0, 0.0};
  EXPECT_EQ(DrawCategorical(zeros, 4, 0.5), -1);
  const double nans[4] = {NAN, NAN, NAN, NAN};
  EXPECT_EQ(DrawCategorical(nans, 4, 0.5), -1);

  Prepared p = Prepare(kThreeTaxa, {1, 0, 0, -1}, {"GACU", "AGCU", "GUAC"}, 0, 2);
  for (int x = 0; x < 4; ++x) p.OnlyNode().posterior_probs[16 + x] = 0.0;
  std::int32_t seed = 1;
  EXPECT_EQ(FatalOutput([&] { Sample(p, &seed, 0); }),
            "\n\nErr: SampleAncestralSequences Error: The posterior probabilities of node 1 at "
            "column 1 are all 0 or not numbers; no state can be drawn.\n");
  HiddenBranchMatrices hidden = IdentityHidden();
  hidden.doublet.fill(0.0);
  p.OnlyNode().posterior_probs[16] = 1.0;
  EXPECT_EQ(FatalOutput([&] { Simulate(p, &seed, hidden, 0); }),
            "\n\nErr: SimulateHiddenAncestralSequences Error: The hidden transition probabilities "
            "of node 1 at column 0 are all 0 or not numbers; no state can be drawn.\n");
}

TEST(Gaps, ComeBackAtEachColumnsGapFraction) {
  constexpr std::size_t kRows = 20000;
  std::vector<SiteRecord> SS(3);
  SS[1].freq_gaps = 0.3;
  SS[2].freq_gaps = 1.0;
  std::vector<int> anc_seqs(kRows * 3, 2);
  const std::int32_t start = 8;
  std::int32_t seed = start;
  ReintroduceGaps(SS, &seed, anc_seqs, kRows);
  EXPECT_EQ(seed, JumpRandomState(start, 2 * kRows)) << "no draws for a gap-free column";
  std::vector<int> gaps(3);
  for (std::size_t r = 0; r < kRows; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int code = anc_seqs[r * 3 + c];
      EXPECT_TRUE(code == 2 || code == kGapCode);
      gaps[c] += code == kGapCode;
    }
  }
  EXPECT_EQ(gaps[0], 0);
  EXPECT_NEAR(gaps[1], 0.3 * kRows, 5.0 * std::sqrt(kRows * 0.3 * 0.7));
  EXPECT_EQ(gaps[2], static_cast<int>(kRows));
}

TEST(Listing, GapsPrintAsDashesAndHiddenRowsShowNoProbability) {
  const std::vector<int> structure = {1, 0, -1};
  const std::vector<int> anc_seqs = {0, kGapCode, 3, 1, 2, kGapCode};
  const std::vector<double> log_P = {std::log(0.5), 0.0};
  EXPECT_EQ(CapturedOutput([&] { ShowAncestralSequences(log_P, structure, anc_seqs, 2); }),
            "\nAncestral sequences:\n(.)\nA-U\t[P = 0.500000000000]\nCG-\t[P = NA]\n\n");
  const std::vector<int> bad = {0, 7, 3, 1, 2, 3};
  std::string printed;
  CapturedOutput(
      [&] { printed = FatalOutput([&] { ShowAncestralSequences(log_P, structure, bad, 2); }); });
  EXPECT_EQ(printed, "\n\nERROR: Problem printing character state.\n");
}
