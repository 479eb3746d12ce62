// Among-site rate variation as MrBayes models it (rates=gamma): the rate of
// a site follows a gamma distribution of mean 1 (shape = rate = alpha),
// approximated by K categories of equal probability 1/K, each represented
// by the mean rate of its slice of the distribution (Yang 1994, J. Mol.
// Evol. 39:306-314, the "mean" variant; MrBayes and IQ-TREE's +G use it,
// not the median).
#pragma once

#include <vector>

// MrBayes's limits on the number of gamma categories (lset ngammacat).
constexpr int kMinGammaCategories = 2;
constexpr int kMaxGammaCategories = 20;
constexpr int kDefaultGammaCategories = 4;

// The regularised lower incomplete gamma function P(a, x) =
// gamma(a, x) / Gamma(a), for a > 0 and x >= 0.
double RegularizedLowerGamma(double a, double x);

// Its inverse in x: the x >= 0 with P(a, x) = p, for a > 0 and p in [0, 1]
// (+infinity at p = 1): the p-quantile of a gamma distribution of shape a
// and rate 1.
double InverseRegularizedLowerGamma(double a, double p);

// The K mean rates of the categories, in increasing order. Category k
// covers the quantiles k/K to (k+1)/K of the gamma distribution of shape
// and rate alpha, and its mean there is K x (P(alpha + 1, alpha q_{k+1}) -
// P(alpha + 1, alpha q_k)) with q the category bounds; the rates average
// exactly 1. Requires alpha > 0 and finite, n_categories >= 1.
std::vector<double> DiscreteGammaMeanRates(double alpha, int n_categories);
