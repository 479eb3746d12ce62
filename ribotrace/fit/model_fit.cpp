#include "fit/model_fit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numeric>
#include <optional>
#include <span>

#include "fit/box_maximiser.h"
#include "fit/branch_lengths.h"
#include "fit/brent.h"
#include "fit/model_coordinates.h"
#include "fit/partition_likelihood.h"
#include "fit/site_patterns.h"
#include "model/gamma_rates.h"
#include "model/substitution_model.h"

namespace {

std::vector<double> EmpiricalFrequencies(const SitePatterns& patterns) {
  std::vector<double> counts(static_cast<std::size_t>(patterns.n_states), 1e-3);
  for (int s = 0; s < patterns.size(); ++s) {
    for (int taxon = 0; taxon < patterns.n_taxa; ++taxon) {
      const double* tip = patterns.Tip(s, taxon);
      const double allowed = std::accumulate(tip, tip + patterns.n_states, 0.0);
      if (allowed == 0.0 || allowed == patterns.n_states) continue;
      for (int i = 0; i < patterns.n_states; ++i) {
        counts[static_cast<std::size_t>(i)] +=
            patterns.weights[static_cast<std::size_t>(s)] * tip[i] / allowed;
      }
    }
  }
  const double sum = std::accumulate(counts.begin(), counts.end(), 0.0);
  for (double& c : counts) c /= sum;
  return counts;
}

class Fitter {
 public:
  Fitter(const Alignment& alignment, FitTree tree, int n_categories, int threads)
      : stems_(StemPatterns(alignment)),
        loops_(LoopPatterns(alignment)),
        tree_(std::move(tree)),
        n_categories_(n_categories) {
    if (stems_.size() > 0) stem_.emplace(stems_, tree_, threads);
    if (loops_.size() > 0) loop_.emplace(loops_, tree_, threads);
    const double stem_chars =
        2.0 * std::accumulate(stems_.weights.begin(), stems_.weights.end(), 0.0);
    const double loop_chars = std::accumulate(loops_.weights.begin(), loops_.weights.end(), 0.0);
    stem_share_ = stem_chars / (stem_chars + loop_chars);
  }

  const SitePatterns& stems() const { return stems_; }
  const SitePatterns& loops() const { return loops_; }
  bool both() const { return stem_ && loop_; }
  FitTree& tree() { return tree_; }
  ModelParams& params() { return params_; }
  double stem_share() const { return stem_share_; }

  double Evaluate(bool stems, bool loops) {
    if (stems && stem_) stem_lnl_ = SetStemModel().LogLikelihood(tree_);
    if (loops && loop_) loop_lnl_ = SetLoopModel().LogLikelihood(tree_);
    return stem_lnl_ + loop_lnl_;
  }

  // The parameters and the log-likelihoods that go with them, so that a
  // search can return to its best point without evaluating it again.
  struct Point {
    ModelParams params;
    std::vector<double> lengths;
    double stem_lnl, loop_lnl;
  };
  Point Current() const { return {params_, tree_.length, stem_lnl_, loop_lnl_}; }
  void Restore(const Point& point) {
    params_ = point.params;
    tree_.length = point.lengths;
    stem_lnl_ = point.stem_lnl;
    loop_lnl_ = point.loop_lnl;
  }

  // The pass evaluates the likelihood at its start, under the current
  // parameters, and returns each partition's at its end.
  double OptimiseBranches() {
    std::vector<PartitionLikelihood*> parts;
    if (stem_) parts.push_back(&SetStemModel());
    if (loop_) parts.push_back(&SetLoopModel());
    const std::vector<double> lnl = OptimiseBranchLengths(tree_, parts);
    stem_lnl_ = stem_ ? lnl.front() : 0.0;
    loop_lnl_ = loop_ ? lnl.back() : 0.0;
    return stem_lnl_ + loop_lnl_;
  }

