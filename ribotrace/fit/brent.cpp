#include "fit/brent.h"

#include <cmath>

BrentResult BrentMaximise(const std::function<double(double)>& f, double lo, double hi, double x0,
                          double f0, double tolerance) {
  constexpr double kGolden = 0.3819660112501051;
  double a = lo, b = hi;
  double x = x0, w = x0, v = x0;
  double fx = -f0, fw = fx, fv = fx;  // minimises -f
  double d = 0.0, e = 0.0;
  for (int iteration = 0; iteration < 100; ++iteration) {
    const double mid = 0.5 * (a + b);
    const double tol1 = tolerance * (std::abs(x) + 1.0), tol2 = 2.0 * tol1;
    if (std::abs(x - mid) <= tol2 - 0.5 * (b - a)) break;
    bool golden = true;
    if (std::abs(e) > tol1) {
      const double r = (x - w) * (fx - fv);
      double q = (x - v) * (fx - fw);
      double p = (x - v) * q - (x - w) * r;
      q = 2.0 * (q - r);
      if (q > 0.0) p = -p;
      q = std::abs(q);
      if (std::abs(p) < std::abs(0.5 * q * e) && p > q * (a - x) && p < q * (b - x)) {
        e = d;
        d = p / q;
        const double u = x + d;
        if (u - a < tol2 || b - u < tol2) d = mid >= x ? tol1 : -tol1;
        golden = false;
      }
    }
    if (golden) {
      e = x >= mid ? a - x : b - x;
      d = kGolden * e;
    }
    const double u = std::abs(d) >= tol1 ? x + d : x + (d > 0 ? tol1 : -tol1);
    const double fu = -f(u);
    if (fu <= fx) {
      (u >= x ? a : b) = x;
      v = w, fv = fw, w = x, fw = fx, x = u, fx = fu;
    } else {
      (u < x ? a : b) = u;
      if (fu <= fw || w == x) {
        v = w, fv = fw, w = u, fw = fu;
      } else if (fu <= fv || v == x || v == w) {
        v = u, fv = fu;
      }
    }
  }
  return {x, -fx};
}
