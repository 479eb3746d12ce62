// The gaps reconstructed on the tree: the two-state model's closed form,
// its likelihood and absence posteriors against a brute-force sum over
// every presence/absence assignment of a small tree, the rate fit on data
// simulated at a known rate, and the inputs that leave nothing to fit.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "inference/gap_reconstruction.h"
#include "inference_test_support.h"
#include "test_support.h"

namespace {

// A stem pair (columns 0 and 3) gapped on one side in t1 and starting t2's
// sequence with an end gap (missing, not absent), loop columns with gaps
// and missing data, a column without gaps (one '?'), one gapped everywhere
// and one with end gaps only.
const std::vector<int> kStructure = {1, 0, 0, -1, 0, 0, 0, 0};
const std::vector<std::string> kRows = {"G-AC--AA", "GCA-?-A-", "-CAC---A", "GC?CA-A-", "GCAC--AA"};
const char* kNewick = "(((t0:0.1,t1:0.25):0.15,t2:0.3):0.05,(t3:0.2,t4:0.12):0.18)";

// The likelihood of character k and P(absent) at the interior nodes below
// the root, summed over every assignment of states to the interior nodes.
std::pair<double, std::map<const NodeStruct*, double>> Enumerate(const HandTree& tree,
                                                                 const GapCharacters& characters,
                                                                 std::size_t k, double rate) {
  std::vector<const NodeStruct*> interior;
  for (const NodeStruct* node : tree.up_pass) {
    if (!node->IsTip()) interior.push_back(node);
  }
  const double pi = characters.absence_frequency[k];
  double likelihood = 0.0;
  std::map<const NodeStruct*, double> absent;
  for (unsigned mask = 0; mask < (1u << interior.size()); ++mask) {
    std::map<const NodeStruct*, int> state;
    for (std::size_t i = 0; i < interior.size(); ++i) state[interior[i]] = (mask >> i) & 1;
    double p = state[tree.root] == kGapAbsent ? pi : 1.0 - pi;
    for (const NodeStruct* node : tree.up_pass) {
      if (node->anc == nullptr) continue;
      const std::array<double, 4> matrix = GapTransitionMatrix(pi, std::exp(-rate * node->length));
      const double* row = &matrix[static_cast<std::size_t>(2 * state[node->anc])];
      if (!node->IsTip()) {
        p *= row[state[node]];
      } else if (characters.Observed(node->taxon_index, k) != GapObservation::kUnknown) {
        p *= row[characters.Observed(node->taxon_index, k) == GapObservation::kAbsent ? 1 : 0];
      }
    }
    likelihood += p;
    for (const NodeStruct* node : interior) absent[node] += state[node] == kGapAbsent ? p : 0.0;
  }
  for (auto& [node, p] : absent) p /= likelihood;
  return {likelihood, absent};
}

}  // namespace

TEST(GapModel, TransitionMatricesAreTheExponentialOfTheRateMatrix) {
  const double pi = 0.3;
  const auto p = [&](double t) { return GapTransitionMatrix(pi, std::exp(-t)); };
  for (int xy = 0; xy < 4; ++xy) {  // Chapman-Kolmogorov: P(s) P(t) = P(s + t)
    const int x = xy / 2;
    const int y = xy % 2;
    EXPECT_NEAR(p(0.4)[2 * x] * p(0.7)[y] + p(0.4)[2 * x + 1] * p(0.7)[2 + y], p(1.1)[xy], 1e-15);
  }
  // At t -> 0 the rate matrix [[-pi, pi], [1 - pi, pi - 1]].
  EXPECT_NEAR(p(1e-7)[1] / 1e-7, pi, 1e-6);
  EXPECT_NEAR(p(1e-7)[2] / 1e-7, 1.0 - pi, 1e-6);
}

// Also on a node with three children, the first of them interior.
TEST(GapPosteriors, EqualBruteForceEnumerationWithAndWithoutRescaling) {
  for (const char* newick : {kNewick, "(((t0:0.1,t1:0.25):0.15,t2:0.3,t3:0.2):0.05,t4:0.12)"}) {
    const HandTree tree = BuildTree(newick);
    const Alignment alignment = MakeAlignment(kStructure, kRows);
    const GapCharacters characters = MakeGapCharacters(alignment, SiteRecordsOf(alignment, 0));
    ASSERT_EQ(characters.size(), 7u);
    EXPECT_EQ(characters.of_column[3], 0u);  // both stem columns are character 0
    EXPECT_EQ(characters.absence_frequency,
              (std::vector<double>{0.25, 0.2, 0.0, 0.75, 1.0, 0.2, 0.0}));

    const double rate = 1.7;
    for (const double threshold : {kRescaleThreshold, 0.9}) {
      const GapPosteriors posteriors =
          GetGapPosteriors(tree.down_pass, characters, rate, threshold);
      double log_likelihood = 0.0;
      for (std::size_t k = 0; k < characters.size(); ++k) {
        const auto [likelihood, absent] = Enumerate(tree, characters, k, rate);
        log_likelihood += std::log(likelihood);
        for (const auto& [node, p] : absent) {
          if (node->anc == nullptr) continue;
          EXPECT_NEAR(posteriors.OfNode(*node)[k], p, 1e-12) << k;
        }
      }
      EXPECT_NEAR(GapLogLikelihood(tree.down_pass, characters, rate, threshold), log_likelihood,
                  1e-12);
    }
  }
}

