#include "fit/box_maximiser.h"

#include <nlopt.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>

#include "fit/brent.h"

namespace {

// What NLopt's callback sees: the function, the best point so far, and an
// exception of f, which must not cross NLopt's C frames.
struct Search {
  const std::function<double(const std::vector<double>&)>& f;
  nlopt_opt opt;
  BoxResult best;
  std::exception_ptr error;
};

double Objective(unsigned n, const double* x, double* /*gradient*/, void* data) {
  Search& search = *static_cast<Search*>(data);
  try {
    std::vector<double> point(x, x + n);
    const double value = search.f(point);
    if (value > search.best.value) search.best = {std::move(point), value};
    return value;
  } catch (...) {
    search.error = std::current_exception();
    nlopt_force_stop(search.opt);
    return -HUGE_VAL;
  }
}

struct OptDeleter {
  void operator()(nlopt_opt opt) const { nlopt_destroy(opt); }
};

BoxResult Bobyqa(const std::function<double(const std::vector<double>&)>& f, std::vector<double> x,
                 double f0, const BoxSearch& box) {
  const unsigned n = static_cast<unsigned>(x.size());
  const std::unique_ptr<nlopt_opt_s, OptDeleter> opt(nlopt_create(NLOPT_LN_BOBYQA, n));
  Search search{f, opt.get(), {x, f0}, nullptr};
  nlopt_set_lower_bounds(opt.get(), box.lo.data());
  nlopt_set_upper_bounds(opt.get(), box.hi.data());
  nlopt_set_initial_step(opt.get(), box.step.data());
  nlopt_set_ftol_abs(opt.get(), box.tolerance);
  nlopt_set_maxeval(opt.get(), 200 * static_cast<int>(n));
  nlopt_set_max_objective(opt.get(), Objective, &search);
  double value = f0;
  // Every outcome, a round-off limit included, leaves the best point seen.
  nlopt_optimize(opt.get(), x.data(), &value);
  if (search.error) std::rethrow_exception(search.error);
  return search.best;
}

// Brent in a window of the first step around x, widened while the best
// point sits on the window's edge.
BoxResult Brent(const std::function<double(const std::vector<double>&)>& f, double x, double f0,
                const BoxSearch& box) {
  const auto f1 = [&](double y) { return f({y}); };
  const double lo_bound = box.lo[0], hi_bound = box.hi[0];
  double best = f0;
  for (double window = box.step[0];; window *= 4.0) {
    const double lo = std::max(lo_bound, x - window), hi = std::min(hi_bound, x + window);
    const BrentResult r = BrentMaximise(f1, lo, hi, x, best, 1e-4);
    if (r.value > best) x = r.x, best = r.value;
    const double margin = 1e-3 * window;
    const bool on_edge = (x - lo < margin && lo > lo_bound) || (hi - x < margin && hi < hi_bound);
    if (!on_edge) break;
  }
  return {{x}, best};
}

}  // namespace

BoxResult MaximiseInBox(const std::function<double(const std::vector<double>&)>& f,
                        std::vector<double> x0, double f0, const BoxSearch& search) {
  for (std::size_t i = 0; i < x0.size(); ++i) x0[i] = std::clamp(x0[i], search.lo[i], search.hi[i]);
  if (x0.size() == 1) return Brent(f, x0[0], f0, search);
  return Bobyqa(f, std::move(x0), f0, search);
}
