#include "inference/convergence.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

double Mean(std::span<const double> values) {
  double sum = 0.0;
  for (const double v : values) sum += v;
  return values.empty() ? kNaN : sum / static_cast<double>(values.size());
}

double Autocovariance(std::span<const double> series, double mean, std::size_t lag) {
  double sum = 0.0;
  for (std::size_t i = 0; i + lag < series.size(); ++i) {
    sum += (series[i] - mean) * (series[i + lag] - mean);
  }
  return sum / static_cast<double>(series.size());
}

}  // namespace

double EffectiveSampleSize(std::span<const double> series) {
  const std::size_t n = series.size();
  if (n < 2) return static_cast<double>(n);
  const double mean = Mean(series);
  const double variance = Autocovariance(series, mean, 0);
  if (!(variance > 0.0)) return static_cast<double>(n);
  double time = -1.0;  // 1 + 2 x the sum of the autocorrelations from lag 1
  for (std::size_t lag = 0; lag + 1 < n; lag += 2) {
    const double pair =
        (Autocovariance(series, mean, lag) + Autocovariance(series, mean, lag + 1)) / variance;
    if (!(pair > 0.0)) break;
    time += 2.0 * pair;
  }
  // An alternating series would claim more than n independent draws: a
  // warning about too few needs no more than n.
  return static_cast<double>(n) / std::max(time, 1.0);
}

double PotentialScaleReduction(const std::vector<std::vector<double>>& runs) {
  if (runs.size() < 2) return kNaN;
  std::size_t n = runs.front().size();
  for (const std::vector<double>& run : runs) n = std::min(n, run.size());
  if (n < 2) return kNaN;
  const auto m = static_cast<double>(runs.size());
  std::vector<double> means;
  double within = 0.0;
  for (const std::vector<double>& run : runs) {
    const std::span<const double> kept(run.data(), n);
    const double mean = Mean(kept);
    means.push_back(mean);
    double squares = 0.0;
    for (const double v : kept) squares += (v - mean) * (v - mean);
    within += squares / static_cast<double>(n - 1);
  }
  within /= m;
  const double grand = Mean(means);
  double between = 0.0;  // the variance of the run means, times n
  for (const double mean : means) between += (mean - grand) * (mean - grand);
  between *= static_cast<double>(n) / (m - 1.0);
  if (!(within > 0.0)) return kNaN;
  const double pooled = (static_cast<double>(n) - 1.0) / static_cast<double>(n) * within +
                        between / static_cast<double>(n);
  return std::sqrt(pooled / within);
}

double AverageSplitDeviation(const std::vector<std::vector<double>>& split_frequencies) {
  double sum = 0.0;
  std::size_t counted = 0;
  for (const std::vector<double>& frequencies : split_frequencies) {
    if (frequencies.size() < 2) return kNaN;
    if (*std::max_element(frequencies.begin(), frequencies.end()) < 0.1) continue;
    const double mean = Mean(frequencies);
    double squares = 0.0;
    for (const double f : frequencies) squares += (f - mean) * (f - mean);
    sum += std::sqrt(squares / static_cast<double>(frequencies.size() - 1));
    ++counted;
  }
  return counted == 0 ? kNaN : sum / static_cast<double>(counted);
}
