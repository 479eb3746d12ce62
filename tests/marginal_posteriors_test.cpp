// The marginal posteriors and the log-likelihood against a brute-force sum
// over every assignment of states to the interior nodes of a small tree,
// under a GTR loop model and a doublet model with unequal frequencies (so a
// wrong root weighting or a transposed matrix shows).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <span>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "inference/fractional_likelihoods.h"
#include "inference/likelihood_blocks.h"
#include "inference/log_likelihood.h"
#include "inference/marginal_posteriors.h"
#include "inference/posterior_states.h"
#include "inference/tip_likelihoods.h"
#include "inference_test_support.h"
#include "model/partition_models.h"
#include "model/transition_probabilities.h"
#include "sequence/state_coding.h"
#include "tree/polytomies.h"

namespace {

// Two stem pairs (columns 0-4 and 1-3) around a loop column, and a second
// loop column; t2 and t4 carry ambiguity codes at stem positions.
const std::vector<int> kStructure = {1, 1, 0, -1, -1, 0};
const std::vector<std::string> kRows = {"GCAGCA", "GCUGUA", "RCGYCG", "ACAGUU", "NUAAYC"};
const char* kNewick = "(((t0:0.1,t1:0.25):0.15,t2:0.3):0.05,(t3:0.2,t4:0.12):0.18)";

struct MarginalRun {
  HandTree tree;
  Alignment alignment;
  std::vector<SiteRecord> SS;
  ModelParams parameters = UnevenParameters();
  FractionalScaling scaling;
  long long outside_rescaled = 0;
};

MarginalRun MakeRun(const std::string& newick, const std::vector<int>& structure,
                    const std::vector<std::string>& rows) {
  MarginalRun run;
  run.tree = BuildTree(newick);
  run.alignment = MakeAlignment(structure, rows);
  run.SS = SiteRecordsOf(run.alignment, 0);
  GiveVectors(run.tree, structure, true);
  return run;
}

// The branch matrices of the run's parameters, doublets at twice the time.
void SetMatrices(MarginalRun& run) {
  const PartitionModels models = MakePartitionModels(run.parameters);
  SetSingeltonTransitionProbabilities(run.tree.up_pass, models.loops, run.tree.matrices);
  SetDoubletTransitionProbabilities(run.tree.up_pass, models.stems, run.tree.matrices, 2.0);
}

void RunMarginal(MarginalRun& run, double threshold, double outside_threshold) {
  SetMatrices(run);
  PassOptions options;
  options.stem_codes_as_sets = true;
  options.rescale_threshold = threshold;
  run.scaling = GetFractionalLikelihoods(run.tree.down_pass, run.tree.matrices, run.SS,
                                         run.alignment, options);
  // The log-likelihood reads the root's vector, which the posteriors leave alone.
  options.rescale_threshold = outside_threshold;
  run.outside_rescaled = GetMarginalPosteriors(run.tree.up_pass, run.tree.matrices, run.SS,
                                               run.alignment, run.parameters, options);
}

// For one block: the posterior of every interior node below the root and
// the likelihood, by summing over all states of all interior nodes.
template <int N>
struct BruteForce {
  std::map<const NodeStruct*, std::vector<double>> posterior;
  double likelihood = 0.0;
};

template <int N>
BruteForce<N> Enumerate(const MarginalRun& run, const double* freq, int block) {
  const HandTree& tree = run.tree;
  const int column = BlockLayout(run.alignment.structure).Column(block);
  std::vector<const NodeStruct*> interior;
  for (const NodeStruct* node : tree.up_pass) {
    if (!node->IsTip()) interior.push_back(node);
  }
  BruteForce<N> result;
  for (const NodeStruct* node : interior) result.posterior[node].assign(N, 0.0);
  std::map<const NodeStruct*, int> state;
  std::function<void(std::size_t)> visit = [&](std::size_t k) {
    if (k < interior.size()) {
      for (int x = 0; x < N; ++x) {
        state[interior[k]] = x;
        visit(k + 1);
      }
      return;
    }
    double weight = freq[state[tree.root]];
    for (const NodeStruct* node : tree.up_pass) {
      if (node->anc == nullptr) continue;
      const double* p = BranchMatrix<N>(tree.matrices, *node);
      const int from = state[node->anc];
      if (!node->IsTip()) {
        weight *= p[from * N + state[node]];
      } else {
        const std::vector<double> likelihood = TipBlock(*node, run.alignment, run.SS, column, true);
        double tip = 0.0;
        for (int y = 0; y < N; ++y)
          tip += p[from * N + y] * likelihood[static_cast<std::size_t>(y)];
        weight *= tip;
      }
    }
    result.likelihood += weight;
    for (const NodeStruct* node : interior) result.posterior[node][state[node]] += weight;
  };
  visit(0);
  for (auto& [node, probs] : result.posterior) {
    for (double& p : probs) p /= result.likelihood;
  }
  return result;
}

template <int N>
void ExpectMatchesBruteForce(const MarginalRun& run, int block, const double* freq,
                             double* log_likelihood) {
  const BruteForce<N> expected = Enumerate<N>(run, freq, block);
  const std::size_t entry = BlockLayout(run.alignment.structure).Offset(block);
  for (const auto& [node, probs] : expected.posterior) {
    if (node->anc == nullptr) continue;
    for (int x = 0; x < N; ++x) {
      EXPECT_NEAR(node->posterior_probs[entry + x], probs[x], 1e-12)
          << "block " << block << " node " << node->index << " state " << x;
    }
  }
  *log_likelihood += std::log(expected.likelihood);
}

}  // namespace

