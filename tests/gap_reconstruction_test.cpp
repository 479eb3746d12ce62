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

struct Enumerated {
  double likelihood = 0.0;
  std::map<const NodeStruct*, double> p_absent;  // interior nodes below the root
};

// Sums over every assignment of present/absent to the interior nodes.
Enumerated Enumerate(const HandTree& tree, const GapCharacters& characters, std::size_t k,
                     double rate) {
  std::vector<const NodeStruct*> interior;
  for (const NodeStruct* node : tree.up_pass) {
    if (node->left != nullptr) interior.push_back(node);
  }
  const double pi = characters.absence_frequency[k];
  Enumerated sum;
  for (unsigned mask = 0; mask < (1u << interior.size()); ++mask) {
    std::map<const NodeStruct*, int> state;
    for (std::size_t i = 0; i < interior.size(); ++i) state[interior[i]] = (mask >> i) & 1;
    double p = state[tree.root] == kGapAbsent ? pi : 1.0 - pi;
    for (const NodeStruct* node : tree.up_pass) {
      if (node->anc == nullptr) continue;
      const std::array<double, 4> matrix = GapTransitionMatrix(pi, std::exp(-rate * node->length));
      const double* row = &matrix[static_cast<std::size_t>(2 * state[node->anc])];
      if (node->left != nullptr) {
        p *= row[state[node]];
      } else if (characters.Observed(node->taxon_index, k) != GapObservation::kUnknown) {
        p *= row[characters.Observed(node->taxon_index, k) == GapObservation::kAbsent ? 1 : 0];
      }
    }
    sum.likelihood += p;
    for (const NodeStruct* node : interior) {
      if (node->anc != nullptr && state[node] == kGapAbsent) sum.p_absent[node] += p;
    }
  }
  for (auto& [node, p] : sum.p_absent) p /= sum.likelihood;
  return sum;
}

}  // namespace

TEST(GapModel, TransitionMatricesAreTheExponentialOfTheRateMatrix) {
  for (const double pi : {0.0, 0.3, 0.9, 1.0}) {
    const std::array<double, 4> p = GapTransitionMatrix(pi, std::exp(-0.4));
    const std::array<double, 4> q = GapTransitionMatrix(pi, std::exp(-0.7));
    const std::array<double, 4> pq = GapTransitionMatrix(pi, std::exp(-1.1));
    for (int x = 0; x < 2; ++x) {
      EXPECT_NEAR(p[2 * x] + p[2 * x + 1], 1.0, 1e-15);
      // Chapman-Kolmogorov: P(s) P(t) = P(s + t).
      for (int y = 0; y < 2; ++y) EXPECT_NEAR(p[2 * x] * q[y] + p[2 * x + 1] * q[2 + y], pq[2 * x + y], 1e-15);
    }
    // Stationary at (1 - pi, pi), and the rate matrix r x [[-pi, pi], [1 - pi, pi - 1]] at t = 0.
    EXPECT_NEAR((1.0 - pi) * p[1] + pi * p[3], pi, 1e-15);
    const std::array<double, 4> small = GapTransitionMatrix(pi, std::exp(-1e-7));
    EXPECT_NEAR(small[1] / 1e-7, pi, 1e-6);
    EXPECT_NEAR(small[2] / 1e-7, 1.0 - pi, 1e-6);
  }
}

TEST(GapPosteriors, EqualBruteForceEnumerationWithAndWithoutRescaling) {
  const HandTree tree = BuildTree(kNewick);
  const Alignment alignment = MakeAlignment(kStructure, kRows);
  const GapCharacters characters = MakeGapCharacters(alignment, SiteRecordsOf(alignment, 0));
  ASSERT_EQ(characters.size(), 7u);
  EXPECT_EQ(characters.of_column[3], 0u);  // both stem columns are character 0
  EXPECT_EQ(characters.Observed(2, 0), GapObservation::kUnknown);
  EXPECT_EQ(characters.absence_frequency[0], 0.25);  // absent in t1 of the four that show it
  EXPECT_EQ(characters.absence_frequency[2], 0.0);   // column 2: no gap, one '?'
  EXPECT_EQ(characters.absence_frequency[4], 1.0);   // column 5: gapped everywhere
  EXPECT_EQ(characters.absence_frequency[6], 0.0);   // column 7: end gaps only

  const double rate = 1.7;
  double log_likelihood = 0.0;
  for (const double threshold : {kRescaleThreshold, 0.9}) {
    const GapPosteriors posteriors = GetGapPosteriors(tree.down_pass, characters, rate, threshold);
    for (std::size_t k = 0; k < characters.size(); ++k) {
      const Enumerated expected = Enumerate(tree, characters, k, rate);
      if (threshold == kRescaleThreshold && IsVariableGapCharacter(characters.absence_frequency[k])) {
        log_likelihood += std::log(expected.likelihood);
      }
      for (const auto& [node, p] : expected.p_absent) {
        EXPECT_NEAR(posteriors.OfNode(*node)[k], p, 1e-12) << "character " << k;
      }
      for (const NodeStruct* node : tree.up_pass) {
        if (node->left != nullptr && node->anc != nullptr && !expected.p_absent.contains(node)) {
          EXPECT_EQ(posteriors.OfNode(*node)[k], 0.0) << "character " << k;
        }
      }
    }
    EXPECT_NEAR(GapLogLikelihood(tree.down_pass, characters, rate, threshold), log_likelihood, 1e-12);
  }
}

