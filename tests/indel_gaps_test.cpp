// The insertion-deletion reconstruction of the gaps against a brute-force
// sum over every origin of a character and every history of deletions on a
// four-taxon tree; the exact zero on the path between two taxa that hold a
// character; a stem pair as one character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "inference/gap_characters.h"
#include "inference/gap_reconstruction.h"
#include "inference/indel_gaps.h"
#include "inference/likelihood_blocks.h"
#include "inference_test_support.h"

namespace {

using Obs = GapObservation;

// Every origin (the root, or a point of a branch that the character may
// not survive) and every presence of every node below it, summed: the
// pattern's probability and each interior node's probability of absence.
struct Enumerated {
  double probability = 0.0;
  std::map<const NodeStruct*, double> absent;
};

Enumerated Enumerate(const HandTree& tree, const std::vector<Obs>& observed, double mu) {
  double total = 0.0;
  for (const NodeStruct* node : tree.up_pass) total += node->anc != nullptr ? node->length : 0.0;
  const double norm = total + 1.0 / mu;
  Enumerated result;
  std::map<const NodeStruct*, bool> present;
  for (const NodeStruct* origin : tree.up_pass) {
    const double t = origin->length;
    const double weight = origin->anc == nullptr ? 1.0 / mu / norm : t / norm;
    const double survive = origin->anc == nullptr ? 1.0 : (1.0 - std::exp(-mu * t)) / (mu * t);
    // Nodes in pre-order: each either holds the character or not.
    std::function<void(std::size_t, double)> visit = [&](std::size_t k, double p) {
      if (k == tree.up_pass.size()) {
        for (const NodeStruct* node : tree.up_pass) {
          if (!node->IsTip()) continue;
          const Obs seen = observed[static_cast<std::size_t>(node->taxon_index)];
          if ((seen == Obs::kPresent && !present[node]) || (seen == Obs::kAbsent && present[node]))
            return;
        }
        result.probability += p;
        for (const NodeStruct* node : tree.up_pass) {
          if (!present[node]) result.absent[node] += p;
        }
        return;
      }
      const NodeStruct* node = tree.up_pass[k];
      bool below_origin = false;
      for (const NodeStruct* up = node; up != nullptr; up = up->anc) below_origin |= up == origin;
      for (const bool holds : {true, false}) {
        double q = 0.0;
        if (!below_origin) {
          q = holds ? 0.0 : 1.0;
        } else if (node == origin) {
          q = holds ? survive : 1.0 - survive;
        } else {
          const double keep = present[node->anc] ? std::exp(-mu * node->length) : 0.0;
          q = holds ? keep : 1.0 - keep;
        }
        if (q == 0.0) continue;
        present[node] = holds;
        visit(k + 1, p * q);
      }
    };
    visit(0, weight);
  }
  for (auto& [node, p] : result.absent) p /= result.probability;
  return result;
}

const char* kFourTaxa = "((t0:0.1,t1:0.25):0.15,(t2:0.3,t3:0.05):0.2)";

}  // namespace

