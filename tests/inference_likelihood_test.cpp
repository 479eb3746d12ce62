#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "inference/fractional_likelihoods.h"
#include "inference_test_support.h"
#include "inference/likelihood_blocks.h"
#include "inference/posterior_states.h"
#include "sequence/state_coding.h"
#include "test_support.h"
#include "inference/tip_likelihoods.h"

namespace {

// The likelihood of the block that `column` owns by summing over every
// assignment of states to the interior nodes: freq(root) x the product over
// branches of P[parent][child], tips weighted by their likelihood vectors.
double BruteForceLikelihood(const HandTree& tree, const Alignment& alignment,
                            const std::vector<SiteRecord>& SS, int column, const double* freq) {
  const int n_states = alignment.structure[static_cast<std::size_t>(column)] == 1 ? 16 : 4;
  std::vector<const NodeStruct*> interior;
  for (const NodeStruct& node : tree.nodes) {
    if (!node.IsTip()) interior.push_back(&node);
  }
  std::vector<int> state(tree.nodes.size());
  auto at = [&](const NodeStruct* node) {
    return static_cast<std::size_t>(node - tree.nodes.data());
  };
  double total = 0.0;
  const long combos = std::lround(std::pow(n_states, interior.size()));
  for (long combo = 0; combo < combos; ++combo) {
    long rest = combo;
    for (const NodeStruct* node : interior) {
      state[at(node)] = static_cast<int>(rest % n_states);
      rest /= n_states;
    }
    double term = freq[state[at(tree.root)]];
    for (const NodeStruct& node : tree.nodes) {
      if (node.anc == nullptr) continue;
      const double* p =
          n_states == 16 ? tree.matrices.Doublet(node).data() : tree.matrices.Singlet(node).data();
      const int from = state[at(node.anc)];
      if (!node.IsTip()) {
        term *= p[from * n_states + state[at(&node)]];
      } else {
        const std::vector<double> likelihood = TipBlock(node, alignment, SS, column, false);
        double tip = 0.0;
        for (int y = 0; y < n_states; ++y) tip += p[from * n_states + y] * likelihood[y];
        term *= tip;
      }
    }
    total += term;
  }
  return total;
}

// Plain pruning and the three-neighbour posterior in long double, whose
// range is wide enough for a thousand taxa without any rescaling.
std::vector<std::vector<long double>> ReferencePosteriors(const HandTree& tree,
                                                          const Alignment& alignment,
                                                          const std::vector<SiteRecord>& SS,
                                                          const ModelParams& parameters) {
  const std::vector<int>& structure = alignment.structure;
  const BlockLayout layout(structure);
  const std::size_t n_entries = layout.n_entries();
  std::vector<std::vector<long double>> frac(tree.nodes.size(),
                                             std::vector<long double>(n_entries));
  auto at = [&](const NodeStruct* node) {
    return static_cast<std::size_t>(node - tree.nodes.data());
  };
  auto contribution = [&](const NodeStruct* w, std::size_t entry, int n, int x) {
    const double* p = n == 16 ? tree.matrices.Doublet(*w).data() : tree.matrices.Singlet(*w).data();
    long double sum = 0.0L;
    for (int y = 0; y < n; ++y) sum += p[x * n + y] * frac[at(w)][entry + y];
    return sum;
  };
  auto blocks =
      [&](const std::function<void(int block, std::size_t entry, int n, const double* freq)>& f) {
        for (int b = 0; b < layout.n_blocks(); ++b) {
          if (layout.IsDoublet(b)) f(b, layout.Offset(b), 16, parameters.stem.frequencies.data());
          if (!layout.IsDoublet(b)) f(b, layout.Offset(b), 4, parameters.loop.frequencies.data());
        }
      };
  for (const NodeStruct* node : tree.down_pass) {
    if (node->IsTip()) {
      blocks([&](int block, std::size_t entry, int n, const double*) {
        const std::vector<double> tip = TipBlock(*node, alignment, SS, layout.Column(block), false);
        for (int x = 0; x < n; ++x) frac[at(node)][entry + x] = tip[x];
      });
      continue;
    }
    blocks([&](int, std::size_t entry, int n, const double*) {
      for (int x = 0; x < n; ++x) {
        frac[at(node)][entry + x] = contribution(node->children[0], entry, n, x) *
                                    contribution(node->children[1], entry, n, x);
      }
    });
  }
  std::vector<std::vector<long double>> posterior(tree.nodes.size(),
                                                  std::vector<long double>(n_entries));
  for (const NodeStruct* node : tree.up_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    const NodeStruct* third = node->anc->anc != nullptr        ? node->anc
                              : node->anc->children[0] == node ? node->anc->children[1]
                                                               : node->anc->children[0];
    blocks([&](int, std::size_t entry, int n, const double* freq) {
      long double sum = 0.0L;
      for (int x = 0; x < n; ++x) {
        posterior[at(node)][entry + x] = freq[x] * contribution(node->children[0], entry, n, x) *
                                         contribution(node->children[1], entry, n, x) *
                                         contribution(third, entry, n, x);
        sum += posterior[at(node)][entry + x];
      }
      for (int x = 0; x < n; ++x) posterior[at(node)][entry + x] /= sum;
    });
  }
  return posterior;
}

}  // namespace