TEST(MarginalPosteriors, MatchBruteForceEnumerationAtLoopColumnsAndStemPairs) {
  MarginalRun run = MakeRun(kNewick, kStructure, kRows);
  RunMarginal(run, kRescaleThreshold, kRescaleThreshold);
  ASSERT_EQ(run.tree.root->frac_likelihoods.size(), 2u * 16 + 2 * 4);
  double stems = 0.0;
  double loops = 0.0;
  const double* doublet_freq = run.parameters.stem.frequencies.data();
  const double* loop_freq = run.parameters.loop.frequencies.data();
  // Blocks in column order: pair 0-4, pair 1-3, loop 2, loop 5.
  ExpectMatchesBruteForce<kNumDoublets>(run, 0, doublet_freq, &stems);
  ExpectMatchesBruteForce<kNumDoublets>(run, 1, doublet_freq, &stems);
  ExpectMatchesBruteForce<kNumNucleotides>(run, 2, loop_freq, &loops);
  ExpectMatchesBruteForce<kNumNucleotides>(run, 3, loop_freq, &loops);

  const PartitionLogLikelihoods lnl =
      GetLogLikelihood(run.tree.down_pass, kStructure, run.parameters, run.scaling);
  EXPECT_NEAR(lnl.stems, stems, 1e-12);
  EXPECT_NEAR(lnl.loops, loops, 1e-12);
  EXPECT_NEAR(lnl.Total(), stems + loops, 1e-12);
}

TEST(MarginalPosteriors, ForcedRescalingLeavesPosteriorsBitIdenticalAndLogLikelihoodUnchanged) {
  MarginalRun plain = MakeRun(kNewick, kStructure, kRows);
  RunMarginal(plain, kRescaleThreshold, kRescaleThreshold);
  EXPECT_EQ(plain.outside_rescaled, 0);
  const double plain_lnl =
      GetLogLikelihood(plain.tree.down_pass, kStructure, plain.parameters, plain.scaling).Total();

  // A threshold of 1 rescales every block that is below 1: in either pass,
  // those not already lifted by a rescaled block below or beside them.
  for (const auto& [fractional, outside] :
       {std::pair{1.0, kRescaleThreshold}, std::pair{kRescaleThreshold, 1.0},
        std::pair{1.0, 1.0}}) {
    MarginalRun forced = MakeRun(kNewick, kStructure, kRows);
    RunMarginal(forced, fractional, outside);
    if (outside == 1.0 && fractional != 1.0) {
      EXPECT_GE(forced.outside_rescaled, 2 * 4);
    }
    for (int block = 0; block < 4; ++block) {
      // Every node over two tips (two of them here) starts below 1.
      EXPECT_EQ(plain.scaling.Count(block), 0);
      if (fractional == 1.0) {
        EXPECT_GE(forced.scaling.Count(block), 2) << block;
      }
    }
    for (std::size_t i = 0; i < plain.tree.nodes.size(); ++i) {
      const std::span<const double> a = plain.tree.nodes[i].posterior_probs;
      const std::span<const double> b = forced.tree.nodes[i].posterior_probs;
      ASSERT_EQ(a.size(), b.size());
      if (a.empty()) continue;  // tips keep no vectors
      EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0) << "node " << i;
    }
    const double forced_lnl =
        GetLogLikelihood(forced.tree.down_pass, kStructure, forced.parameters, forced.scaling)
            .Total();
    EXPECT_NEAR(forced_lnl, plain_lnl, 1e-9);
  }
}

