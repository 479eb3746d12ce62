// The discrete gamma categories against values computed independently with
// scipy (tests/data/discrete_gamma_rates.py: quantiles from scipy.stats,
// each category's mean by numerical integration), from shapes that put
// the lowest category near 1e-13 to nearly equal rates.
#include "model/gamma_rates.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Expected {
  double alpha;
  std::vector<double> rates;  // the number of categories is their count
};

// /usr/bin/python3 tests/data/discrete_gamma_rates.py
const std::vector<Expected> kScipyRates = {
    {0.05, {5.062535133253e-13, 1.0616903503933e-06, 0.0052993238942516, 3.9946996144149}},
    {0.2, {0.00053119888500458, 0.033775481561984, 0.38365799988722, 3.5820353196658}},
    {0.5, {0.0333877533836, 0.25191591759344, 0.82026848197365, 2.8944278470493}},
    {1, {0.13695378264466, 0.47675185623545, 1, 2.3862943611199}},
    {2.7, {0.36463399952043, 0.71343746197574, 1.0805724656401, 1.8413560728637}},
    {50, {0.82640004350513, 0.94855064177107, 1.0400328577209, 1.1850164570029}},
    {0.8, {0.25134638910651, 1.7486536108935}},
    {0.3,
     {0.00052394564073418, 0.010066667170457, 0.05131835076354, 0.15767186640534, 0.37968622133208,
      0.8119194538911, 1.7025227523601, 4.8862907424366}},
};

}  // namespace

TEST(GammaRates, CategoryMeansEqualScipysIntegralsAndAverageOne) {
  for (const Expected& expected : kScipyRates) {
    const int k = static_cast<int>(expected.rates.size());
    const std::vector<double> rates = DiscreteGammaMeanRates(expected.alpha, k);
    ASSERT_EQ(rates.size(), expected.rates.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < rates.size(); ++i) {
      EXPECT_NEAR(rates[i], expected.rates[i], 1e-10 * expected.rates[i])
          << "alpha " << expected.alpha << ", category " << i;
      sum += rates[i];
    }
    EXPECT_NEAR(sum / k, 1.0, 1e-14) << "alpha " << expected.alpha;
  }
}