TEST(TipLikelihoods, LoopColumnsHonourEveryStateSet) {
  const std::vector<std::pair<int, std::vector<double>>> table = {
      {0, {1, 0, 0, 0}},    {1, {0, 1, 0, 0}},   {2, {0, 0, 1, 0}},    {3, {0, 0, 0, 1}},
      {10, {1, 1, 0, 0}},   {20, {1, 0, 1, 0}},  {21, {0, 1, 1, 0}},   {30, {1, 0, 0, 1}},
      {31, {0, 1, 0, 1}},   {32, {0, 0, 1, 1}},  {210, {1, 1, 1, 0}},  {310, {1, 1, 0, 1}},
      {320, {1, 0, 1, 1}},  {321, {0, 1, 1, 1}}, {3210, {1, 1, 1, 1}}, {3211, {1, 1, 1, 1}},
      {3212, {1, 1, 1, 1}}, {99, {0, 0, 0, 0}},
  };
  for (const auto& [code, expected] : table) {
    std::vector<double> entries(6, 7.0);
    IntializeSingeltonFracLikelihoodsAtTips(entries.data() + 1, code);
    EXPECT_EQ(std::vector<double>(entries.begin() + 1, entries.begin() + 5), expected)
        << "code " << code;
    EXPECT_EQ(entries[0] + entries[5], 14.0) << "nothing else is written";
  }
}

TEST(TipLikelihoods, StemPairsTreatAnyAmbiguityAsUnknown) {
  auto ones = [](int first, int second) {
    std::vector<double> entries(17, 7.0);
    IntializeDoubletFracLikelihoodsAtTips(entries.data(), first, second);
    std::vector<int> set;
    for (int x = 0; x < 16; ++x) {
      if (entries[x] == 1.0)
        set.push_back(x);
      else
        EXPECT_EQ(entries[x], 0.0);
    }
    EXPECT_EQ(entries[16], 7.0);
    return set;
  };
  EXPECT_EQ(ones(0, 2), (std::vector<int>{2}));
  EXPECT_EQ(ones(0, kGapCode), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(ones(kGapCode, 3), (std::vector<int>{3, 7, 11, 15}));
  EXPECT_EQ(ones(20, 1), (std::vector<int>{1, 5, 9, 13})) << "R counts as unknown in a stem";
  EXPECT_EQ(ones(kMissingCode, kGapCode).size(), 16u);
}

TEST(FractionalLikelihoods, PruningEqualsTheSumOverAncestralStates) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.05,(t2:0.3,t3:0.15):0.4)");
  // A pair at columns 0 and 4 around loop columns with an ambiguity and gaps.
  const Alignment alignment = MakeAlignment({1, 0, 0, 0, -1}, {"GAR-C", "GCAAU", "-GUCU", "AAGCU"});
  ModelParams parameters = UniformParameters();
  for (int x = 0; x < 16; ++x) parameters.stem.frequencies[x] = (x + 1) / 136.0;
  const double loop_freq[4] = {0.1, 0.2, 0.3, 0.4};
  for (int x = 0; x < 4; ++x) parameters.loop.frequencies[x] = loop_freq[x];

  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, true);
  const FractionalScaling scaling =
      GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
  ASSERT_EQ(scaling.n_blocks, 4) << "the closing column owns no block";
  ASSERT_EQ(tree.root->frac_likelihoods.size(), 16u + 3 * 4);
  for (int block = 0; block < 4; ++block) {
    const bool doublet = block == 0;
    const int n = doublet ? 16 : 4;
    const std::size_t entry = doublet ? 0 : 16 + 4 * (block - 1);
    const double* freq = doublet ? parameters.stem.frequencies.data() : loop_freq;
    double pruned = 0.0;
    for (int x = 0; x < n; ++x) pruned += freq[x] * tree.root->frac_likelihoods[entry + x];
    EXPECT_NEAR(pruned, BruteForceLikelihood(tree, alignment, SS, block, freq), 1e-15)
        << "block " << block;
    EXPECT_GT(pruned, 0.0);
    EXPECT_EQ(scaling.Count(block), 0);
  }
}