TEST(MarginalPosteriors, DeepUnderflowIsRescaledAndPosteriorsStayNormalised) {
  // A caterpillar of 400 taxa on long branches: without rescaling the
  // fractional likelihoods and the outside vectors fall to zero.
  std::string newick = "t0:2.0";
  for (int t = 1; t < 400; ++t) newick = "(" + newick + ",t" + std::to_string(t) + ":2.0):0.5";
  newick = newick.substr(0, newick.rfind(':'));
  std::vector<std::string> rows;
  for (int t = 0; t < 400; ++t) rows.push_back(std::string(1, "ACGU"[t % 4]) + "GC");
  MarginalRun run = MakeRun(newick, {0, 1, -1}, rows);
  RunMarginal(run, kRescaleThreshold, kRescaleThreshold);
  EXPECT_GT(run.outside_rescaled, 0);
  for (const NodeStruct& node : run.tree.nodes) {
    if (!IsInteriorBelowRoot(node)) continue;
    double loop_sum = 0.0;
    double stem_sum = 0.0;
    for (int x = 0; x < 4; ++x) loop_sum += node.posterior_probs[x];
    for (int x = 0; x < 16; ++x) stem_sum += node.posterior_probs[4 + x];
    ASSERT_NEAR(loop_sum, 1.0, 1e-12) << node.index;
    ASSERT_NEAR(stem_sum, 1.0, 1e-12) << node.index;
  }
  const PartitionLogLikelihoods lnl =
      GetLogLikelihood(run.tree.down_pass, {0, 1, -1}, run.parameters, run.scaling);
  EXPECT_TRUE(std::isfinite(lnl.Total()));
  EXPECT_LT(lnl.loops, -400 * std::log(4.0) * 0.5);
}

TEST(MarginalTipLikelihoods, StemAmbiguityCodesAreStateSets) {
  auto allowed = [&](char first, char second) {
    std::array<double, 16> entries;
    IntializeDoubletStateSetsAtTips(entries.data(), NucCharToInt(first), NucCharToInt(second));
    std::vector<int> doublets;
    for (int x = 0; x < 16; ++x) {
      if (entries[static_cast<std::size_t>(x)] == 1.0) doublets.push_back(x);
    }
    return doublets;
  };
  EXPECT_EQ(allowed('R', 'Y'), (std::vector<int>{1, 3, 9, 11}));  // AC AU GC GU
  EXPECT_EQ(allowed('G', 'C'), (std::vector<int>{9}));
  EXPECT_EQ(allowed('-', 'U'), (std::vector<int>{3, 7, 11, 15}));
  EXPECT_EQ(allowed('N', '?').size(), 16u);
  EXPECT_EQ(allowed('B', 'A'), (std::vector<int>{4, 8, 12}));  // B: C G U
}

