// Discrete gamma rates across sites as MrBayes and IQ-TREE's +G compute them.
#pragma once

#include <vector>

namespace sim {

// The K equally likely rates whose values are the MEAN rate of each quantile
// slice of the gamma distribution with shape = rate = alpha (Yang 1994), so
// that they average 1. MrBayes's likelihood uses means, not medians.
std::vector<double> DiscreteGammaRates(double alpha, int categories);

// The regularized lower incomplete gamma function P(a, x).
double RegularizedGammaP(double a, double x);

}  // namespace sim
