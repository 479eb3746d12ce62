// A one-dimensional maximiser for the rates of the gap models, whose
// log-likelihoods are smooth and single-peaked near their maximum.
#pragma once

#include <cmath>
#include <utility>

// Golden-section search for the maximum of f on [a, b], to width
// `tolerance`; updates *best_x and *best_f where it finds a higher value.
template <typename F>
void GoldenSection(const F& f, double a, double b, double tolerance, double* best_x,
                   double* best_f) {
  const double shrink = (std::sqrt(5.0) - 1.0) / 2.0;
  double x1 = b - shrink * (b - a);
  double x2 = a + shrink * (b - a);
  double f1 = f(x1);
  double f2 = f(x2);
  while (b - a > tolerance) {
    if (f1 >= f2) {
      b = x2;
      x2 = x1;
      f2 = f1;
      x1 = b - shrink * (b - a);
      f1 = f(x1);
    } else {
      a = x1;
      x1 = x2;
      f1 = f2;
      x2 = a + shrink * (b - a);
      f2 = f(x2);
    }
  }
  for (const auto& [x, fx] : {std::pair{x1, f1}, std::pair{x2, f2}}) {
    if (fx > *best_f) {
      *best_x = x;
      *best_f = fx;
    }
  }
}