TEST(FractionalLikelihoods, TipWithoutTaxonOrNodeWithOneChildIsFatal) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.05,t2:0.3)");
  const Alignment alignment = MakeAlignment({0}, {"A", "C", "G"});
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, true);
  tree.nodes[2].taxon_index = 3;
  EXPECT_EQ(
      FatalOutput([&] { GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment); }),
      "\n\nErr: GetFractionalLikelihoods Error: The tree's tip 't0' matches no taxon of the "
      "data file.\n");
  tree.nodes[2].taxon_index = 0;
  tree.nodes[1].children.pop_back();
  EXPECT_EQ(
      FatalOutput([&] { GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment); }),
      "\n\nErr: GetFractionalLikelihoods Error: Node 1 has one child; the tree must be "
      "binary.\n");
}

TEST(Posteriors, ThreeTaxaHaveOneNodeAndItsThirdNeighbourIsTheSibling) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.15,t2:0.45)");
  const Alignment alignment = MakeAlignment({0, 1, -1}, {"AGC", "AGU", "GAU"});
  ModelParams parameters = UniformParameters();
  const double loop_freq[4] = {0.1, 0.2, 0.3, 0.4};
  for (int x = 0; x < 4; ++x) parameters.loop.frequencies[x] = loop_freq[x];
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, false);
  GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
  GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment, parameters);

  int qualifying = 0;
  for (const NodeStruct& node : tree.nodes) {
    double total = 0.0;
    for (const double p : node.posterior_probs) total += p;
    if (node.index == 1) {
      EXPECT_NEAR(total, 2.0, 1e-12) << "two blocks, each summing to 1";
      ++qualifying;
    } else {
      EXPECT_EQ(total, 0.0) << "node " << node.index;
    }
  }
  EXPECT_EQ(qualifying, 1);

  // Loop column: freq x P_t0[x][A] x P_t1[x][A] x P_t2[x][G] on each tip's own branch.
  const NodeStruct& node = tree.nodes[1];
  const std::array<double, 16> p0 = JukesCantor4(0.1), p1 = JukesCantor4(0.2),
                               p2 = JukesCantor4(0.45);
  double weights[4];
  double sum = 0.0;
  for (int x = 0; x < 4; ++x)
    sum += weights[x] = loop_freq[x] * p0[x * 4] * p1[x * 4] * p2[x * 4 + 2];
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(node.posterior_probs[x], weights[x] / sum, 1e-14);
}

TEST(Posteriors, DeeperNodesUseTheAncestorThroughItsOwnBranch) {
  HandTree tree = BuildTree("(((t0:0.1,t1:0.2):0.3,t2:0.25):0.1,(t3:0.2,t4:0.05):0.3)");
  const Alignment alignment = MakeAlignment({0}, {"A", "C", "C", "G", "U"});
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, false);
  GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
  GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment, UniformParameters());
  const NodeStruct& node = tree.nodes[2];  // joins t0 and t1
  const NodeStruct& anc = *node.anc;
  ASSERT_NE(anc.anc, nullptr);
  double weights[4];
  double sum = 0.0;
  for (int x = 0; x < 4; ++x) {
    double from_anc = 0.0;
    for (int y = 0; y < 4; ++y)
      from_anc += tree.matrices.Singlet(anc)[x * 4 + y] * anc.frac_likelihoods[y];
    sum += weights[x] = tree.matrices.Singlet(*node.children[0])[x * 4] *
                        tree.matrices.Singlet(*node.children[1])[x * 4 + 1] * from_anc;
  }
  for (int x = 0; x < 4; ++x) EXPECT_NEAR(node.posterior_probs[x], weights[x] / sum, 1e-14);
}

