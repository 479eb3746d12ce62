#include "discrete_gamma.h"

#include <cmath>
#include <stdexcept>

namespace sim {
namespace {

// Series expansion, convergent fast for x < a + 1 (Numerical Recipes 6.2).
double GammaSeries(double a, double x) {
  double term = 1.0 / a;
  double sum = term;
  for (int n = 1; n < 10000; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * 1e-16) break;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Continued fraction for Q = 1 - P, convergent fast for x >= a + 1
// (modified Lentz's method).
double GammaContinuedFraction(double a, double x) {
  constexpr double kTiny = 1e-300;
  double b = x + 1.0 - a;
  double c = 1.0 / kTiny;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i < 10000; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = b + an / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < 1e-16) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

// The p-quantile of the gamma distribution with shape and rate alpha, by
// bisection on log x: slow but sure for every shape from 0.01 to 100, and
// called a handful of times per run.
double GammaQuantile(double alpha, double p) {
  double lo = -745.0;
  double hi = std::log(1000.0);
  for (int i = 0; i < 200; ++i) {
    const double mid = 0.5 * (lo + hi);
    (RegularizedGammaP(alpha, alpha * std::exp(mid)) < p ? lo : hi) = mid;
  }
  return std::exp(0.5 * (lo + hi));
}

}  // namespace

double RegularizedGammaP(double a, double x) {
  if (x <= 0.0) return 0.0;
  if (x < a + 1.0) return GammaSeries(a, x);
  return 1.0 - GammaContinuedFraction(a, x);
}

std::vector<double> DiscreteGammaRates(double alpha, int categories) {
  if (!(alpha > 0.0) || categories < 1) {
    throw std::invalid_argument("the gamma shape must be positive and the categories at least 1");
  }
  // The mass of X ~ Gamma(alpha, alpha) below x weighted by X is
  // P(alpha + 1, alpha x), so a slice's mean is K times its difference.
  std::vector<double> rates(categories);
  double below = 0.0;
  for (int k = 0; k < categories; ++k) {
    const double upper =
        k + 1 == categories
            ? 1.0
            : RegularizedGammaP(alpha + 1.0, alpha * GammaQuantile(alpha, (k + 1.0) / categories));
    rates[k] = categories * (upper - below);
    below = upper;
  }
  return rates;
}

}  // namespace sim