  // With one partition: moves its rate (the tree scale) into the branch
  // lengths, leaving the rate at 1; the likelihood stays the same.
  void FoldScaleIntoLengths() {
    if (both()) return;
    const double scale = stem_ ? params_.stem_rate : params_.loop_rate;
    for (double& length : tree_.length) length *= scale;
    params_.stem_rate = params_.loop_rate = 1.0;
  }

 private:
  PartitionLikelihood& SetStemModel() {
    stem_->SetModel(SubstitutionModel::ForStems(params_.stem), Rates(params_.stem.alpha),
                    2.0 * params_.stem_rate);
    return *stem_;
  }
  PartitionLikelihood& SetLoopModel() {
    loop_->SetModel(SubstitutionModel::ForLoops(params_.loop), Rates(params_.loop.alpha),
                    params_.loop_rate);
    return *loop_;
  }

  std::vector<double> Rates(double alpha) const {
    if (alpha <= 0.0) return {1.0};
    return DiscreteGammaMeanRates(alpha, n_categories_);
  }

  SitePatterns stems_, loops_;
  FitTree tree_;
  int n_categories_;
  std::optional<PartitionLikelihood> stem_, loop_;
  ModelParams params_;
  double stem_share_ = 0.0, stem_lnl_ = 0.0, loop_lnl_ = 0.0;
};

void StartingValues(Fitter& fitter, const FitOptions& options) {
  ModelParams& p = fitter.params();
  p.stem.rates.fill(1.0);
  p.loop.rates.fill(1.0);
  const std::vector<double> stem_freqs = EmpiricalFrequencies(fitter.stems());
  const std::vector<double> loop_freqs = EmpiricalFrequencies(fitter.loops());
  std::copy(stem_freqs.begin(), stem_freqs.end(), p.stem.frequencies.begin());
  std::copy(loop_freqs.begin(), loop_freqs.end(), p.loop.frequencies.begin());
  p.stem.alpha = p.loop.alpha = options.gamma ? 1.0 : 0.0;
}

// A group of parameters that change the same partitions, on the likelihood
// of those alone (the other's does not change); the coordinates' last moves
// set the first steps. Leaves the parameters at the best point; returns its lnL.
double OptimiseGroup(Fitter& fitter, const std::vector<Coordinate>& coordinates,
                     const std::vector<std::size_t>& group, std::vector<double>& moves, double best,
                     double tolerance) {
  BoxSearch search;
  std::vector<double> start;
  for (const std::size_t i : group) {
    const Coordinate& c = coordinates[i];
    search.lo.push_back(c.lo);
    search.hi.push_back(c.hi);
    search.step.push_back(std::clamp((group.size() > 1 ? 1.0 : 4.0) * moves[i], 0.01, 0.5));
    start.push_back(std::clamp(c.get(fitter.params()), c.lo, c.hi));
  }
  search.tolerance = tolerance;
  const auto set = [&](const std::vector<double>& x) {
    for (std::size_t k = 0; k < group.size(); ++k) coordinates[group[k]].set(fitter.params(), x[k]);
  };
  const auto partition = coordinates[group[0]].partition;
  const bool stems = partition != Coordinate::kLoop, loops = partition != Coordinate::kStem;
  Fitter::Point best_point = fitter.Current();
  const BoxResult r = MaximiseInBox(
      [&](const std::vector<double>& x) {
        set(x);
        const double value = fitter.Evaluate(stems, loops);
        if (value > best) best = value, best_point = fitter.Current();
        return value;
      },
      start, best, search);
  fitter.Restore(best_point);
  for (std::size_t k = 0; k < group.size(); ++k) moves[group[k]] = std::abs(r.x[k] - start[k]);
  return best;
}

// BOBYQA, which builds a quadratic model of lnL from 2n + 1 evaluations
// and so follows ridges of correlated parameters, serves a model of one
// partition with few parameters (the loop model's 8, the tree scale and a
// gamma shape): on bacterial RNase P's columns as loops it reached the
// maximum in half the time of a search one coordinate at a time. The stem
// model's 20 or more would cost 41 evaluations per round before the first
// step. And with stems and loops both, the search one coordinate at a time
// reached the higher maximum on RNase P without gamma: BOBYQA over every
// parameter (and a BFGS before it) ended 126 log units lower.
constexpr std::size_t kTogetherAtMost = 12;

// Every model parameter: together, or one at a time.
void OptimiseParameters(Fitter& fitter, const std::vector<Coordinate>& coordinates,
                        std::vector<double>& moves, double& best, double tolerance) {
  std::vector<std::size_t> all(coordinates.size());
  std::iota(all.begin(), all.end(), 0);
  if (!fitter.both() && all.size() <= kTogetherAtMost) {
    best = OptimiseGroup(fitter, coordinates, all, moves, best, tolerance);
    return;
  }
  for (const std::size_t i : all)
    best = OptimiseGroup(fitter, coordinates, {i}, moves, best, tolerance);
}

std::vector<double> Positions(const std::vector<Coordinate>& coordinates, const ModelParams& p) {
  std::vector<double> x;
  for (const Coordinate& c : coordinates) x.push_back(std::clamp(c.get(p), c.lo, c.hi));
  return x;
}

// After a round, the step that the round took (its model parameters and
// the logs of its branch lengths), searched further along: where the
// lengths and the parameters trade against each other, or the parameters
// lie on a ridge, each round repeats much the same step, and one line
// search takes many at once. On RNase P this saved a quarter of the rounds
// with gamma and a fifth with loops only.
double Extrapolate(Fitter& fitter, const std::vector<Coordinate>& coordinates,
                   const std::vector<double>& before, const std::vector<double>& lengths_before,
                   double best) {
  const std::vector<double> after = Positions(coordinates, fitter.params());
  const std::vector<double> lengths_after = fitter.tree().length;
  Fitter::Point best_point = fitter.Current();
  const auto at = [&](double a) {
    for (std::size_t i = 0; i < after.size(); ++i) {
      const Coordinate& c = coordinates[i];
      c.set(fitter.params(), std::clamp(before[i] + a * (after[i] - before[i]), c.lo, c.hi));
    }
    FitTree& tree = fitter.tree();
    for (int node = 0; node < tree.size(); ++node) {
      if (!tree.IsFree(node)) continue;
      const auto i = static_cast<std::size_t>(node);
      const double from = std::log(lengths_before[i]), to = std::log(lengths_after[i]);
      tree.length[i] = std::clamp(std::exp(from + a * (to - from)), kMinBranch, kMaxBranch);
    }
    const double value = fitter.Evaluate(true, true);
    if (value > best) best = value, best_point = fitter.Current();
    return value;
  };
  BrentMaximise(at, 1.0, 8.0, 1.0, best, 1e-3);
  fitter.Restore(best_point);
  return best;
}

// The branch lengths that moved the same way in the last two rounds, moved
// on by the last round's step, twice that, four times, while the
// likelihood rises. Where two neighbouring branches trade length (a node
// that slides along a path the data barely fix), the branch-by-branch
// passes move it by about the same small step round after round, and with
// the model's parameters in the round's line search that direction is
// lost: on RNase P's loops this took the fit from 26 rounds to 17.
double FollowLengthTrends(Fitter& fitter, const std::vector<double>& two_rounds_ago,
                          const std::vector<double>& one_round_ago, double best) {
  FitTree& tree = fitter.tree();
  const std::vector<double> now = tree.length;
  std::vector<double> step(now.size(), 0.0);
  bool any = false;
  for (int node = 0; node < tree.size(); ++node) {
    const auto i = static_cast<std::size_t>(node);
    const double earlier = one_round_ago[i] - two_rounds_ago[i], last = now[i] - one_round_ago[i];
    if (tree.IsFree(node) && earlier * last > 0.0) step[i] = last, any = true;
  }
  Fitter::Point best_point = fitter.Current();
  for (double a = 1.0; any && a <= 64.0; a *= 2.0) {
    for (std::size_t i = 0; i < now.size(); ++i) {
      tree.length[i] = std::clamp(now[i] + a * step[i], kMinBranch, kMaxBranch);
    }
    const double value = fitter.Evaluate(true, true);
    if (value <= best) break;
    best = value;
    best_point = fitter.Current();
  }
  fitter.Restore(best_point);
  return best;
}

template <std::size_t N>
std::size_t MostFrequent(const std::array<double, N>& frequencies) {
  return static_cast<std::size_t>(std::max_element(frequencies.begin(), frequencies.end()) -
                                  frequencies.begin());
}

// The names of the parameters that ended at a bound of their range.
std::vector<std::string> AtBounds(Fitter& fitter, const std::vector<Coordinate>& coordinates) {
  std::vector<std::string> out;
  for (const Coordinate& c : coordinates) {
    if (c.name == kTreeScale) continue;
    const double x = c.get(fitter.params());
    if (x - c.lo < 1e-3 || c.hi - x < 1e-3) out.push_back(c.name);
  }
  return out;
}

// Rates as MrBayes reports them: summing to 1.
void NormaliseRates(std::array<double, 6>& rates) {
  const double sum = std::accumulate(rates.begin(), rates.end(), 0.0);
  for (double& r : rates) r /= sum;
}

}  // namespace