TEST(Posteriors, AThousandTaxaNeitherUnderflowNorDriftFromPlainProducts) {
  std::mt19937 rng(11);
  constexpr int kTaxa = 1000;
  HandTree tree = BuildTree(RandomNewick(kTaxa, rng));
  std::vector<int> structure = {1, 1, 1, 0, 0, 0, 0, 0, -1, -1, -1, 0, 0, 0};
  std::vector<std::string> rows =
      EvolveSequences(tree, kTaxa, static_cast<int>(structure.size()), rng);
  rows[5][4] = '-';
  rows[6][1] = 'N';
  const Alignment alignment = MakeAlignment(structure, rows);
  const ModelParams parameters = UniformParameters();

  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, structure, false);
  const FractionalScaling scaling =
      GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
  GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment, parameters);
  int rescaled_blocks = 0;
  for (const long long count : scaling.counts) rescaled_blocks += count > 0 ? 1 : 0;
  EXPECT_GT(rescaled_blocks, 0) << "the root blocks fall far below 2^-256";

  const auto reference = ReferencePosteriors(tree, alignment, SS, parameters);
  const BlockLayout layout(structure);
  int checked = 0;
  for (std::size_t i = 0; i < tree.nodes.size(); ++i) {
    if (!IsInteriorBelowRoot(tree.nodes[i])) continue;
    for (int block = 0; block < CountBlocks(structure); ++block) {
      const bool doublet = block < 3;
      const std::size_t entry = layout.Offset(block);
      double sum = 0.0;
      for (int x = 0; x < (doublet ? 16 : 4); ++x) {
        const double p = tree.nodes[i].posterior_probs[entry + x];
        ASSERT_TRUE(std::isfinite(p));
        EXPECT_NEAR(p, static_cast<double>(reference[i][entry + x]), 1e-9);
        sum += p;
      }
      EXPECT_NEAR(sum, 1.0, 1e-12);
      ++checked;
    }
  }
  EXPECT_EQ(checked, (kTaxa - 2) * 11);
}

TEST(Posteriors, ABlockThatNoStateExplainsIsStoredAsZeros) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.15,t2:0.45)");
  Alignment alignment = MakeAlignment({0}, {"A", "C", "G"});
  alignment.dmatrix[0] = 99;  // a code that allows no state
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, false);
  GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment);
  GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment, UniformParameters());
  for (int x = 0; x < 4; ++x) EXPECT_EQ(tree.nodes[1].posterior_probs[x], 0.0);
}

TEST(LikelihoodDiagnostics, PrintTheStoredBlocks) {
  HandTree tree = BuildTree("((t0:0.1,t1:0.2):0.15,t2:0.45)");
  const Alignment alignment = MakeAlignment({0}, {"A", "A", "A"});
  const std::vector<SiteRecord> SS = SiteRecordsOf(alignment, 0);
  GiveVectors(tree, alignment.structure, false);
  PassOptions listing;
  listing.listing = true;
  const std::string zeros4 = "0.000000 0.000000 0.000000 0.000000 \n\t\t";
  const std::string tip_a = "\tSite 0\n\t\t" + zeros4 + zeros4 + zeros4 + zeros4 +
                            "1.000000 0.000000 0.000000 0.000000 \n";
  const std::string frac = CapturedOutput(
      [&] { GetFractionalLikelihoods(tree.down_pass, tree.matrices, SS, alignment, listing); });
  EXPECT_EQ(
      frac.rfind("\nFractional likelihoods --\n\nNode 2:\n" + tip_a + "\nNode 3:\n" + tip_a, 0), 0u)
      << frac;
  EXPECT_NE(frac.find("\nNode 0:\n\tSite 0\n"), std::string::npos);

  const std::string post = CapturedOutput([&] {
    GetAncestralStatesFromPosterior(tree.up_pass, tree.matrices, SS, alignment, UniformParameters(),
                                    listing);
  });
  EXPECT_EQ(post.rfind("\nPosterior probabilities --\n\nNode 1:\n\tSite 0 (0)\n\t\t" + zeros4, 0),
            0u)
      << post;
  EXPECT_EQ(post.find("Node 0"), std::string::npos) << "only qualifying nodes are listed";
}
