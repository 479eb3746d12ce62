// The maximum of a smooth function of a few bounded parameters, without
// derivatives: Powell's BOBYQA (through NLopt) for two or more, which
// builds a quadratic model of the function from its values and so follows
// ridges of correlated parameters (a substitution model's exchangeabilities
// and frequencies) that a search one coordinate at a time creeps along;
// Brent's method for one.
#pragma once

#include <functional>
#include <vector>

struct BoxResult {
  std::vector<double> x;
  double value = 0.0;
};

struct BoxSearch {
  std::vector<double> lo, hi;
  // Per coordinate, the size of the first steps (BOBYQA's initial trust
  // region, Brent's window); a coordinate's last move is a good choice.
  std::vector<double> step;
  // Stop once a step gains less (in the function's units).
  double tolerance = 1e-4;
};

// The best point found, starting from x0 (whose value is f0): never worse
// than x0. An exception thrown by f ends the search and propagates.
BoxResult MaximiseInBox(const std::function<double(const std::vector<double>&)>& f,
                        std::vector<double> x0, double f0, const BoxSearch& search);
