// The simulator against what the model implies: stationary root states,
// 2 x t x rate changes per stem pair, the indel process's counts.
#include <cmath>
#include <map>

#include <gtest/gtest.h>

#include "discrete_gamma.h"
#include "evolution.h"

namespace sim {
namespace {

// A root with two tips at distances 0.5 and 1.0.
Tree Cherry() { return ParseNewick("(a:0.5,b:1.0);"); }

// Within `sigmas` standard errors of the mean of `n` draws of variance `variance`.
void ExpectMean(double observed, double expected, double variance, int n, double sigmas = 5.0) {
  EXPECT_NEAR(observed, expected, sigmas * std::sqrt(variance / n)) << "expected " << expected;
}

TEST(DiscreteGamma, MeanRatesOfTheQuartiles) {
  // Alpha 0.5, four categories: the slices' mean rates by Simpson's rule on
  // the density (in x^alpha, where it is smooth), quantiles by bisection.
  const std::vector<double> rates = DiscreteGammaRates(0.5, 4);
  const double expected[4] = {0.0333878, 0.2519159, 0.8202685, 2.8944278};
  for (int k = 0; k < 4; ++k) EXPECT_NEAR(rates[k], expected[k], 1e-6);
}

TEST(Substitutions, StationaryRootAndTipsAndChangesAtTwiceTheLength) {
  const Tree tree = Cherry();
  ModelParameters model = DefaultParameters();
  model.stems.alpha = 0.7;
  model.stems.multiplier = 1.3;
  model.loops.multiplier = 0.6;
  std::mt19937_64 rng(7);
  const int stems = 40000, loops = 40000;
  std::vector<Character> chars = DrawOrigins(tree, IndelParameters{}, stems, loops, rng);
  EvolveCharacters(tree, model, IndelParameters{}, chars, rng);
  std::vector<std::vector<int>> counts(3, std::vector<int>(16, 0));
  double stem_subs[3] = {}, loop_subs[3] = {};
  for (const Character& c : chars) {
    for (int v = 0; v < 3; ++v) {
      if (c.stem) ++counts[v][c.state[v]];
      (c.stem ? stem_subs : loop_subs)[v] += c.subs[v];
    }
  }
  for (int v = 0; v < 3; ++v) {
    for (int d = 0; d < 16; ++d) {
      const double p = model.stems.frequencies[d];
      ExpectMean(counts[v][d] / double(stems), p, p * (1 - p), stems);
    }
  }
  // Changes are Poisson given the rate; gamma rates add their variance.
  for (int v = 1; v < 3; ++v) {
    const double t = tree.nodes[v].length;
    const double stem_mean = 2 * t * 1.3;
    ExpectMean(stem_subs[v] / stems, stem_mean, stem_mean + stem_mean * stem_mean / 0.7, stems);
    ExpectMean(loop_subs[v] / loops, t * 0.6, t * 0.6, loops);
  }
}

TEST(Indels, RootCountInsertionsAndSurvivalFollowLambdaAndMu) {
  const Tree tree = Cherry();
  for (double shape : {0.0, 0.5}) {
    IndelParameters indels;
    indels.insertion_rate = 3000.0;
    indels.deletion_rate = 1.5;
    indels.shape = shape;
    indels.stem_share = 0.25;
    indels.anchors = false;
    std::mt19937_64 rng(11);
    std::vector<Character> chars = DrawOrigins(tree, indels, 0, 0, rng);
    EvolveCharacters(tree, DefaultParameters(), indels, chars, rng);
    int at_root = 0, inserted = 0, stems = 0, survivors = 0, on_b = 0;
    std::map<double, int> root_by_class;  // every class holds lambda/mu/K at the root
    for (const Character& c : chars) {
      at_root += c.origin == 0;
      if (c.origin == 0) ++root_by_class[c.indel_rate];
      inserted += c.origin != 0;
      stems += c.stem;
      if (c.origin == 0 && shape == 0.0) survivors += c.state[2] >= 0;
      on_b += c.origin == 2;
    }
    const double root_mean = 3000.0 / 1.5;
    EXPECT_NEAR(at_root, root_mean, 5 * std::sqrt(root_mean));
    const double class_mean = root_mean / root_by_class.size();
    for (const auto& [rate, count] : root_by_class)
      EXPECT_NEAR(count, class_mean, 5 * std::sqrt(class_mean)) << rate;
    EXPECT_NEAR(inserted, 3000.0 * 1.5, 5 * std::sqrt(3000.0 * 1.5));
    EXPECT_NEAR(on_b, 3000.0, 5 * std::sqrt(3000.0));  // uniform over the length: 2/3 on b
    const double n = static_cast<double>(chars.size());
    EXPECT_NEAR(stems / n, 0.25, 5 * std::sqrt(0.25 * 0.75 / n));
    if (shape == 0.0) {
      const double keep = std::exp(-1.5 * 1.0);
      EXPECT_NEAR(survivors / double(at_root), keep, 5 * std::sqrt(keep * (1 - keep) / at_root));
    }
  }
}

}  // namespace
}  // namespace sim