// However many threads share the blocks, each block is computed with the
// same arithmetic: on a tree deep enough to rescale, the exact and the
// three-neighbour posteriors and every rescaling count are bit-identical.
TEST(PassThreads, EveryThreadCountGivesTheSameBits) {
  std::mt19937 rng(5);
  const std::string newick = RandomNewick(400, rng);
  std::vector<int> structure(24, 0);
  for (std::size_t p = 0; p < 5; ++p) {
    structure[p] = 1;
    structure[23 - p] = -1;
  }
  std::vector<std::string> rows = EvolveSequences(BuildTree(newick), 400, 24, rng);
  rows[3][2] = 'R';
  rows[7][20] = '-';
  for (const bool exact : {true, false}) {
    std::string first;
    for (const int threads : {1, 2, 3, 7}) {
      MarginalRun run = MakeRun(newick, structure, rows);
      GiveVectors(run.tree, structure, exact);
      SetMatrices(run);
      PassOptions options;
      options.stem_codes_as_sets = exact;
      options.threads = threads;
      const FractionalScaling scaling = GetFractionalLikelihoods(
          run.tree.down_pass, run.tree.matrices, run.SS, run.alignment, options);
      long long outside = 0;
      if (exact) {
        outside = GetMarginalPosteriors(run.tree.up_pass, run.tree.matrices, run.SS, run.alignment,
                                        run.parameters, options);
      } else {
        GetAncestralStatesFromPosterior(run.tree.up_pass, run.tree.matrices, run.SS, run.alignment,
                                        run.parameters, options);
      }
      EXPECT_GT(scaling.Count(6), 0) << "the loop blocks are rescaled";
      std::string bits(reinterpret_cast<const char*>(scaling.counts.data()),
                       scaling.counts.size() * sizeof(long long));
      bits.append(reinterpret_cast<const char*>(&outside), sizeof outside);
      for (const NodeStruct* node : run.tree.up_pass) {
        bits.append(reinterpret_cast<const char*>(node->posterior_probs.data()),
                    node->posterior_probs.size_bytes());
      }
      if (first.empty()) first = bits;
      EXPECT_TRUE(bits == first) << (exact ? "exact" : "classic") << ", " << threads << " threads";
    }
  }
}

// A polytomy is the tree resolved with branches of length 0, whichever way
// it is resolved, and the node with three children that it is: the same
// log-likelihood and the same posteriors at every node of the user's tree,
// found by the taxa below it. In the second tree the polytomy's first child
// is interior, so its outside vector is made from two siblings.
TEST(Polytomies, EqualTheTreeResolvedWithZeroLengthBranchesEitherWay) {
  const auto taxa_below = [](const NodeStruct* node) {
    std::set<std::string> below;
    std::vector<const NodeStruct*> pending{node};
    while (!pending.empty()) {
      const NodeStruct* n = pending.back();
      pending.pop_back();
      if (n->IsTip()) below.insert(n->label);
      pending.insert(pending.end(), n->children.begin(), n->children.end());
    }
    return below;
  };
  const std::string polytomies[2] = {"((t0:0.1,t1:0.25,t2:0.3):0.05,(t3:0.2,t4:0.12):0.18)",
                                     "(((t2:0.3,t3:0.2):0.07,t0:0.1,t1:0.25):0.05,t4:0.12)"};
  EXPECT_EQ(ResolvePolytomies(polytomies[0]),
            "(((t0:0.1,t1:0.25):0,t2:0.3):0.05,(t3:0.2,t4:0.12):0.18)");
  const std::string others[2] = {"(((t2:0.3,t0:0.1):0,t1:0.25):0.05,(t3:0.2,t4:0.12):0.18)",
                                 "((t0:0.1,(t1:0.25,(t2:0.3,t3:0.2):0.07):0):0.05,t4:0.12)"};
  for (int p = 0; p < 2; ++p) {
    double lnl[3];
    std::map<std::set<std::string>, std::vector<double>> posteriors[3];
    const std::string trees[3] = {ResolvePolytomies(polytomies[p]), others[p], polytomies[p]};
    for (int k = 0; k < 3; ++k) {
      MarginalRun run = MakeRun(trees[k], kStructure, kRows);
      RunMarginal(run, kRescaleThreshold, kRescaleThreshold);
      lnl[k] =
          GetLogLikelihood(run.tree.down_pass, kStructure, run.parameters, run.scaling).Total();
      for (const NodeStruct* node : run.tree.up_pass) {
        if (!IsNamedInteriorNode(*node)) continue;
        posteriors[k][taxa_below(node)].assign(node->posterior_probs.begin(),
                                               node->posterior_probs.end());
      }
    }
    ASSERT_EQ(posteriors[0].size(), 2u) << p;
    for (int k = 1; k < 3; ++k) {
      EXPECT_NEAR(lnl[k], lnl[0], 1e-9) << p << " " << k;
      ASSERT_EQ(posteriors[k].size(), posteriors[0].size()) << p << " " << k;
      for (const auto& [taxa, expected] : posteriors[0]) {
        const std::vector<double>& got = posteriors[k][taxa];
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t e = 0; e < got.size(); ++e) {
          EXPECT_NEAR(got[e], expected[e], 1e-9) << p << " " << k << " " << e;
        }
      }
    }
  }
}