FitResult FitModel(const Alignment& alignment, FitTree tree, const FitOptions& options) {
  Fitter fitter(alignment, std::move(tree), options.n_categories, options.threads);
  StartingValues(fitter, options);
  const ModelParams& initial = fitter.params();
  const std::vector<Coordinate> coordinates = ModelCoordinates(
      {fitter.stems().size() > 0, fitter.loops().size() > 0, options.gamma,
       options.empirical_frequencies, fitter.stem_share(), MostFrequent(initial.stem.frequencies),
       MostFrequent(initial.loop.frequencies)});
  std::vector<double> moves(coordinates.size(), 1.0);
  double best = fitter.Evaluate(true, true);
  double last_gain = HUGE_VAL;
  std::vector<double> previous_lengths;  // at the start of the round before
  for (int round = 0; round < 200; ++round) {
    // A search of the parameters together stops once a step gains less
    // than a thousandth of the last round's gain (the lengths will move
    // under it anyway), and in the end well inside the round's tolerance,
    // so that the rounds stop on the alternation converging, not on a
    // search stopping early.
    const double search_tolerance =
        std::max(0.1 * options.tolerance, std::min(1.0, 1e-3 * last_gain));
    const double start = best;
    const std::vector<double> lengths_before = fitter.tree().length;
    best = fitter.OptimiseBranches();
    const std::vector<double> before = Positions(coordinates, fitter.params());
    OptimiseParameters(fitter, coordinates, moves, best, search_tolerance);
    if (round > 0) {
      best = Extrapolate(fitter, coordinates, before, lengths_before, best);
      best = FollowLengthTrends(fitter, previous_lengths, lengths_before, best);
    }
    previous_lengths = lengths_before;
    fitter.FoldScaleIntoLengths();
    if (options.progress) options.progress(round + 1, best);
    last_gain = best - start;
    if (best - start < options.tolerance) break;
  }
  FitResult result;
  result.at_bound = AtBounds(fitter, coordinates);
  result.params = fitter.params();
  NormaliseRates(result.params.stem.rates);
  NormaliseRates(result.params.loop.rates);
  result.tree = fitter.tree();
  result.log_likelihood = best;
  result.n_free =
      static_cast<int>(coordinates.size()) - (fitter.both() ? 0 : 1) + result.tree.FreeBranches();
  return result;
}

double FitLogLikelihood(const Alignment& alignment, const FitTree& tree, const ModelParams& params,
                        int n_categories) {
  Fitter fitter(alignment, tree, n_categories, 1);
  fitter.params() = params;
  return fitter.Evaluate(true, true);
}
