// Work split over threads by consecutive ranges of items. Each range is
// worked by one thread from start to end, so what a range computes does not
// depend on how many ranges there are, only the wall time does.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

// Splits items 0 .. n - 1 (n = weights.size()) into at most `threads`
// consecutive non-empty ranges of about equal total weight and calls
// work(first, last) for each range [first, last), every range on its own
// thread (the first on the calling thread). Returns when all are done; an
// exception from `work` is rethrown then, the one of the earliest range.
void WorkInWeightedRanges(const std::vector<double>& weights, int threads,
                          const std::function<void(std::size_t first, std::size_t last)>& work);
