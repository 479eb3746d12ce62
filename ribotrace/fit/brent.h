// Brent's one-dimensional maximiser (golden section with parabolic steps):
// no derivatives, bounded, few evaluations on the smooth, unimodal
// profiles of a model parameter.
#pragma once

#include <functional>

struct BrentResult {
  double x = 0.0;
  double value = 0.0;
};

// The best point found of f on [lo, hi], starting from x0 (whose value is
// f0): never worse than x0. Stops when the bracket is narrower than about
// tolerance x (|x| + 1).
BrentResult BrentMaximise(const std::function<double(double)>& f, double lo, double hi, double x0,
                          double f0, double tolerance);
