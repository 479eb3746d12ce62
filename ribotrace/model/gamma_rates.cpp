#include "model/gamma_rates.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kEpsilon = std::numeric_limits<double>::epsilon();

// log(x^a e^-x / Gamma(a)): the factor common to the series and the
// continued fraction below.
double LogPrefactor(double a, double x) { return a * std::log(x) - x - std::lgamma(a); }

// P(a, x) = x^a e^-x / Gamma(a) x sum_{n >= 0} x^n / (a (a+1) ... (a+n)),
// which converges fast for x < a + 1.
double LowerGammaSeries(double a, double x) {
  double term = 1.0 / a;
  double sum = term;
  for (int n = 1; n < 10000; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * kEpsilon) break;
  }
  return sum * std::exp(LogPrefactor(a, x));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction
// x^a e^-x / Gamma(a) x 1/(x+1-a- 1(1-a)/(x+3-a- 2(2-a)/(x+5-a- ...))),
// evaluated with the modified Lentz method; converges fast for x >= a + 1.
double UpperGammaFraction(double a, double x) {
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
    if (std::fabs(delta - 1.0) < kEpsilon) break;
  }
  return std::exp(LogPrefactor(a, x)) * h;
}

}  // namespace

double RegularizedLowerGamma(double a, double x) {
  if (!(x > 0.0)) return 0.0;
  if (std::isinf(x)) return 1.0;
  if (x < a + 1.0) return LowerGammaSeries(a, x);
  return 1.0 - UpperGammaFraction(a, x);
}

double InverseRegularizedLowerGamma(double a, double p) {
  if (!(p > 0.0)) return 0.0;
  if (p >= 1.0) return std::numeric_limits<double>::infinity();
  // gamma(a, x) <= x^a / a, so P(a, x) <= x^a / Gamma(a + 1): the x where
  // that bound reaches p lies at or below the quantile and is close to it
  // wherever the quantile is small. It is the lower end of the bracket.
  double lo = std::exp((std::log(p) + std::lgamma(a + 1.0)) / a);
  if (lo == 0.0) return 0.0;  // below the smallest double
  double hi = std::fmax(2.0 * lo, a + 1.0);
  while (RegularizedLowerGamma(a, hi) < p) {
    lo = hi;
    hi *= 2.0;
  }
  // Newton's steps on P(a, x) - p, whose derivative is the gamma density,
  // kept inside the bracket by bisection (geometric, for quantiles that
  // span many orders of magnitude).
  double x = lo;
  for (int i = 0; i < 500; ++i) {
    const double f = RegularizedLowerGamma(a, x) - p;
    if (f == 0.0) return x;
    (f < 0.0 ? lo : hi) = x;
    double next = x - f / std::exp(LogPrefactor(a, x) - std::log(x));
    if (!(next > lo && next < hi)) next = std::sqrt(lo) * std::sqrt(hi);
    if (std::fabs(next - x) <= 4.0 * kEpsilon * x || hi - lo <= 4.0 * kEpsilon * hi) return next;
    x = next;
  }
  return x;
}

std::vector<double> DiscreteGammaMeanRates(double alpha, int n_categories) {
  const auto k_count = static_cast<std::size_t>(n_categories);
  // The share of the mean that lies below each upper category bound q:
  // for shape = rate = alpha, E[r; r < q] = P(alpha + 1, alpha q).
  std::vector<double> below(k_count);
  for (std::size_t k = 0; k + 1 < k_count; ++k) {
    const double p = static_cast<double>(k + 1) / n_categories;
    below[k] = RegularizedLowerGamma(alpha + 1.0, InverseRegularizedLowerGamma(alpha, p));
  }
  below[k_count - 1] = 1.0;
  std::vector<double> rates(k_count);
  double previous = 0.0;
  for (std::size_t k = 0; k < k_count; ++k) {
    rates[k] = n_categories * (below[k] - previous);
    previous = below[k];
  }
  return rates;
}
