#include "base/weighted_ranges.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <thread>

namespace {

// Ranges per thread. Every range walks the whole tree, and each walk
// costs per node (the node's links and matrices, and a fresh start in
// every node's vector): at 5,000 taxa a pass split into 16 ranges ran
// 15-35% slower on one thread than unsplit, and two threads took 0.55 of
// one thread's time with one range each, 0.62 with eight. More ranges
// would let the others catch up with a thread slowed by other work, but
// on the machines measured they cost more than that gains.
constexpr std::size_t kRangesPerThread = 1;

// The ends of the ranges: range r ends where the running weight first
// reaches (r + 1) / n_ranges of the total, and holds at least one item.
std::vector<std::size_t> RangeEnds(const std::vector<double>& weights, std::size_t n_ranges) {
  double total = 0.0;
  for (const double weight : weights) total += weight;
  std::vector<std::size_t> ends;
  double running = 0.0;
  std::size_t item = 0;
  for (std::size_t r = 1; r < n_ranges; ++r) {
    const double target = total * static_cast<double>(r) / static_cast<double>(n_ranges);
    const std::size_t last_possible = weights.size() - (n_ranges - r);
    do {
      running += weights[item++];
    } while (item < last_possible && running < target);
    ends.push_back(item);
  }
  ends.push_back(weights.size());
  return ends;
}

}  // namespace

void WorkInWeightedRanges(const std::vector<double>& weights, int threads,
                          const std::function<void(std::size_t first, std::size_t last)>& work) {
  if (weights.empty()) return;
  if (threads <= 1) {
    work(0, weights.size());
    return;
  }
  const auto n_threads = static_cast<std::size_t>(threads);
  const std::vector<std::size_t> ends =
      RangeEnds(weights, std::min(weights.size(), n_threads * kRangesPerThread));
  std::vector<std::exception_ptr> failures(ends.size());
  std::atomic<std::size_t> next = 0;
  auto run = [&] {
    for (std::size_t r = next++; r < ends.size(); r = next++) {
      try {
        work(r == 0 ? 0 : ends[r - 1], ends[r]);
      } catch (...) {
        failures[r] = std::current_exception();
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (std::size_t t = 1; t < std::min(n_threads, ends.size()); ++t) helpers.emplace_back(run);
    run();
  }
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}