// Also on a root with three children, the first of them interior.
TEST(IndelGaps, EqualBruteForceEnumerationOfOriginsAndDeletions) {
  for (const char* newick : {kFourTaxa, "((t2:0.3,t3:0.05):0.12,t0:0.1,t1:0.25)"}) {
    HandTree tree = BuildTree(newick);
    const IndelTree indel_tree(tree.down_pass);
    const double mu = 1.7;
    const IndelBranches branches(indel_tree, mu);
    // The probabilities of the 16 definite patterns sum to 1.
    double sum = 0.0;
    for (int bits = 0; bits < 16; ++bits) {
      std::vector<Obs> observed;
      for (int t = 0; t < 4; ++t)
        observed.push_back((bits >> t & 1) ? Obs::kPresent : Obs::kAbsent);
      sum += std::exp(IndelPattern(indel_tree, branches, observed).log_probability());
    }
    EXPECT_NEAR(sum, 1.0, 1e-12);
    for (const std::vector<Obs>& observed :
         {std::vector<Obs>{Obs::kPresent, Obs::kAbsent, Obs::kAbsent, Obs::kAbsent},
          {Obs::kPresent, Obs::kPresent, Obs::kAbsent, Obs::kUnknown},
          {Obs::kPresent, Obs::kAbsent, Obs::kPresent, Obs::kAbsent},
          {Obs::kAbsent, Obs::kAbsent, Obs::kUnknown, Obs::kPresent},
          {Obs::kAbsent, Obs::kAbsent, Obs::kUnknown, Obs::kAbsent},
          {Obs::kAbsent, Obs::kAbsent, Obs::kAbsent, Obs::kAbsent}}) {
      // A column that every taxon lacks is fixed absent (no alignment shows
      // such a character); its probability is still the process's.
      const bool nobody = std::count(observed.begin(), observed.end(), Obs::kAbsent) == 4;
      const IndelPattern pattern(indel_tree, branches, observed);
      const Enumerated expected = Enumerate(tree, observed, mu);
      EXPECT_NEAR(std::exp(pattern.log_probability()), expected.probability, 1e-14);
      for (std::size_t v = 0; v < tree.down_pass.size(); ++v) {
        const NodeStruct* node = tree.down_pass[v];
        if (node->IsTip()) continue;
        const auto absent = expected.absent.find(node);
        const double brute = absent != expected.absent.end() ? absent->second : 0.0;
        EXPECT_NEAR(pattern.Absence(v), nobody ? 1.0 : brute, 1e-12) << "node " << node->index;
      }
    }
  }
}

// A column held by t0 and t2 must be held by every node on the path
// between them: exactly 0, whatever the rates; a stem pair is present only
// where both its columns are, and its two columns share their p_gap.
TEST(IndelGaps, ExactZeroOnThePathAndStemPairsAsOneCharacter) {
  HandTree tree = BuildTree("(((t0:0.1,t1:0.25):0.15,t2:0.3):0.2,(t3:0.05,t4:0.4):0.1)");
  // Between two columns that every taxon holds (end gaps would be missing
  // data): the pair 1-4, broken in t1 on its 3' side and in t4 on its 5'
  // side; column 2 held by t0 and t2 only, column 5 by t3 and t4 only.
  const std::vector<int> structure = {0, 1, 0, 0, -1, 0, 0};
  const Alignment alignment =
      MakeAlignment(structure, {"AGAAC-A", "AG-A--A", "AGAAC-A", "AG-ACAA", "A--ACAA"});
  const GapReconstruction gaps =
      ReconstructGaps(tree.down_pass, alignment, SiteRecordsOf(alignment, 0), GapModel::kIndel);
  ASSERT_TRUE(gaps.indel.has_value());
  EXPECT_GT(gaps.indel->deletion, 0.0);
  const NodeStruct& above_t0_t1 = *tree.root->children[0]->children[0];
  const NodeStruct& above_t0_t2 = *tree.root->children[0];
  EXPECT_EQ(gaps.PGap(above_t0_t1, 2), 0.0);
  EXPECT_EQ(gaps.PGap(above_t0_t2, 2), 0.0);
  EXPECT_GT(gaps.PGap(*tree.root->children[1], 2), 0.5);  // only t3 and t4 below, both without it
  EXPECT_EQ(gaps.PGap(*tree.root->children[1], 5), 0.0);
  EXPECT_EQ(gaps.PGap(*tree.root->children[1], 3), 0.0);  // held everywhere
  EXPECT_GT(gaps.PGap(above_t0_t2, 5), 0.5);
  for (const NodeStruct* node : tree.down_pass) {
    if (!IsInteriorBelowRoot(*node)) continue;
    EXPECT_EQ(gaps.PGap(*node, 1), gaps.PGap(*node, 4)) << node->index;
  }
  // The pair is absent in t1 and t4 though each shows one of its sides.
  EXPECT_EQ(gaps.characters.Observed(1, gaps.characters.of_column[1]), GapObservation::kAbsent);
  EXPECT_EQ(gaps.characters.Observed(4, gaps.characters.of_column[1]), GapObservation::kAbsent);
}