TEST(GapRateFit, RecoversTheRateOfSimulatedGapsAndIsAMaximum) {
  std::mt19937 rng(11);
  const int n_taxa = 40;
  HandTree tree = BuildTree(RandomNewick(n_taxa, rng));
  const double rate = 3.0;
  std::vector<std::string> rows(n_taxa, std::string(1500, 'A'));
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::vector<double> true_pi;
  for (std::size_t c = 0; c < rows[0].size(); ++c) {
    const double pi = 0.05 + 0.4 * uniform(rng);
    true_pi.push_back(pi);
    std::map<const NodeStruct*, int> state;
    for (const NodeStruct* node : tree.up_pass) {
      double p_absent = pi;
      if (node->anc != nullptr) {
        p_absent = GapTransitionMatrix(pi, std::exp(-rate * node->length))[2 * state[node->anc] + 1];
      }
      state[node] = uniform(rng) < p_absent ? kGapAbsent : kGapPresent;
      if (node->left == nullptr && state[node] == kGapAbsent) rows[node->taxon_index][c] = '-';
    }
  }
  const Alignment alignment = MakeAlignment(std::vector<int>(rows[0].size(), 0), rows);
  GapCharacters characters = MakeGapCharacters(alignment, SiteRecordsOf(alignment, 0));
  // The frequencies the gaps evolved under: the columns' own gap fractions
  // scatter around them and, plugged in, inflate the fitted rate (by about
  // a quarter here).
  characters.absence_frequency = true_pi;
  const GapRateFit fit = FitGapRate(tree.down_pass, characters);
  EXPECT_EQ(fit.status, GapRateStatus::kFitted);
  EXPECT_NEAR(fit.rate, rate, 0.1 * rate);
  EXPECT_EQ(fit.log_likelihood, GapLogLikelihood(tree.down_pass, characters, fit.rate));
  for (const double factor : {0.999, 1.001}) {
    EXPECT_GT(fit.log_likelihood, GapLogLikelihood(tree.down_pass, characters, fit.rate * factor));
  }
}

TEST(GapRateFit, InputsWithNothingToFitGetTheirDocumentedAnswer) {
  // No column gapped in some taxa only: rate 0, every node fixed.
  const HandTree tree = BuildTree(kNewick);
  const Alignment fixed = MakeAlignment({0, 0}, {"A-", "C-", "G-", "?-", "U-"});
  const GapReconstruction none = ReconstructGaps(tree.down_pass, fixed, SiteRecordsOf(fixed, 0));
  EXPECT_EQ(none.fit.status, GapRateStatus::kNoVariableCharacter);
  EXPECT_EQ(none.fit.rate, 0.0);
  for (const NodeStruct* node : tree.up_pass) {
    if (node->left == nullptr || node->anc == nullptr) continue;
    EXPECT_EQ(none.PGap(*node, 0), 0.0);
    EXPECT_EQ(none.PGap(*node, 1), 1.0);
  }

  // Gaps that cut across the tree: the likelihood rises all the way to the
  // largest rate, where every node's p_gap is the column's gap fraction.
  const HandTree short_tree = BuildTree("((t0:0.01,t1:0.01):0.01,(t2:0.01,t3:0.01):0.01)");
  const Alignment across = MakeAlignment({0, 0, 0, 0}, {"A-AA", "AA-A", "A-AA", "AA-A"});
  const GapReconstruction bound =
      ReconstructGaps(short_tree.down_pass, across, SiteRecordsOf(across, 0));
  EXPECT_EQ(bound.fit.status, GapRateStatus::kAtBound);
  EXPECT_EQ(bound.fit.rate, kMaxGapRate);
  EXPECT_NEAR(bound.PGap(*short_tree.root->left, 1), 0.5, 1e-6);

  // Taxa that differ joined by branches of length 0: impossible at any rate.
  const HandTree zero = BuildTree("((t0:0,t1:0):0.1,(t2:0.1,t3:0.1):0.1)");
  const std::string message = FatalOutput([&] {
    ReconstructGaps(zero.down_pass, across, SiteRecordsOf(across, 0));
  });
  EXPECT_NE(message.find("branches of length 0"), std::string::npos) << message;
}