TEST(GapRateFit, RecoversTheRateOfSimulatedGapsAndIsAMaximum) {
  std::mt19937 rng(11);
  const int n_taxa = 40;
  const HandTree tree = BuildTree(RandomNewick(n_taxa, rng));
  const double rate = 3.0;
  std::vector<std::string> rows(n_taxa, std::string(1500, 'A'));
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> true_pi;
  for (std::size_t c = 0; c < rows[0].size(); ++c) {
    const double pi = true_pi.emplace_back(0.05 + 0.4 * uniform(rng));
    std::map<const NodeStruct*, int> state;
    for (const NodeStruct* node : tree.up_pass) {
      const double p_absent =
          node->anc == nullptr
              ? pi
              : GapTransitionMatrix(pi, std::exp(-rate * node->length))[2 * state[node->anc] + 1];
      state[node] = uniform(rng) < p_absent ? kGapAbsent : kGapPresent;
      if (node->IsTip() && state[node] == kGapAbsent) rows[node->taxon_index][c] = '-';
    }
  }
  const Alignment alignment = MakeAlignment(std::vector<int>(rows[0].size(), 0), rows);
  GapCharacters characters = MakeGapCharacters(alignment, SiteRecordsOf(alignment, 0));
  // The frequencies the gaps evolved under: the columns' own gap fractions
  // scatter around them and, plugged in, inflate the rate (a quarter here).
  characters.absence_frequency = true_pi;
  const GapRateFit fit = FitGapRate(tree.down_pass, characters);
  EXPECT_EQ(fit.status, GapRateStatus::kFitted);
  EXPECT_NEAR(fit.rate, rate, 0.1 * rate);
  for (const double factor : {0.999, 1.001}) {
    EXPECT_GT(fit.log_likelihood, GapLogLikelihood(tree.down_pass, characters, fit.rate * factor));
  }
}

TEST(GapRateFit, InputsWithNothingToFitGetTheirDocumentedAnswer) {
  // No column gapped in some taxa only: rate 0, every node fixed.
  const HandTree tree = BuildTree(kNewick);
  const Alignment fixed = MakeAlignment({0, 0}, {"A-", "C-", "G-", "?-", "U-"});
  const GapReconstruction none =
      ReconstructGaps(tree.down_pass, fixed, SiteRecordsOf(fixed, 0), GapModel::kTwoState);
  EXPECT_EQ(none.fit.status, GapRateStatus::kNoVariableCharacter);
  EXPECT_EQ(none.fit.rate, 0.0);
  EXPECT_EQ(none.PGap(*tree.root->children[0], 0), 0.0);
  EXPECT_EQ(none.PGap(*tree.root->children[0], 1), 1.0);

  // Gaps that cut across the tree: the likelihood rises all the way to the
  // largest rate, where p_gap is the column's gap fraction.
  const HandTree short_tree = BuildTree("((t0:0.01,t1:0.01):0.01,(t2:0.01,t3:0.01):0.01)");
  const Alignment across = MakeAlignment({0, 0, 0, 0}, {"A-AA", "AA-A", "A-AA", "AA-A"});
  const GapReconstruction bound =
      ReconstructGaps(short_tree.down_pass, across, SiteRecordsOf(across, 0), GapModel::kTwoState);
  EXPECT_EQ(bound.fit.status, GapRateStatus::kAtBound);
  EXPECT_EQ(bound.fit.rate, kMaxGapRate);
  EXPECT_NEAR(bound.PGap(*short_tree.root->children[0], 1), 0.5, 1e-6);

  // Taxa that differ joined by branches of length 0: impossible at any rate.
  const HandTree zero = BuildTree("((t0:0,t1:0):0.1,(t2:0.1,t3:0.1):0.1)");
  EXPECT_NE(FatalOutput([&] {
              ReconstructGaps(zero.down_pass, across, SiteRecordsOf(across, 0),
                              GapModel::kTwoState);
            }).find("branches of length 0"),
            std::string::npos);
}
